function cases = test_geometry()
% Frame size, offset, rate and 16-bit mode of the live format.
  cases = {
    'camera guard of every command',                    @camera_guard
    'getters read the current format',                  @getters
    'set frame size: limits and SDK calls',             @set_frame_size
    'set frame size keeps offsets, resets subsampling', @set_frame_size_subsampling
    'set frame offset',                                 @set_frame_offset
    'set frame rate',                                   @set_frame_rate
    'video 16-bit mode',                                @video_16bit_mode
    'list of frame rates in the SDK order',             @frame_rate_list
    'changes pause a running preview',                  @restart_preview
    'SDK failures and their messages',                  @sdk_failures
    'a failure while paused leaves the preview stopped', @failure_while_paused
    'snapshot settings follow size and offset',         @snapshot_settings
    'format fields read as unsigned values',            @unsigned_fields
  };
end

% code, parameters after the camera number, not-connected pattern
function t = commands()
  t = {
     2, {-1, -1}, 'Cannot set frame size, camera %d not connected.'
    12, {},       'Cannot get frame size, camera %d is not connected.'
     9, {-1, -1}, 'Cannot set the offest, camera %d is not connected.'
     8, {},       'Cannot get offest, camera %d is not connected.'
     3, {7.5},    'Cannot set frame rate, camera %d is not connected.'
    33, {},       'Cannot list frame rates, camera %d not connected.'
     4, {},       'Cannot list frame rates, camera %d not connected.'
    10, {true},   'Cannot set 16-bit, camera %d is not connected.'
    11, {},       'Cannot get 16-bit status, camera %d is not connected.'
  };
end

function camera_guard()
  KorDispatcher(-1, 2);
  KorDispatcher(-2, 2);
  t = commands();
  for i = 1:rows(t)
    [code, args, pattern] = t{i, :};
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 11, args{:}), 'Invalid camera nubmer.', 'code %d', code);
    kt_equal(numel(kt_calls()), 0, 'code %d: no SDK call for camera 11', code);
    kt_error(@() KorDispatcher(code, 4, args{:}), 'Not enough cameras connected.', 'code %d', code);
    kt_error(@() KorDispatcher(code, 0, args{:}), 'Invalid camera nubmer.', 'code %d camera 0', code);
    % the guard runs before the parameters are looked at
    kt_error(@() KorDispatcher(code, 3, args{:}), sprintf(pattern, 3), 'code %d', code);
    kt_error(@() KorDispatcher(code, 2.9, args{:}), sprintf(pattern, 2), 'code %d after disconnect', code);
    kt_equal(unique({kt_calls().op}), {'KorcamNumCameras'}, 'code %d: only the count asked', code);
  end
end

function getters()
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  % code, camera, expected output, SDK operations after the camera count
  t = {
    12, 1, [1280; 1024],         {'KorcamGetFormat'}
    12, 2, [2048; 1536],         {'KorcamGetFormat'}
     8, 1, [0; 0],               {'KorcamGetFormat'}
    33, 1, 15,                   {'KorcamGetFormat'}
     4, 1, [3.75 7.5 15 30],     {'KorcamEnumAvailableFrameRates', 'KorcamEnumAvailableFrameRates'}
    11, 2, false,                {'KorcamGetFormat'}
  };
  for i = 1:rows(t)
    [code, cam, expected, ops] = t{i, :};
    korcamsim('calls', 'clear');
    kt_equal(KorDispatcher(code, cam), expected, 'code %d', code);
    kt_equal({kt_calls().op}, [{'KorcamNumCameras'}, ops], 'code %d calls', code);
    kt_true(all([kt_calls().camera] == [0, cam * ones(1, numel(ops))]), 'code %d camera', code);
  end
  % the list asks for the count with capacity 0, then fills that many
  korcamsim('calls', 'clear');
  KorDispatcher(4, 1);
  enum = kt_calls('KorcamEnumAvailableFrameRates');
  kt_equal(enum(1).args(1), 0, 'count query with capacity 0');
  kt_equal(enum(2).args(1), 4, 'fill with capacity 4');
end

