function cases = test_lens()
% One-shot adjustments and lens control (codes 64 to 74): one SDK call each
% after the camera guard, with the caller's numbers.
  cases = {
    'each command makes its one SDK call',         @sdk_calls
    'floats rounded to nearest, integers widened', @float_arguments
    'wait time-out converted in two steps',        @wait_timeouts
    'auto-focus progress read back',               @focus_progress
    'SDK failures raise each command''s message',  @sdk_failures
    'camera guard of every command',               @camera_guard
  };
end

% code, parameters after the camera number, SDK operation, arguments it
% receives after the handle
function t = commands()
  f = @(x) double(single(x));
  t = {
    64, {128, 0, 0, 640, 480},          'KorcamOneShotAutoExposure',       [128 0 0 640 480]
    70, {1, -2, 3.9, -4.9, 5},          'KorcamOneShotAutoIris',           [1 -2 3 -4 5]
    65, {1, 2, 3, 4},                   'KorcamOneShotAutoWhiteBalance',   [1 2 3 4]
    66, {0.1, 0.1, 1, 2, 3, 4},         'KorcamOneShotAutoWhiteBalanceEx', [f(0.1) f(0.1) 1 2 3 4]
    67, {int8(-1), 2, 3, 4},            'KorcamDigitalWhiteBalance',       [-1 2 3 4]
    68, {-2.5, 1e-3, 5, 6, 7, 8},       'KorcamDigitalWhiteBalanceEx',     [-2.5 f(1e-3) 5 6 7 8]
    69, {true},                         'KorcamInitAutoLens',              1
    69, {false},                        'KorcamInitAutoLens',              0
    69, {[false true]},                 'KorcamInitAutoLens',              0
    71, {1, 2, 3, 4, 3, -7, 8, 9, 10},  'KorcamAutoFocusStart',            [1 2 3 4 3 -7 8 9 10]
    72, {1500.9},                       'KorcamAutoFocusWait',             1500
    73, {},                             'KorcamAutoFocusStop',             zeros(1, 0)
  };
end

% code, not-connected pattern, SDK failure message, a valid parameter list
function t = messages()
  t = {
    64, 'Cannot perform one shot auto-exposure, camera %d is not connected.', ...
        'Failed to perform one shot auto-exposure.', {1, 2, 3, 4, 5}
    70, 'Cannot perform one shot auto-iris, camera %d is not connected.', ...
        'Failed to perform one shot auto-iris.', {1, 2, 3, 4, 5}
    65, 'Cannot perform one shot auto-white balance, camera %d is not connected.', ...
        'Failed to perform one shot auto-white balance.', {1, 2, 3, 4}
    66, 'Cannot perform one shot auto-white balance, camera %d is not connected.', ...
        'Failed to perform one shot auto-white balance.', {1, 1, 1, 2, 3, 4}
    67, 'Cannot perform digital white balance, camera %d is not connected.', ...
        'Failed to perform digital white balance.', {1, 2, 3, 4}
    68, 'Cannot perform digital white balance, camera %d is not connected.', ...
        'Failed to perform digital white balance.', {1, 1, 1, 2, 3, 4}
    69, 'Cannot initialize the lens controller, camera %d is not connected.', ...
        'An error occured while initializing the lens controller.', {true}
    71, 'Cannot start an auto-focus operation, camera %d is not connected.', ...
        'An error occured while starting an auto-focus operation.', {1, 2, 3, 4, 5, 6, 7, 8, 9}
    72, 'Cannot set focus timeout value, camera %d is not connected.', ...
        'An error occured while setting the focus wait timeout value.', {0}
    73, 'Cannot stop the auto-focus operation, camera %d is not connected.', ...
        'An error occured while stopping the auto-focus operation.', {}
    74, 'Cannot get auto-focus operation progress value, camera %d is not connected.', ...
        'An error occured while reading the auto-focus operation progress value.', {}
  };
end

function op = operation_of(code)
  ops = {64, 'KorcamOneShotAutoExposure'; 70, 'KorcamOneShotAutoIris'; 65, 'KorcamOneShotAutoWhiteBalance'
         66, 'KorcamOneShotAutoWhiteBalanceEx'; 67, 'KorcamDigitalWhiteBalance'
         68, 'KorcamDigitalWhiteBalanceEx'; 69, 'KorcamInitAutoLens'; 71, 'KorcamAutoFocusStart'
         72, 'KorcamAutoFocusWait'; 73, 'KorcamAutoFocusStop'; 74, 'KorcamAutoFocusQueryProgress'};
  op = ops{[ops{:, 1}] == code, 2};
