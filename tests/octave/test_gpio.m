function cases = test_gpio()
% General-purpose I/O: read the lines (34), write the outputs (35), select the
% outputs under manual control (36 and 61, one command).
  cases = {
    'read GPIO is a row of two bytes',              @read_gpio
    'write and select pass values 0 to 255',        @write_and_select
    'values outside 0 to 255 are refused',          @values_out_of_range
    'parameter 2 without a type check',             @unchecked_value
    'SDK failures raise each command''s message',   @sdk_failures
    'camera guard of every command',                @camera_guard
  };
end

% code, SDK operation, not-connected pattern, above-range message, negative
% message, SDK failure message
function t = gpo_commands()
  t = {
    35, 'KorcamGpioWrite', 'Cannot write to GPIO, camera %d is not connected.', ...
        'GPO value should be less than 256.', 'GPO value should not be negative.', ...
        'An error occured while writing to GPIO.'
    36, 'KorcamGpoSelect', 'Cannot enable GPO for manual operation, camera %d is not connected.', ...
        'Enable value should be less than 256.', 'Enable value should not be negative.', ...
        'An error occured while enabling GPO.'
    61, 'KorcamGpoSelect', 'Cannot enable GPO for manual operation, camera %d is not connected.', ...
        'Enable value should be less than 256.', 'Enable value should not be negative.', ...
        'An error occured while enabling GPO.'
  };
end

function read_gpio()
  KorDispatcher(-1, 1);
  % the camera reports the written outputs first and the manual mask second
  for v = [0, 1, 127, 128, 255]
    KorDispatcher(35, 1, v);
    KorDispatcher(36, 1, 255 - v);
    korcamsim('calls', 'clear');
    kt_equal(KorDispatcher(34, 1), [v, 255 - v], 'outputs %d', v);
    kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamGpioRead'});
  end
end

function write_and_select()
  KorDispatcher(-1, 2);
  t = gpo_commands();
  % value given, value the SDK receives (integer conversion, any class)
  values = {0, 0; 255, 255; 3.9, 3; 255.9, 255; -0.9, 0; uint8(77), 77; int16(12), 12; single(9.5), 9};
  for i = 1:rows(t)
    [code, op] = t{i, 1:2};
    for j = 1:rows(values)
      korcamsim('calls', 'clear');
      kt_no_output(code, 2, values{j, 1});
      kt_equal({kt_calls().op}, {'KorcamNumCameras', op}, 'code %d calls', code);
      call = kt_calls(op);
      kt_equal(call.camera, 2, 'code %d camera', code);
      kt_equal(call.args, values{j, 2}, 'code %d value %d', code, j);
    end
  end
  s = korcamsim('state', 2);
  kt_equal(double(s.gpoMask), 9, 'mask stored by the camera');
end

function values_out_of_range()
  KorDispatcher(-1, 1);
  t = gpo_commands();
  for i = 1:rows(t)
    [code, op, ~, above, negative] = t{i, 1:5};
    korcamsim('calls', 'clear');
    for v = {256, 300, 1e12, Inf, int32(2147483647)}
      kt_error(@() KorDispatcher(code, 1, v{1}), above, 'code %d value %g', code, double(v{1}));
    end
    for v = {-1, -1.5, -255, -1e12, -Inf, NaN, int8(-128)}
      kt_error(@() KorDispatcher(code, 1, v{1}), negative, 'code %d value %g', code, double(v{1}));
    end
    kt_equal(numel(kt_calls(op)), 0, 'code %d: the SDK never sees a refused value', code);
  end
end

function unchecked_value()
  KorDispatcher(-1, 1);
  % logical, char and multi-element arrays convert through their first element
  korcamsim('calls', 'clear');
  KorDispatcher(35, 1, true);
  KorDispatcher(36, 1, 'A');
  KorDispatcher(61, 1, [7 300]);
  kt_equal([kt_calls('KorcamGpioWrite').args, kt_calls('KorcamGpoSelect').args], [1, 65, 7]);
  kt_error(@() KorDispatcher(35, 1, [300 7]), 'GPO value should be less than 256.');
  % arrays without a scalar value are refused by name
  for v = {struct('a', 1), {1}, [], zeros(0, 3)}
    kt_error(@() KorDispatcher(35, 1, v{1}), 'Parameter 2 must be a number.', class(v{1}));
    kt_error(@() KorDispatcher(61, 1, v{1}), 'Parameter 2 must be a number.', class(v{1}));
  end
end

function sdk_failures()
  KorDispatcher(-1, 1);
  korcamsim('fail', 'KorcamGpioRead', 31);
  kt_error(@() KorDispatcher(34, 1), 'Failed to read GPIO.');
  korcamsim('fail');
  t = gpo_commands();
  for i = 1:rows(t)
    [code, op, ~, ~, ~, failure] = t{i, :};
    korcamsim('fail', op, 31);
    kt_error(@() KorDispatcher(code, 1, 5), failure, 'code %d', code);
    korcamsim('fail');
  end
end

function camera_guard()
  % camera 3 attached but not connected; the value test comes after the guard
  t = gpo_commands();
  kt_error(@() KorDispatcher(34, 3), 'Cannot read GPIO, camera 3 is not connected.');
  kt_error(@() KorDispatcher(34, 11), 'Invalid camera nubmer.');
  kt_error(@() KorDispatcher(34, 4), 'Not enough cameras connected.');
  for i = 1:rows(t)
    [code, ~, pattern] = t{i, 1:3};
    for v = {5, 300, -5}
      kt_error(@() KorDispatcher(code, 3, v{1}), sprintf(pattern, 3), 'code %d value %d', code, v{1});
      kt_error(@() KorDispatcher(code, 11, v{1}), 'Invalid camera nubmer.', 'code %d', code);
      kt_error(@() KorDispatcher(code, 4, v{1}), 'Not enough cameras connected.', 'code %d', code);
      kt_error(@() KorDispatcher(code, 0, v{1}), 'Invalid camera nubmer.', 'code %d', code);
    end
  end
  korcamsim('calls', 'clear');
  KorDispatcher(-1, 3);
  KorDispatcher(61, 3, 255);
  kt_equal(kt_calls('KorcamGpoSelect').args, 255, 'connected now');
end