function set_frame_size()
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  KorDispatcher(2, 1, 640, 480);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamGetProperty', 'KorcamGetProperty', ...
                             'KorcamGetFormat', 'KorcamSetFormat'});
  props = kt_calls('KorcamGetProperty');
  kt_equal([props(1).args(1), props(2).args(1)], [81 82], 'maximum width then height');
  kt_equal(KorDispatcher(12, 1), [640; 480]);
  s = korcamsim('state', 1);
  kt_equal([s.width, s.height, s.frameRate], [640, 480, 15], 'camera format, rate kept');

  % limits: the maximum passes, one more in either direction or a negative size does not
  KorDispatcher(2, 1, 1280, 1024);
  kt_equal(KorDispatcher(12, 1), [1280; 1024], 'exactly the maximum');
  for bad = {{1281, 1024}, {1280, 1025}, {-1, 480}, {640, -1}, {2^31, 480}, {-2^40, 1}}
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(2, 1, bad{1}{:}), 'Invalid resolution selected.', '%d x %d', bad{1}{:});
    kt_equal(numel(kt_calls('KorcamGetFormat')), 0, 'refused before the format is read');
  end
  kt_equal(KorDispatcher(12, 1), [1280; 1024], 'size unchanged by refused calls');
  % fractional and integer-class sizes are truncated toward zero
  KorDispatcher(2, 1, int16(320), 240.9);
  kt_equal(KorDispatcher(12, 1), [320; 240]);
  % the offsets are not part of the limit test
  KorDispatcher(9, 1, 100, 50);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(2, 1, 1280, 1024), "An error occured while setting the frame size.\n", ...
           'full size at an offset reaches the SDK, which refuses it');
  kt_equal(numel(kt_calls('KorcamSetFormat')), 1);
  % 0 x 0 passes the gateway: the SDK decides (the virtual cameras refuse it)
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(2, 1, 0, 0), "An error occured while setting the frame size.\n");
  kt_equal(numel(kt_calls('KorcamSetFormat')), 1, '0 x 0 reaches the SDK');
end

function set_frame_size_subsampling()
  KorDispatcher(-1, 2);
  f = KorDispatcher(62, 2);
  f.xOffset = 16; f.yOffset = 8; f.width = 1024; f.height = 768; f.xBinSub = 2; f.yBinSub = 2;
  KorDispatcher(63, 2, f);
  KorDispatcher(2, 2, 640, 480);
  g = KorDispatcher(62, 2);
  kt_equal([g.xOffset g.yOffset g.width g.height g.xBinSub g.yBinSub], [16 8 640 480 1 1]);
  kt_equal([g.pixelFormat g.frameRate], [f.pixelFormat f.frameRate], 'the rest as the camera had it');
end

function set_frame_offset()
  KorDispatcher(-1, 1);
  KorDispatcher(2, 1, 640, 480);
  korcamsim('calls', 'clear');
  KorDispatcher(9, 1, 32, 16);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamGetFormat', 'KorcamSetFormat'});
  kt_equal(KorDispatcher(8, 1), [32; 16]);
  kt_equal(KorDispatcher(12, 1), [640; 480], 'size kept');
  KorDispatcher(9, 1, 0, 0);
  kt_equal(KorDispatcher(8, 1), [0; 0], '(0, 0) is a valid offset');
  for bad = {{-1, 0}, {0, -1}, {-0.9e10, 5}}
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(9, 1, bad{1}{:}), 'Offsets need to be positive.', '(%g, %g)', bad{1}{:});
    kt_equal(numel(kt_calls('KorcamGetFormat')), 0, 'refused before the format is read');
  end
  % -0.5 truncates to 0 and passes
  KorDispatcher(9, 1, -0.5, 7.9);
  kt_equal(KorDispatcher(8, 1), [0; 7]);
end

function set_frame_rate()
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  KorDispatcher(3, 1, 7.5);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamGetFormat', 'KorcamSetFormat'});
  kt_equal(KorDispatcher(33, 1), 7.5);
  kt_equal(KorDispatcher(12, 1), [1280; 1024], 'format unchanged');
  % the rate is narrowed to the nearest float and not tested by the gateway
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(3, 1, 0.1), 'Failed to set frame rate.', 'a rate the camera does not offer');
  kt_equal(kt_calls('KorcamSetFormat').args(1), double(single(0.1)), 'rate rounded to float');
  kt_equal(KorDispatcher(33, 1), 7.5, 'rate unchanged');
  % parameter 2 is tested before parameter 1
  kt_error(@() KorDispatcher(3, 'x', single(7.5)), 'Parameter 2 must be a double.');
  kt_error(@() KorDispatcher(3, 'x', 7.5), 'Parameter 1 must be an integer.');
end