end

function sdk_calls()
  KorDispatcher(-1, 2);
  t = commands();
  for i = 1:rows(t)
    [code, args, op, expected] = t{i, :};
    korcamsim('calls', 'clear');
    kt_no_output(code, 2, args{:});
    kt_equal({kt_calls().op}, {'KorcamNumCameras', op}, 'row %d (code %d): calls', i, code);
    call = kt_calls(op);
    kt_equal(call.camera, 2, 'row %d (code %d): camera', i, code);
    kt_equal(call.args, expected, 'row %d (code %d): arguments', i, code);
  end
end

function float_arguments()
  KorDispatcher(-1, 1);
  f = @(x) double(single(x));
  % the extended white balances: doubles to floats, beyond the float range to infinities
  for code = [66 68]
    op = operation_of(code);
    korcamsim('calls', 'clear');
    KorDispatcher(code, 1, 1/3, -1e300, int32(-5), 6, 7, 8);
    kt_equal(kt_calls(op).args, [f(1/3) -Inf -5 6 7 8], 'code %d', code);
  end
  % start auto focus: integers 6 to 8 become floats, exact up to 2^24
  korcamsim('calls', 'clear');
  KorDispatcher(71, 1, 1, 2, 3, 4, 2^24, -(2^24 + 1), 2^31 - 1, 9.9, -10.9);
  kt_equal(kt_calls('KorcamAutoFocusStart').args, ...
           [1 2 3 4 2^24 f(-(2^24 + 1)) f(2^31 - 1) 9 -10], 'float positions');
end

function wait_timeouts()
  KorDispatcher(-1, 1);
  % time-out given, time-out the SDK receives: rounded to a float, truncated
  % toward zero, low 32 bits; NaN and the infinities have fixed values
  t = {
    2.7,          2
    0,            0
    1500.9,       1500
    16777217,     16777216
    4294967295,   0
    3e9,          3e9
    -1,           4294967295
    -2.5,         4294967294
    5e9,          mod(double(single(5e9)), 2^32)
    1e30,         4294967295
    Inf,          4294967295
    -Inf,         0
    NaN,          0
  };
  for i = 1:rows(t)
    korcamsim('calls', 'clear');
    KorDispatcher(72, 1, t{i, 1});
    kt_equal(kt_calls('KorcamAutoFocusWait').args, t{i, 2}, 'time-out %g', t{i, 1});
  end
end

function focus_progress()
  KorDispatcher(-1, 1);
  p = KorDispatcher(74, 1);
  kt_equal(size(p), [1 1], 'a scalar');
  kt_equal(class(p), 'double');
  kt_equal(p, double(korcamsim('state', 1).focusProgress), 'the SDK''s progress');
  % start, wait, stop and query in any order; the gateway keeps no state
  KorDispatcher(73, 1);
  KorDispatcher(71, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9);
  KorDispatcher(72, 1, 100);
  kt_equal(KorDispatcher(74, 1), double(korcamsim('state', 1).focusProgress), 'after a run');
  KorDispatcher(73, 1);
  KorDispatcher(73, 1);
end

function sdk_failures()
  KorDispatcher(-1, 1);
  t = messages();
  for i = 1:rows(t)
    [code, ~, failure, args] = t{i, :};
    korcamsim('fail', operation_of(code), 31);
    kt_error(@() KorDispatcher(code, 1, args{:}), failure, 'code %d', code);
    korcamsim('fail');
  end
end

function camera_guard()
  t = messages();
  for i = 1:rows(t)
    [code, pattern, ~, args] = t{i, :};
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 3, args{:}), sprintf(pattern, 3), 'code %d', code);
    kt_error(@() KorDispatcher(code, 11, args{:}), 'Invalid camera nubmer.', 'code %d', code);
    kt_error(@() KorDispatcher(code, 4, args{:}), 'Not enough cameras connected.', 'code %d', code);
    kt_error(@() KorDispatcher(code, -1, args{:}), 'Invalid camera nubmer.', 'code %d', code);
    kt_equal(numel(kt_calls(operation_of(code))), 0, 'code %d: no SDK call', code);
  end
end

