function cases = test_properties()
% Image adjustment properties and their ranges (codes 39 to 56).
  cases = {
    'fixed getters read their property id',        @fixed_getters
    'fixed setters pass any value with flags 0',   @fixed_setters
    'ranges are columns, minimum first',           @ranges
    'get property is a value-and-flags row',       @get_property
    'set property passes id, value and flags',     @set_property
    'set property value of any numeric class',     @set_property_classes
    'set property flags without a type check',     @set_property_flags
    'SDK failures raise each command''s message',  @sdk_failures
    'camera guard of every command',               @camera_guard
  };
end

% code of get, set, range; property id; name in the messages
function t = adjustments()
  t = {
    41, 42, 52, 5, 'gamma'
    43, 44, 53, 1, 'contrast'
    45, 46, 54, 0, 'brightness'
    47, 48, 55, 2, 'hue'
    49, 50, 56, 3, 'saturation'
  };
end

function fixed_getters()
  KorDispatcher(-1, 1);
  t = adjustments();
  for i = 1:rows(t)
    [get, ~, ~, id, name] = t{i, :};
    value = 0.25 * i - 1;
    korcamsim('set', 1, id, value, 7);
    korcamsim('calls', 'clear');
    kt_equal(KorDispatcher(get, 1), value, name);
    kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamGetProperty'}, name);
    kt_equal(kt_calls('KorcamGetProperty').args(1), id, '%s id', name);
  end
  % the float is widened, not rounded to a shorter decimal
  korcamsim('set', 1, 5, 0.1, 0);
  kt_equal(KorDispatcher(41, 1), double(single(0.1)), 'gamma 0.1 as a float');
end

function fixed_setters()
  KorDispatcher(-1, 1);
  t = adjustments();
  % value given, value the SDK receives: nothing is refused, doubles are rounded to float
  values = {
    -3,     -3
    0,      0
    0.1,    double(single(0.1))
    1e300,  Inf
    -1e300, -Inf
  };
  for i = 1:rows(t)
    [~, set, ~, id, name] = t{i, :};
    for j = 1:rows(values)
      korcamsim('calls', 'clear');
      kt_no_output(set, 1, values{j, 1});
      kt_equal(kt_calls('KorcamSetProperty').args, [id, values{j, 2}, 0], '%s %g', name, values{j, 1});
    end
  end
  % NaN reaches the SDK as a float NaN (whatever the camera makes of it)
  korcamsim('calls', 'clear');
  try, KorDispatcher(46, 1, NaN); catch, end
  kt_equal(kt_calls('KorcamSetProperty').args, [0, NaN, 0], 'brightness NaN');
end

function ranges()
  KorDispatcher(-1, 1);
  t = adjustments();
  for i = 1:rows(t)
    [~, ~, range, id, name] = t{i, :};
    korcamsim('calls', 'clear');
    r = KorDispatcher(range, 1);
    kt_equal(size(r), [2 1], '%s range shape', name);
    kt_true(r(1) <= r(2), '%s minimum first', name);
    kt_equal(kt_calls('KorcamPropertyRange').args(1), id, '%s range id', name);
    kt_equal(KorDispatcher(51, 1, id), r, 'property range %d like %s range', id, name);
  end
  % the camera's ranges, widened from float
  kt_equal(KorDispatcher(54, 1), [-255; 255], 'brightness range');
  kt_equal(KorDispatcher(52, 1), [double(single(0.1)); 4], 'gamma range');
  kt_equal(KorDispatcher(51, 1, 5.9), KorDispatcher(52, 1), 'id 5.9 is property 5');
  korcamsim('set', 1, 900, -2.5);
  kt_equal(KorDispatcher(51, 1, int32(900)), [-2.5; -2.5], 'a property the caller names');
end

function get_property()
  KorDispatcher(-1, 1);
  korcamsim('set', 1, 5, 1.5, -8);
  row = KorDispatcher(39, 1, 5);
  kt_equal(row, [1.5, -8], 'value then signed flags, as a row');
  kt_equal(row(1), KorDispatcher(41, 1), 'same value as get gamma');
  korcamsim('set', 1, 200, 3, int32(-2147483648));
  kt_equal(KorDispatcher(39, 1, int16(200)), [3, -2147483648], 'caller''s id, lowest flags');
  gets = kt_calls('KorcamGetProperty');
  kt_equal(gets(end).args(1), 200, 'id passed unchanged');
end

function set_property()
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  kt_no_output(40, 1, 1, 0.5, 8);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamSetProperty'});
  kt_equal(kt_calls('KorcamSetProperty').args, [1, 0.5, 8]);
  kt_equal(KorDispatcher(43, 1), 0.5, 'contrast now 0.5');
  % the id (a double) is truncated toward zero
  korcamsim('calls', 'clear');
  KorDispatcher(40, 1, 5.99, 2, 0);
  kt_equal(kt_calls('KorcamSetProperty').args, [5, 2, 0], 'id 5.99');