function video_16bit_mode()
  KorDispatcher(-1, 2);
  kt_equal(KorDispatcher(11, 2), false);
  korcamsim('calls', 'clear');
  KorDispatcher(10, 2, true);
  % the whole get runs first (its own guard included), then the format is read again
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamNumCameras', 'KorcamGetFormat', ...
                             'KorcamGetFormat', 'KorcamSetFormat'});
  kt_equal(korcamsim('state', 2).pixelFormat, 1, 'camera switched to 16 bits');
  kt_equal(KorDispatcher(11, 2), true);
  % already in the asked state: no format change
  korcamsim('calls', 'clear');
  KorDispatcher(10, 2, [true false]);
  kt_equal(numel(kt_calls('KorcamSetFormat')), 0, 'no change for the same state');
  KorDispatcher(10, 2, false);
  kt_equal(korcamsim('state', 2).pixelFormat, 0, 'back to 8 bits');
  kt_equal(KorDispatcher(11, 2), false);
  % a camera without 16-bit samples refuses
  KorDispatcher(-1, 1);
  kt_error(@() KorDispatcher(10, 1, true), 'Failed to enable 16-bit mode. Mode may not be supported.');
  kt_equal(KorDispatcher(11, 1), false);
  % the flag is refreshed from the camera: a format written behind its back counts
  f = KorDispatcher(62, 2);
  f.pixelFormat = 1;
  KorDispatcher(63, 2, f);
  korcamsim('calls', 'clear');
  KorDispatcher(10, 2, true);
  kt_equal(numel(kt_calls('KorcamSetFormat')), 0, 'already 16 bits according to the camera');
  kt_error(@() KorDispatcher(10, 2, 1), 'Parameter 2 must be a logical.');
end

function frame_rate_list()
  korcamsim('rig', struct('frameRates', [30 1.875 15 7.5 3.75]));
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(4, 1), [30 1.875 15 7.5 3.75], 'five rates in the SDK order');
  KorDispatcher(3, 1, 1.875);
  kt_equal(KorDispatcher(33, 1), 1.875);
  kt_reset();
  korcamsim('rig', struct('frameRates', 12.5));
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(4, 1), 12.5, 'a single rate');
  kt_equal(KorDispatcher(33, 1), 12.5);
end

% code, parameters; the SDK operations between the guard and the end, with
% the stream stops and restart marked
function t = changes()
  t = {
     2, {640, 480}, {'GP', 'GP', 'STOP', 'DESTROY', 'GF', 'SF', 'START'}
     9, {8, 8},     {'GF', 'STOP', 'DESTROY', 'SF', 'START'}
     3, {7.5},      {'STOP', 'DESTROY', 'GF', 'SF', 'START'}
    10, {true},     {'NC', 'GF', 'GF', 'STOP', 'DESTROY', 'SF', 'START'}
  };
end

function ops = short_ops()
  ops = {};
  calls = kt_calls();
  for i = 1:numel(calls)
    c = calls(i);
    switch c.op
      case 'KorcamNumCameras', ops{end + 1} = 'NC';
      case 'KorcamGetProperty', ops{end + 1} = 'GP';
      case 'KorcamGetFormat', ops{end + 1} = 'GF';
      case 'KorcamSetFormat', ops{end + 1} = 'SF';
      case 'KorcamDestroyDisplayWindow', ops{end + 1} = 'DESTROY';
      case 'KorcamStreamVideoControl'
        if c.args(1) == 0, ops{end + 1} = 'STOP'; else, ops{end + 1} = 'START'; end
      otherwise, ops{end + 1} = c.op;
    end
  end
  ops = ops(2:end);  % the guard's camera count
end

function restart_preview()
  t = changes();
  for previewing = [false true]
    for i = 1:rows(t)
      [code, args, expected] = t{i, :};
      kt_reset();
      if previewing, KorDispatcher(0, 2); else, KorDispatcher(-1, 2); end
      KorDispatcher(2, 2, 1024, 768);
      korcamsim('calls', 'clear');
      KorDispatcher(code, 2, args{:});
      if ~previewing
        expected = expected(~ismember(expected, {'STOP', 'DESTROY', 'START'}));
      end
      kt_equal(short_ops(), expected, 'code %d, previewing %d', code, previewing);
      s = korcamsim('state', 2);
      kt_equal([s.streaming s.window], [previewing previewing], 'code %d stream state', code);
    end
  end
  % the preview is still ours to stop afterwards
  KorDispatcher(1, 2);
  kt_error(@() KorDispatcher(1, 2), 'Preview for camera 2 is already closed.');
  % no change, no pause
  KorDispatcher(0, 1);
  korcamsim('calls', 'clear');
  KorDispatcher(10, 1, false);
  kt_equal(short_ops(), {'NC', 'GF'}, 'same 16-bit state leaves the preview alone');
  kt_true(korcamsim('state', 1).streaming, 'still streaming');
end

