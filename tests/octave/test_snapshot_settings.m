function cases = test_snapshot_settings()
% Stored snapshot settings and the camera's live exposure and gain (codes 14 to 31).
  cases = {
    'connect defaults of the stored settings',        @connect_defaults
    'stored settings round trip without the SDK',     @stored_round_trip
    'colour gains: MATLAB order against record order', @color_gain_order
    'non-negative tests and what they leave stored',  @non_negative_tests
    'NaN and -0 pass, doubles round to float',        @nan_zero_rounding
    'booleans: logical arrays and field values',      @booleans
    'snapshot 16-bit mode is the stored pixel format', @snapshot_16bit
    'exposure and gain ranges',                       @ranges
    'live exposure and gain',                         @live_values
    'SDK failures raise each command''s message',     @sdk_failures
    'reconnect restores the defaults',                @reconnect_defaults
    'camera guard of every command',                  @camera_guard
  };
end

function connect_defaults()
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(21, 1), [1; 1; 1; 1], 'colour gains');
  kt_equal(KorDispatcher(23, 1), false, 'strobe');
  kt_equal(KorDispatcher(25, 1), 0, 'strobe delay');
  kt_equal(KorDispatcher(27, 1), false, 'hardware trigger');
  kt_equal(KorDispatcher(19, 1), false, '16-bit mode of an 8-bit camera');
end

function stored_round_trip()
  KorDispatcher(-1, 2);
  % setter, value, getter, expected reading
  t = {
    20, {0.5, 2, 3, 4},  21, [0.5; 2; 3; 4]
    22, {true},          23, true
    22, {false},         23, false
    24, {12.5},          25, 12.5
    24, {0},             25, 0
    26, {true},          27, true
    26, {false},         27, false
    18, {true},          19, true
    18, {false},         19, false
  };
  for i = 1:rows(t)
    [set, value, get, expected] = t{i, :};
    korcamsim('calls', 'clear');
    kt_no_output(set, 2, value{:});
    kt_equal(KorDispatcher(get, 2), expected, 'code %d after code %d', get, set);
    kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamNumCameras'}, ...
             'codes %d and %d ask the SDK only for the count', set, get);
  end
  % stored exposure and gain have no getter and leave the camera alone
  korcamsim('calls', 'clear');
  KorDispatcher(15, 2, 250);
  KorDispatcher(17, 2, 3);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamNumCameras'}, 'stored exposure and gain');
  % settings belong to their camera
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(21, 1), [1; 1; 1; 1], 'camera 1 untouched');
  kt_equal(KorDispatcher(23, 1), false, 'camera 1 strobe untouched');
end

function color_gain_order()
  KorDispatcher(-1, 1);
  KorDispatcher(20, 1, 2, 3, 4, 5);  % red, green 1, green 2, blue
  kt_equal(KorDispatcher(21, 1), [2; 3; 4; 5], 'read back in MATLAB order');
  KorDispatcher(13, 1);
  s = korcamsim('state', 1).snapshot;
  kt_equal([s.redGain, s.blueGain, s.green1Gain, s.green2Gain], double(single([2, 5, 3, 4])), 'record order');
end

function non_negative_tests()
  KorDispatcher(-1, 1);
  KorDispatcher(20, 1, 2, 3, 4, 5);
  KorDispatcher(24, 1, 7);
  % code, values, message
  t = {
    15, {-0.5},             'Exposure must be a non-negative number.'
    17, {-1},               'Gain must be a non-negative number.'
    24, {-1e-300},          'Delay must be a non-negative value.'
    20, {-1, 1, 1, 1},      'Red gain must be a non-negative number.'
    20, {1, -1, -1, 1},     'Green1 gain must be a non-negative number.'
    20, {1, 1, -1, -1},     'Green2 gain must be a non-negative number.'
    20, {1, 1, 1, -Inf},    'Blue gain must be a non-negative number.'
    20, {-1, -1, -1, -1},   'Red gain must be a non-negative number.'
    28, {-2},               'Gain must be a non-negative number.'
    30, {-Inf},             'Exposure must be a non-negative number.'
  };
  for i = 1:rows(t)
    [code, values, message] = t{i, :};
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 1, values{:}), message, 'code %d row %d', code, i);
    kt_equal({kt_calls().op}, {'KorcamNumCameras'}, 'code %d row %d: refused before the SDK', code, i);
  end
  kt_equal(KorDispatcher(21, 1), [2; 3; 4; 5], 'no colour gain stored by a refused call');
  kt_equal(KorDispatcher(25, 1), 7, 'delay kept');
  % refused stored exposure and gain keep theirs: seen in the next snapshot
  KorDispatcher(15, 1, 40);
  KorDispatcher(17, 1, 2);
  try, KorDispatcher(15, 1, -0.5); catch, end
  try, KorDispatcher(17, 1, -1); catch, end
  KorDispatcher(13, 1);
  s = korcamsim('state', 1).snapshot;
  kt_equal([s.exposure, s.gain], [40, 2], 'exposure and gain kept');