end

function set_property_classes()
  KorDispatcher(-1, 1);
  % parameter 3 as given, value the SDK receives
  values = {
    int8(-7),            -7
    uint8(200),          200
    int16(-300),         -300
    uint16(60000),       60000
    int32(-100000),      -100000
    uint32(4000000000),  4e9
    int64(-5),           -5
    uint64(123456),      123456
    single(2.5),         2.5
    single(0.1),         double(single(0.1))
    2.75,                2.75
  };
  for i = 1:rows(values)
    korcamsim('calls', 'clear');
    try, KorDispatcher(40, 1, 2, values{i, 1}, 0); catch, end
    kt_equal(kt_calls('KorcamSetProperty').args, [2, values{i, 2}, 0], 'value of class %s', class(values{i, 1}));
  end
end

function set_property_flags()
  KorDispatcher(-1, 1);
  % parameter 4 as given, flags the SDK receives
  flags = {
    -1.5,        -1
    int8(-3),    -3
    single(9.9), 9
    1e10,        2147483647
    -1e10,       -2147483648
    true,        1
  };
  for i = 1:rows(flags)
    korcamsim('calls', 'clear');
    KorDispatcher(40, 1, 1, 0.5, flags{i, 1});
    kt_equal(kt_calls('KorcamSetProperty').args, [1, 0.5, flags{i, 2}], 'flags %d', i);
  end
  % flags that are no number at all are refused before anything is asked of the SDK
  for bad = {{}, struct(), int8([]), {1}}
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(40, 1, 1, 0.5, bad{1}), 'Parameter 4 must be a number.');
    kt_equal(numel(kt_calls()), 0, 'no SDK call for refused flags');
  end
end

function sdk_failures()
  KorDispatcher(-1, 1);
  rows_ = {
    39, {5},         'KorcamGetProperty',   'An error occured while getting the property.'
    40, {5, 1, 0},   'KorcamSetProperty',   'An error occured while setting the property.'
    51, {5},         'KorcamPropertyRange', 'Failed to get the property range.'
  };
  t = adjustments();
  for i = 1:rows(t)
    [get, set, range, ~, name] = t{i, :};
    rows_(end + 1, :) = {get, {}, 'KorcamGetProperty', sprintf('An error occured while getting the %s.', name)};
    rows_(end + 1, :) = {set, {1}, 'KorcamSetProperty', sprintf('An error occured while setting the %s.', name)};
    rows_(end + 1, :) = {range, {}, 'KorcamPropertyRange', sprintf('Failed to get the %s range.', name)};
  end
  for i = 1:rows(rows_)
    [code, args, op, message] = rows_{i, :};
    korcamsim('fail', op, 87);
    kt_error(@() KorDispatcher(code, 1, args{:}), message, 'code %d', code);
    korcamsim('fail');
    korcamsim('calls', 'clear');
    KorDispatcher(code, 1, args{:});  % the same call works once the fault is gone
    kt_equal(numel(kt_calls('KorcamGetLastError')), 0, 'code %d asks no error code', code);
  end
end

function camera_guard()
  % code, parameters after the camera number, not-connected pattern
  t = {
    39, {5},        'Cannot get property, camera %d is not connected.'
    40, {5, 1, 0},  'Cannot set property, camera %d is not connected.'
    51, {5},        'Cannot get property range, camera %d is not connected.'
  };
  a = adjustments();
  for i = 1:rows(a)
    [get, set, range, ~, name] = a{i, :};
    t(end + 1, :) = {get, {}, ['Cannot get ' name ', camera %d is not connected.']};
    t(end + 1, :) = {set, {1}, ['Cannot set ' name ', camera %d is not connected.']};
    t(end + 1, :) = {range, {}, ['Cannot get ' name ' range, camera %d is not connected.']};
  end
  kt_equal(rows(t), 18, 'every command of the family');
  KorDispatcher(-1, 1);
  for i = 1:rows(t)
    [code, args, pattern] = t{i, :};
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 11, args{:}), 'Invalid camera nubmer.', 'code %d', code);
    kt_equal(numel(kt_calls()), 0, 'code %d: no SDK call for camera 11', code);
    kt_error(@() KorDispatcher(code, 4, args{:}), 'Not enough cameras connected.', 'code %d', code);
    kt_error(@() KorDispatcher(code, 0, args{:}), 'Invalid camera nubmer.', 'code %d camera 0', code);
    for n = [2 3]
      korcamsim('calls', 'clear');
      kt_error(@() KorDispatcher(code, n, args{:}), sprintf(pattern, n), 'code %d', code);
      kt_equal({kt_calls().op}, {'KorcamNumCameras'}, 'code %d: only the count asked', code);
    end
  end
end