function sdk_failures()
  % code, parameters, failing operation, calls of it let through, message
  t = {
     2, {640, 480}, 'KorcamGetProperty', 0, "An error occured wile obtaining the maximum resolution.\n"
     2, {640, 480}, 'KorcamGetProperty', 1, "An error occured wile obtaining the maximum resolution.\n"
     2, {640, 480}, 'KorcamGetFormat',   0, "An error occured while obtaining the frame format.\n"
     2, {640, 480}, 'KorcamSetFormat',   0, "An error occured while setting the frame size.\n"
    12, {},         'KorcamGetFormat',   0, 'Failed to get the frame format.'
     9, {8, 8},     'KorcamGetFormat',   0, 'Failed to get the frame format.'
     9, {8, 8},     'KorcamSetFormat',   0, 'Failed to set the new offset. Offset may be invalid.'
     8, {},         'KorcamGetFormat',   0, 'Failed to get the frame format.'
     3, {7.5},      'KorcamGetFormat',   0, "An error occured while obtaining the frame format.\n"
     3, {7.5},      'KorcamSetFormat',   0, 'Failed to set frame rate.'
    33, {},         'KorcamGetFormat',   0, 'An error occured while obtaining the current frame rate.'
     4, {},         'KorcamEnumAvailableFrameRates', 0, "An error occured while obtaining number of available frame rates.\n"
     4, {},         'KorcamEnumAvailableFrameRates', 1, "An error occured while obtaining available frame rates.\n"
    10, {true},     'KorcamGetFormat',   0, 'Unable to get current frame format.'
    10, {true},     'KorcamGetFormat',   1, 'Failed to get the frame format.'
    10, {true},     'KorcamSetFormat',   0, 'Failed to enable 16-bit mode. Mode may not be supported.'
    11, {},         'KorcamGetFormat',   0, 'Unable to get current frame format.'
  };
  KorDispatcher(-1, 2);
  before = KorDispatcher(62, 2);
  for i = 1:rows(t)
    [code, args, op, skip, message] = t{i, :};
    korcamsim('fail', op, 31, 1, skip);
    kt_error(@() KorDispatcher(code, 2, args{:}), message, 'code %d, %s after %d', code, op, skip);
    korcamsim('fail');
    kt_equal(KorDispatcher(62, 2), before, 'code %d: the format is as it was', code);
    kt_equal(KorDispatcher(11, 2), false, 'code %d: 16-bit state as it was', code);
  end
end

function failure_while_paused()
  % code, parameters, failing operation, its message, whether it fails after the pause
  t = {
     2, {640, 480}, 'KorcamGetFormat', "An error occured while obtaining the frame format.\n", true
     2, {640, 480}, 'KorcamSetFormat', "An error occured while setting the frame size.\n", true
     9, {8, 8},     'KorcamSetFormat', 'Failed to set the new offset. Offset may be invalid.', true
     9, {8, 8},     'KorcamGetFormat', 'Failed to get the frame format.', false
     3, {7.5},      'KorcamGetFormat', "An error occured while obtaining the frame format.\n", true
     3, {7.5},      'KorcamSetFormat', 'Failed to set frame rate.', true
    10, {true},     'KorcamSetFormat', 'Failed to enable 16-bit mode. Mode may not be supported.', true
    10, {true},     'KorcamGetFormat', 'Unable to get current frame format.', false
  };
  for i = 1:rows(t)
    [code, args, op, message, stops] = t{i, :};
    kt_reset();
    KorDispatcher(0, 2);
    KorDispatcher(2, 2, 1024, 768);
    korcamsim('fail', op, 31, 1, 0);
    kt_error(@() KorDispatcher(code, 2, args{:}), message, 'code %d, %s', code, op);
    korcamsim('fail');
    s = korcamsim('state', 2);
    kt_equal([s.streaming s.window], [~stops ~stops], 'code %d, %s: preview stopped', code, op);
    % previewing stays set: a new start is refused until a stop clears it
    kt_error(@() KorDispatcher(0, 2), ...
             "Camera may already be previewing. Stop the preview before calling this function.\n", ...
             'code %d, %s', code, op);
    if stops
      try, KorDispatcher(1, 2); catch, end
    else
      KorDispatcher(1, 2);
    end
    KorDispatcher(0, 2);
    kt_true(korcamsim('state', 2).streaming, 'code %d, %s: preview starts again', code, op);
  end
  % the restart itself fails: the change is made, previewing stays set
  for row = {{2, {640, 480}}, {3, {7.5}}, {9, {8, 8}}, {10, {true}}}
    [code, args] = row{1}{:};
    kt_reset();
    KorDispatcher(0, 2);
    KorDispatcher(2, 2, 1024, 768);
    korcamsim('fail', 'KorcamStreamVideoControl', 31, 1, 1);
    kt_error(@() KorDispatcher(code, 2, args{:}), "An error occured while opening the video preview.\n", ...
             'code %d restart', code);
    korcamsim('fail');
    kt_true(~korcamsim('state', 2).streaming, 'code %d: not streaming', code);
    kt_error(@() KorDispatcher(0, 2), ...
             "Camera may already be previewing. Stop the preview before calling this function.\n");
  end
  % the 16-bit cache is only updated after the restart; the getter refreshes it
  kt_equal(korcamsim('state', 2).pixelFormat, 1, 'camera switched');
  kt_equal(KorDispatcher(11, 2), true, 'refreshed');
  % stop and destroy failures of the pause
  for row = {{'KorcamStreamVideoControl', "An error occured while stopping the video preview.\n"}, ...
             {'KorcamDestroyDisplayWindow', "An error occured while closing the preview windows.\n"}}
    [op, message] = row{1}{:};
    kt_reset();
    KorDispatcher(0, 2);
    korcamsim('calls', 'clear');
    korcamsim('fail', op, 31, 1, 0);
    kt_error(@() KorDispatcher(3, 2, 7.5), message, op);
    korcamsim('fail');
    kt_equal(numel(kt_calls('KorcamSetFormat')), 0, '%s: no format change', op);
  end