end

function nan_zero_rounding()
  KorDispatcher(-1, 1);
  KorDispatcher(20, 1, NaN, -0, 0.1, 1e300);
  g = KorDispatcher(21, 1);
  kt_true(isnan(g(1)), 'NaN stored');
  kt_true(g(2) == 0 && 1 / g(2) < 0, '-0 stored as -0');
  kt_equal(g(3:4), [double(single(0.1)); Inf], 'rounded to float, beyond range infinite');
  KorDispatcher(24, 1, 1e-50);
  kt_equal(KorDispatcher(25, 1), 0, 'tiny delay rounds to 0');
  KorDispatcher(24, 1, NaN);
  kt_true(isnan(KorDispatcher(25, 1)), 'NaN delay');
  % stored exposure and gain, through the record handed to the SDK
  KorDispatcher(15, 1, 0.1);
  KorDispatcher(17, 1, -0);
  KorDispatcher(20, 1, 1, 1, 1, 1);
  KorDispatcher(13, 1);
  s = korcamsim('state', 1).snapshot;
  kt_equal(s.exposure, double(single(0.1)), 'exposure as float');
  kt_equal(s.gain, 0, 'gain -0 passes');
end

function booleans()
  KorDispatcher(-1, 1);
  % code of the setter and of its getter
  pairs = [22 23; 26 27; 18 19];
  for i = 1:rows(pairs)
    KorDispatcher(pairs(i, 1), 1, [true false]);
    kt_equal(KorDispatcher(pairs(i, 2), 1), true, 'code %d: first of two elements', pairs(i, 1));
    KorDispatcher(pairs(i, 1), 1, logical([0; 1; 1]));
    kt_equal(KorDispatcher(pairs(i, 2), 1), false, 'code %d: first element false', pairs(i, 1));
  end
  % the fields as the SDK receives them (a triggered snapshot waits for a trigger that never comes;
  % unpaced, it times out at once instead of after its timeout)
  korcamsim('pace', false);
  KorDispatcher(22, 1, true);
  KorDispatcher(26, 1, true);
  kt_error(@() KorDispatcher(13, 1), 'Snapshot timed out.');
  s = korcamsim('state', 1).snapshot;
  kt_equal([s.strobe, s.trigger], [1 1], 'stored as 1');
  KorDispatcher(22, 1, false);
  KorDispatcher(26, 1, false);
  KorDispatcher(13, 1);
  s = korcamsim('state', 1).snapshot;
  kt_equal([s.strobe, s.trigger], [0 0], 'stored as 0');
end

function snapshot_16bit()
  KorDispatcher(-1, 2);
  KorDispatcher(18, 2, true);
  kt_equal(KorDispatcher(19, 2), true, 'set');
  KorDispatcher(13, 2);
  kt_equal(KorDispatcher(19, 2), false, 'a snapshot takes the camera''s 8-bit format');
  KorDispatcher(10, 2, true);  % live 16-bit mode
  KorDispatcher(13, 2);
  kt_equal(KorDispatcher(19, 2), true, 'and its 16-bit format');
end

function ranges()
  KorDispatcher(-1, 1);
  % code, property id
  t = {14, 20; 16, 40};
  for i = 1:rows(t)
    [code, id] = t{i, :};
    korcamsim('calls', 'clear');
    r = KorDispatcher(code, 1);
    kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamPropertyRange'}, 'code %d', code);
    kt_equal(kt_calls('KorcamPropertyRange').args(1), id, 'code %d id', code);
    kt_equal(r, KorDispatcher(51, 1, id), 'code %d like the generic range', code);
    kt_equal(size(r), [2 1], 'code %d column', code);
    kt_true(r(1) < r(2), 'code %d minimum first', code);
  end
end

function live_values()
  KorDispatcher(-1, 1);
  % setter, getter, property id
  t = {28, 29, 40; 30, 31, 20};
  for i = 1:rows(t)
    [set, get, id] = t{i, :};
    r = KorDispatcher(51, 1, id);
    value = (r(1) + r(2)) / 3;
    korcamsim('calls', 'clear');
    kt_no_output(set, 1, value);
    kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamSetProperty'}, 'code %d', set);
    kt_equal(kt_calls('KorcamSetProperty').args, [id, double(single(value)), 0], 'code %d: id, float, flags 0', set);
    kt_equal(KorDispatcher(get, 1), double(single(value)), 'code %d reads it back', get);
    kt_equal(kt_calls('KorcamGetProperty').args(1), id, 'code %d id', get);
    korcamsim('set', 1, id, 0.1, 9);
    kt_equal(KorDispatcher(get, 1), double(single(0.1)), 'code %d: the camera''s value, widened', get);
  end
  % the live values are not the stored ones
  KorDispatcher(15, 1, 123);
  KorDispatcher(17, 1, 4);
  kt_equal([KorDispatcher(31, 1), KorDispatcher(29, 1)], double(single([0.1, 0.1])), 'live values untouched');
end

function sdk_failures()
  KorDispatcher(-1, 1);
  % code, value, failing operation, message
  t = {
    14, {},  'KorcamPropertyRange', 'Failed to get the exposure range.'
    16, {},  'KorcamPropertyRange', 'Failed to get the gain range.'
    28, {1}, 'KorcamSetProperty',   'An error occured while setting the gain.'
    29, {},  'KorcamGetProperty',   'An error occured while getting the gain.'
    30, {1}, 'KorcamSetProperty',   'An error occured while setting the exposure.'
    31, {},  'KorcamGetProperty',   'An error occured while getting the exposure.'
  };
  for i = 1:rows(t)
    [code, value, op, message] = t{i, :};
    korcamsim('fail', op, 87);
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 1, value{:}), message, 'code %d', code);
    kt_equal(numel(kt_calls('KorcamGetLastError')), 0, 'code %d asks no error code', code);
    korcamsim('fail');
    KorDispatcher(code, 1, value{:});  % works once the fault is gone
  end
end

function reconnect_defaults()
  KorDispatcher(-1, 1);
  KorDispatcher(20, 1, 2, 3, 4, 5);
  KorDispatcher(22, 1, true);
  KorDispatcher(24, 1, 9);
  KorDispatcher(26, 1, true);
  KorDispatcher(18, 1, true);
  KorDispatcher(-2, 1);
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(21, 1), [1; 1; 1; 1], 'colour gains');
  kt_equal([KorDispatcher(23, 1), KorDispatcher(27, 1), KorDispatcher(19, 1)], [false false false], 'flags');
  kt_equal(KorDispatcher(25, 1), 0, 'delay');
end

function camera_guard()
  % code, parameters after the camera number, not-connected pattern
  t = {
    14, {},           'Cannot get exposure range, camera %d is not connected.'
    15, {1},          'Cannot set exposure, camera %d is not connected.'
    16, {},           'Cannot get gain range, camera %d is not connected.'
    17, {1},          'Cannot set gain, camera %d is not connected.'
    18, {true},       'Cannot set 16-bit mode, camera %d is not connected.'
    19, {},           'Cannot check 16-bit mode, camera %d is not connected.'
    20, {1, 1, 1, 1}, 'Cannot set color gain, camera %d is not connected.'
    21, {},           'Cannot get color gain, camera %d is not connected.'
    22, {true},       'Cannot set strobe, camera %d is not connected.'
    23, {},           'Cannot get strobe status, camera %d is not connected.'
    24, {1},          'Cannot set strobe delay, camera %d is not connected.'
    25, {},           'Cannot get strobe delay, camera %d is not connected.'
    26, {true},       'Cannot set hw trigger use, camera %d is not connected.'
    27, {},           'Cannot get hw trigger usage, camera %d is not connected.'
    28, {1},          'Cannot set gain, camera %d is not connected.'
    29, {},           'Cannot get gain, camera %d is not connected.'
    30, {1},          'Cannot set exposure, camera %d is not connected.'
    31, {},           'Cannot get exposure, camera %d is not connected.'
  };
  KorDispatcher(-1, 1);
  for i = 1:rows(t)
    [code, args, pattern] = t{i, :};
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 11, args{:}), 'Invalid camera nubmer.', 'code %d', code);
    kt_equal(numel(kt_calls()), 0, 'code %d: no SDK call for camera 11', code);
    kt_error(@() KorDispatcher(code, 4, args{:}), 'Not enough cameras connected.', 'code %d', code);
    kt_error(@() KorDispatcher(code, -1, args{:}), 'Invalid camera nubmer.', 'code %d camera -1', code);
    for n = [2 3]
      korcamsim('calls', 'clear');
      kt_error(@() KorDispatcher(code, n, args{:}), sprintf(pattern, n), 'code %d', code);
      kt_equal({kt_calls().op}, {'KorcamNumCameras'}, 'code %d: only the count asked', code);
    end
  end
  % a refused negative value on a disconnected camera names the camera first
  kt_error(@() KorDispatcher(15, 2, -1), 'Cannot set exposure, camera 2 is not connected.');
  kt_error(@() KorDispatcher(20, 2, -1, -1, -1, -1), 'Cannot set color gain, camera 2 is not connected.');
end