end

function snapshot_settings()
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  % the snapshot keeps its own pixel format and flags through a size change
  KorDispatcher(18, 2, true);
  KorDispatcher(2, 2, 1024, 768);
  KorDispatcher(9, 2, 32, 16);
  KorDispatcher(2, 2, 640, 480);
  s = synchronous_snapshot_formats();
  kt_equal([s(2).xOffset s(2).yOffset s(2).width s(2).height s(2).xBinSub s(2).yBinSub], ...
           [32 16 640 480 1 1], 'size and offsets in the snapshot');
  kt_equal(s(2).pixelFormat, 1, 'snapshot pixel format kept');
  kt_equal(korcamsim('state', 2).pixelFormat, 0, 'while the camera stays at 8 bits');
  % offsets copied from the camera, subsampling reset, also when the camera was binning
  f = KorDispatcher(62, 1);
  f.width = 640; f.height = 480; f.xOffset = 4; f.yOffset = 2; f.xBinSub = 2; f.yBinSub = 2;
  KorDispatcher(63, 1, f);
  KorDispatcher(2, 1, 320, 240);
  s = synchronous_snapshot_formats();
  kt_equal([s(1).xOffset s(1).yOffset s(1).width s(1).height s(1).xBinSub s(1).yBinSub], [4 2 320 240 1 1]);
  % a failed format change: size keeps the new values, offset keeps the old
  korcamsim('fail', 'KorcamSetFormat', 31, 1, 0);
  kt_error(@() KorDispatcher(2, 2, 800, 600), "An error occured while setting the frame size.\n");
  korcamsim('fail', 'KorcamSetFormat', 31, 1, 0);
  kt_error(@() KorDispatcher(9, 2, 64, 64), 'Failed to set the new offset. Offset may be invalid.');
  korcamsim('fail');
  s = synchronous_snapshot_formats();
  kt_equal([s(2).xOffset s(2).yOffset s(2).width s(2).height], [32 16 800 600], 'after the failures');
  kt_equal(KorDispatcher(12, 2), [640; 480], 'the camera kept its size');
  % rate and 16-bit changes leave the snapshot alone
  KorDispatcher(3, 2, 30);
  KorDispatcher(10, 2, true);
  s2 = synchronous_snapshot_formats();
  kt_equal(s2(2), s(2), 'rate and 16-bit mode do not reach the snapshot');
end

% The formats of the snapshot settings that a synchronous snapshot hands over.
function formats = synchronous_snapshot_formats()
  KorDispatcher(32);
  for n = 1:2
    formats(n) = korcamsim('state', n).snapshot.format;
  end
end

function unsigned_fields()
  % a camera left by other software in a format beyond the signed range
  korcamsim('format', 1, struct('width', 4294967295, 'height', 2147483648, 'xOffset', 3e9, ...
                                'yOffset', 4294967294, 'pixelFormat', 3));
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(12, 1), [4294967295; 2147483648]);
  kt_equal(KorDispatcher(8, 1), [3e9; 4294967294]);
  kt_equal(KorDispatcher(11, 1), true, 'any pixel format but 0 counts as 16 bits');
  % switching off writes 8 bits over the odd format
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(10, 1, false), 'Failed to enable 16-bit mode. Mode may not be supported.');
  kt_equal(numel(kt_calls('KorcamSetFormat')), 1, 'the camera was asked');
end
