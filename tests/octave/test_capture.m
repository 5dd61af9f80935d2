function cases = test_capture()
% Video frames (code 7), snapshots (code 13) and synchronous snapshots (code
% 32). Every image is compared with one computed here from the raw frame the
% virtual camera delivered (korcamsim 'lastframe') and the library's own
% conversion ('convert').
  cases = {
    'video frame: colour and 16-bit monochrome',            @video_frame
    'video frame: refusals and failures',                   @video_frame_failures
    'snapshot: colour, monochrome, 16 bits, binning',       @snapshot_main_paths
    'snapshot: colour format value and flags word',         @snapshot_color_format
    'big-endian 16-bit monochrome samples',                 @big_endian_samples
    'snapshot: a running preview is stopped and restarted', @snapshot_preview
    'snapshot: settings handed to the SDK and kept',        @snapshot_settings
    'snapshot: failures, preview restarted',                @snapshot_failures
    'synchronous: cameras of different sizes',              @sync_different_sizes
    'synchronous: extra parameters are ignored',            @sync_extra_parameters
    'synchronous: cameras 2 and 5',                         @sync_sparse_cameras
    'synchronous: mixed sample widths',                     @sync_mixed_widths
    'synchronous: fewer than two cameras',                  @sync_too_few
    'synchronous: previews stopped and restarted',          @sync_preview
    'synchronous: failures, group disabled, previews back', @sync_failures
    'colour 16-bit camera in all three commands',           @color_16bit
    'unsupported formats refused before any buffer',        @unsupported_formats
    'frames and arrays too large to hold',                  @memory_limits
    'camera guard and not-connected messages',              @not_connected
  };
end

% ---------------------------------------------------------------------------
% Expected images

function img = expected_image(cam, kind)
% The [H W 3] image of the last frame camera CAM delivered, from its raw
% bytes. KIND: 'color' (the library's conversion), 'mono' (samples as
% delivered, little-endian) or 'mono-swapped' (16-bit samples byte-swapped).
  [raw, w, h, pf] = korcamsim('lastframe', cam);
  if strcmp(kind, 'color')
    bgr = korcamsim('convert', cam, raw, w, h, pf);
  else
    if pf == 0
      samples = raw;
    else
      samples = typecast(raw, 'uint16');
      if strcmp(kind, 'mono-swapped'), samples = swapbytes(samples); end
      samples = bitand(samples, uint16(65520));   % 12 significant bits
    end
    bgr = repmat(samples(:)', 3, 1);
  end
  pic = reshape(bgr, 3, w, h);             % sample, column, buffer row
  img = permute(pic, [3 2 1]);             % buffer row, column, sample
  img = img(end:-1:1, :, end:-1:1);        % buffer's last row on top; red page first
end

function check_upright(img, label)
% The virtual scene: colour bars white, yellow, cyan, green, magenta, red,
% blue, black from the left, bright at the top and dimmer towards the bottom.
  w = columns(img);
  red_bar = round(w * 5.5 / 8);
  middle = round(rows(img) / 2);
  px = double(squeeze(img(middle, red_bar, :)));
  kt_true(px(1) > 4 * max(px(2), px(3)) + 1, '%s: red bar in the red page (%s)', label, mat2str(px'));
  top = double(img(round(rows(img) * 0.2), round(w / 16), 1));
  bottom = double(img(end, round(w / 16), 1));
  kt_true(top > bottom, '%s: brighter at the top (%g) than at the bottom (%g)', label, top, bottom);
end

function check_block(imgs, k, expected, label)
% Image k of a synchronous array: the expected picture in its top left, zero
% elsewhere.
  [h, w, ~] = size(expected);
  kt_equal(imgs(1:h, 1:w, :, k), expected, '%s: image %d', label, k);
  kt_true(~any(any(any(imgs(h+1:end, :, :, k)))), '%s: rows below image %d are zero', label, k);
  kt_true(~any(any(any(imgs(:, w+1:end, :, k)))), '%s: columns right of image %d are zero', label, k);
end

function ops = call_ops()
  calls = korcamsim('calls');
  if isempty(calls), ops = {}; else, ops = {calls.op}; end
end

function streams = stream_calls()
% [camera code] of every KorcamStreamVideoControl call since the last clear.
  c = kt_calls('KorcamStreamVideoControl');
  streams = zeros(0, 2);
  for i = 1:numel(c), streams(end + 1, :) = [c(i).camera, c(i).args(1)]; end
end

function check_still_previewing(cams, label)
% The camera streams again and its slot still counts as previewing.
  for cam = cams
    s = korcamsim('state', cam);
    kt_true(s.streaming && s.window, '%s: camera %d streams into its window', label, cam);
    kt_error(@() KorDispatcher(0, cam), ...
             "Camera may already be previewing. Stop the preview before calling this function.\n", ...
             '%s: camera %d still previewing', label, cam);
  end
end

% ---------------------------------------------------------------------------
% Code 7

function video_frame()
  KorDispatcher(0, 1);
  korcamsim('calls', 'clear');
  img = KorDispatcher(7, 1);
  kt_equal(size(img), [1024 1280 3], 'colour camera size');
  kt_equal(img, expected_image(1, 'color'), 'colour frame');
  check_upright(img, 'video frame');
  kt_equal(call_ops(), {'KorcamNumCameras', 'KorcamGetFormat', 'KorcamGetProperty', 'KorcamTakeVideo', ...
                        'KorcamConvertFrameToRgb24'});
  kt_equal(kt_calls('KorcamGetProperty').args, 80, 'colour format property');
  kt_equal(kt_calls('KorcamTakeVideo').args, 1, 'one frame');
  kt_equal(kt_calls('KorcamConvertFrameToRgb24').args, [1280 1024 0 3 1], 'conversion arguments: size, pixel format, demosaicing 3, colour correction 1');
  s = korcamsim('state', 1);
  kt_true(s.streaming && s.window, 'the stream keeps running');
  kt_equal(numel(kt_calls('KorcamStreamVideoControl')), 0, 'no stream control');

  % 16-bit monochrome camera with little-endian samples
  KorDispatcher(0, 2);
  KorDispatcher(10, 2, true);
  img = KorDispatcher(7, 2);
  kt_equal(img, expected_image(2, 'mono'), '16-bit monochrome frame');
  kt_equal(size(img), [1536 2048 3]);
  KorDispatcher(1, 2);   % still previewing: the stop succeeds
end

function video_frame_failures()
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(7, 1), 'Cannot capture a frame, not previewing.');
  kt_equal(call_ops(), {'KorcamNumCameras'}, 'nothing but the guard before the refusal');

  KorDispatcher(0, 1);
  steps = {
    'KorcamGetFormat',           "An error occured while obtaining the frame format.\n"
    'KorcamGetProperty',         "An error occured while obtaining the color format.\n"
    'KorcamTakeVideo',           'An error occured while trying to take a video frame.'
    'KorcamConvertFrameToRgb24', 'Failed to convert frame to RGB24.'
  };
  for i = 1:rows(steps)
    korcamsim('fail', steps{i, 1}, 3);
    kt_error(@() KorDispatcher(7, 1), steps{i, 2}, steps{i, 1});
    korcamsim('fail');
    kt_true(korcamsim('state', 1).streaming, 'still streaming after %s', steps{i, 1});
  end
  kt_equal(KorDispatcher(7, 1), expected_image(1, 'color'), 'a frame after the failures');
end

% ---------------------------------------------------------------------------
% Code 13

function snapshot_main_paths()
  for cam = 1:3, KorDispatcher(-1, cam); end
  korcamsim('calls', 'clear');
  img = KorDispatcher(13, 1);
  kt_equal(img, expected_image(1, 'color'), 'colour snapshot');
  check_upright(img, 'snapshot');
  kt_equal(call_ops(), {'KorcamNumCameras', 'KorcamGetProperty', 'KorcamGetFormat', 'KorcamTakeSnapshot', ...
                        'KorcamConvertFrameToRgb24'});

  img = KorDispatcher(13, 2);
  kt_equal(img, expected_image(2, 'mono'), '8-bit monochrome snapshot');
  kt_equal(class(img), 'uint8');
  kt_equal(KorDispatcher(13, 3), expected_image(3, 'color'), 'camera 3 (640 x 480)');

  KorDispatcher(10, 2, true);
  img = KorDispatcher(13, 2);
  kt_equal(class(img), 'uint16', '16-bit camera');
  kt_equal(img, expected_image(2, 'mono'), '16-bit monochrome snapshot');

  % binning divides the delivered size
  korcamsim('format', 1, struct('xBinSub', 2, 'yBinSub', 4));
  img = KorDispatcher(13, 1);
  kt_equal(size(img), [256 640 3], 'binned size');
  kt_equal(img, expected_image(1, 'color'), 'binned snapshot');
  conversions = kt_calls('KorcamConvertFrameToRgb24');
  kt_equal(conversions(end).args, [640 256 0 3 1], 'binned conversion size');
end

function snapshot_color_format()
  % small cameras: a colour one, and a 16-bit monochrome one with little-endian samples
  korcamsim('rig', struct('color', {true, false}, 'bits16', {false, true}, 'littleEndian', {false, true}, ...
                          'maxWidth', {320, 256}, 'maxHeight', {240, 192}));
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  KorDispatcher(10, 2, true);
  % Any flags word but exactly 0x80000000 means swapped bytes.
  for flags = [0, 2147483649, 3221225472, 1]
    korcamsim('set', 2, 80, 0, flags);
    kt_equal(KorDispatcher(13, 2), expected_image(2, 'mono-swapped'), 'flags %d', flags);
  end
  korcamsim('set', 2, 80, 0, 2147483648);
  kt_equal(KorDispatcher(13, 2), expected_image(2, 'mono'), 'flags 0x80000000');
  % NaN marks a colour sensor, exactly 0 a monochrome one.
  korcamsim('set', 2, 80, NaN);
  korcamsim('calls', 'clear');
  KorDispatcher(13, 2);
  kt_equal(numel(kt_calls('KorcamConvertFrameToRgb48')), 1, 'NaN: converted as colour');
  korcamsim('set', 1, 80, 0);
  kt_equal(KorDispatcher(13, 1), expected_image(1, 'mono'), 'value 0: replicated as monochrome');
end

function big_endian_samples()
  korcamsim('rig', struct('color', {false, true}, 'bits16', {true, false}, 'littleEndian', {false, false}, ...
                          'maxWidth', {320, 64}, 'maxHeight', {240, 48}));
  KorDispatcher(0, 1);
  KorDispatcher(10, 1, true);
  kt_equal(KorDispatcher(13, 1), expected_image(1, 'mono-swapped'), 'big-endian snapshot');
  kt_equal(KorDispatcher(7, 1), expected_image(1, 'mono-swapped'), 'big-endian video frame');
  KorDispatcher(-1, 2);
  imgs = KorDispatcher(32);
  check_block(imgs, 1, expected_image(1, 'mono-swapped'), 'big-endian synchronous');
end

function snapshot_preview()
  KorDispatcher(0, 1);
  korcamsim('calls', 'clear');
  img = KorDispatcher(13, 1);
  kt_equal(img, expected_image(1, 'color'));
  kt_equal(call_ops(), {'KorcamNumCameras', 'KorcamStreamVideoControl', 'KorcamDestroyDisplayWindow', ...
                        'KorcamGetProperty', 'KorcamGetFormat', 'KorcamTakeSnapshot', ...
                        'KorcamConvertFrameToRgb24', 'KorcamStreamVideoControl'});
  kt_equal(stream_calls(), [1 0; 1 2], 'stop, then start');
  check_still_previewing(1, 'after the snapshot');

  % a camera that is not previewing: no stream control at all
  KorDispatcher(-1, 2);
  korcamsim('calls', 'clear');
  KorDispatcher(13, 2);
  kt_equal(numel(kt_calls('KorcamStreamVideoControl')) + numel(kt_calls('KorcamDestroyDisplayWindow')), 0);
  kt_true(~korcamsim('state', 2).streaming, 'not started');
end

function snapshot_settings()
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  KorDispatcher(15, 1, 10);
  KorDispatcher(13, 1);
  handed = korcamsim('state', 1).snapshot;
  kt_equal(handed.timeout, 5010, 'timeout = exposure + 5000');
  kt_equal(handed.exposure, 10);
  kt_equal(handed.format.width, 1280);
  % the slot keeps the timeout: synchronous snapshots hand it on as stored
  KorDispatcher(32);
  kt_equal(korcamsim('state', 1).snapshot.timeout, 5010, 'kept in the slot');
  kt_equal(korcamsim('state', 2).snapshot.timeout, 5000, 'camera 2 untouched');

  % every snapshot takes the camera's current format, pixel format included
  KorDispatcher(18, 2, true);
  kt_equal(KorDispatcher(19, 2), true);
  img = KorDispatcher(13, 2);
  kt_equal(class(img), 'uint8', 'current format is 8-bit');
  kt_equal(KorDispatcher(19, 2), false, 'stored pixel format replaced');
  kt_equal(korcamsim('state', 2).snapshot.format.pixelFormat, 0);

  % and its current size, written into the slot
  KorDispatcher(2, 1, 640, 480);
  korcamsim('format', 1, struct('xOffset', 16, 'yOffset', 8));
  img = KorDispatcher(13, 1);
  kt_equal(size(img), [480 640 3]);
  f = korcamsim('state', 1).snapshot.format;
  kt_equal([f.width f.height f.xOffset f.yOffset], [640 480 16 8], 'format handed over');
  KorDispatcher(32);
  f = korcamsim('state', 1).snapshot.format;
  kt_equal([f.width f.height f.xOffset f.yOffset], [640 480 16 8], 'format kept in the slot');
end

function snapshot_failures()
  KorDispatcher(0, 1);
  % op, last error, calls let through, message
  rows_ = {
    'KorcamStreamVideoControl',   3, 0, "An error occured while stopping the video preview.\n"
    'KorcamDestroyDisplayWindow', 3, 0, "An error occured while closing the preview windows.\n"
    'KorcamGetProperty',          3, 0, "An error occured while obtaining the color format.\n"
    'KorcamGetFormat',            3, 0, "An error occured while obtaining the frame format.\n"
    'KorcamTakeSnapshot',        19, 0, 'Snapshot timed out.'
    'KorcamTakeSnapshot',         5, 0, 'Error 5 occured while attempting to take a fast frame with camera 1.'
    'KorcamTakeSnapshot', 4294967295, 0, ...
        'Error 4294967295 occured while attempting to take a fast frame with camera 1.'
    'KorcamConvertFrameToRgb24',  3, 0, 'Failed to convert frame to RGB24.'
  };
  for i = 1:rows(rows_)
    label = sprintf('%s %d', rows_{i, 1}, rows_{i, 2});
    korcamsim('fail', rows_{i, 1}, rows_{i, 2}, 1, rows_{i, 3});
    kt_error(@() KorDispatcher(13, 1), rows_{i, 4}, label);
    korcamsim('fail');
    check_still_previewing(1, label);
  end

  % the restart itself fails: the error is raised, the slot still previewing
  korcamsim('fail', 'KorcamStreamVideoControl', 3, 1, 1);
  kt_error(@() KorDispatcher(13, 1), "An error occured while opening the video preview.\n");
  korcamsim('fail');
  kt_true(~korcamsim('state', 1).streaming, 'the failed restart left the stream stopped');
  kt_error(@() KorDispatcher(1, 1), "An error occured while stopping the video preview.\n", ...
           'still previewing: the stop runs and finds no stream');

  % last error 5 on camera 2, not previewing: no stream control
  KorDispatcher(-1, 2);
  korcamsim('calls', 'clear');
  korcamsim('fail', 'KorcamTakeSnapshot', 5);
  kt_error(@() KorDispatcher(13, 2), 'Error 5 occured while attempting to take a fast frame with camera 2.');
  kt_equal(numel(kt_calls('KorcamStreamVideoControl')), 0, 'no preview to restart');
end

% ---------------------------------------------------------------------------
% Code 32

function sync_different_sizes()
  for cam = 1:3, KorDispatcher(-1, cam); end
  korcamsim('calls', 'clear');
  imgs = KorDispatcher(32);
  kt_equal(size(imgs), [1536 2048 3 3], 'largest H and W, one image per camera');
  kt_equal(class(imgs), 'uint8');
  kinds = {'color', 'mono', 'color'};
  for k = 1:3, check_block(imgs, k, expected_image(k, kinds{k}), 'different sizes'); end
  check_upright(imgs(1:1024, 1:1280, :, 1), 'synchronous');
  kt_equal(call_ops(), {'KorcamEnableSynchronousSnapshots', 'KorcamTakeSynchronousSnapshots', ...
                        'KorcamDisableSynchronousSnapshots', ...
                        'KorcamGetProperty', 'KorcamConvertFrameToRgb24', 'KorcamGetProperty', ...
                        'KorcamGetProperty', 'KorcamConvertFrameToRgb24'}, 'no guard, one group');
  kt_equal(kt_calls('KorcamEnableSynchronousSnapshots').args, 3, 'three cameras');
  kt_equal([kt_calls('KorcamGetProperty').camera], [1 2 3], 'each camera''s own colour format');
end

function sync_extra_parameters()
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 3);
  for extra = {{}, {1}, {'x', {}, struct(), [1 2 3], true}}
    imgs = KorDispatcher(32, extra{1}{:});
    kt_equal(size(imgs), [1024 1280 3 2], '%d extra parameters', numel(extra{1}));
    check_block(imgs, 1, expected_image(1, 'color'), 'extra parameters');
    check_block(imgs, 2, expected_image(3, 'color'), 'extra parameters');
  end
end

function sync_sparse_cameras()
  korcamsim('rig', struct('color', {true, false, true, true, true}, ...
                          'maxWidth', {32, 40, 32, 32, 24}, 'maxHeight', {16, 30, 16, 16, 12}));
  KorDispatcher(-1, 2);
  KorDispatcher(-1, 5);
  imgs = KorDispatcher(32);
  kt_equal(size(imgs), [30 40 3 2]);
  check_block(imgs, 1, expected_image(2, 'mono'), 'camera 2 first');
  check_block(imgs, 2, expected_image(5, 'color'), 'camera 5 second');
end

function sync_mixed_widths()
  korcamsim('rig', struct('color', {true, false}, 'bits16', {false, true}, 'littleEndian', {false, true}, ...
                          'maxWidth', {320, 256}, 'maxHeight', {240, 192}));
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  KorDispatcher(18, 2, true);   % the stored 16-bit choice governs synchronous snapshots
  imgs = KorDispatcher(32);
  kt_equal(class(imgs), 'uint16', 'one 16-bit camera makes the array uint16');
  kt_equal(korcamsim('state', 2).snapshot.format.pixelFormat, 1, 'handed as stored');
  kt_equal(size(imgs), [240 320 3 2]);
  check_block(imgs, 1, uint16(expected_image(1, 'color')) * 257, '8-bit widened as im2uint16');
  check_block(imgs, 2, expected_image(2, 'mono'), '16-bit samples as they are');
  % a single snapshot replaces the stored choice, and the next array is 8-bit
  KorDispatcher(13, 2);
  kt_equal(class(KorDispatcher(32)), 'uint8');
end

function sync_too_few()
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(32), 'Must have at least 2 cameras connected to take synchronous snapshots.');
  KorDispatcher(0, 2);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(32, 1, 2), 'Must have at least 2 cameras connected to take synchronous snapshots.');
  kt_equal(call_ops(), {}, 'no SDK call before the count test');
  kt_true(korcamsim('state', 2).streaming, 'the preview untouched');
end

function sync_preview()
  KorDispatcher(0, 1);
  KorDispatcher(-1, 2);
  KorDispatcher(0, 3);
  korcamsim('calls', 'clear');
  imgs = KorDispatcher(32);
  kt_equal(size(imgs, 4), 3);
  kt_equal(stream_calls(), [1 0; 3 0; 1 2; 3 2], 'previewing cameras stopped, then started, in order');
  ops = call_ops();
  kt_equal(ops(1:5), {'KorcamStreamVideoControl', 'KorcamDestroyDisplayWindow', 'KorcamStreamVideoControl', ...
                      'KorcamDestroyDisplayWindow', 'KorcamEnableSynchronousSnapshots'}, 'stopped first');
  kt_equal(ops(end-1:end), {'KorcamStreamVideoControl', 'KorcamStreamVideoControl'}, 'restarted last');
  check_still_previewing([1 3], 'after synchronous snapshots');
  kt_true(~korcamsim('state', 2).streaming, 'camera 2 not started');
end

function sync_failures()
  % cameras 1 and 2 previewing, 3 connected; calls let through before the fault
  rows_ = {
    'KorcamStreamVideoControl',          0, "An error occured while stopping the video preview.\n"
    'KorcamStreamVideoControl',          1, "An error occured while stopping the video preview.\n"
    'KorcamDestroyDisplayWindow',        1, "An error occured while closing the preview windows.\n"
    'KorcamEnableSynchronousSnapshots',  0, 'Failed to enable synchronous snapshots.'
    'KorcamTakeSynchronousSnapshots',    0, 'Error taking synchronous snapshots.'
    'KorcamDisableSynchronousSnapshots', 0, 'Error disabling synchronous snapshots.'
    'KorcamGetProperty',                 2, "An error occured while obtaining the color format.\n"
    'KorcamConvertFrameToRgb24',         1, 'Failed to convert frame to RGB24.'
  };
  KorDispatcher(0, 1);
  KorDispatcher(0, 2);
  KorDispatcher(-1, 3);
  for i = 1:rows(rows_)
    label = sprintf('%s after %d', rows_{i, 1}, rows_{i, 2});
    korcamsim('calls', 'clear');
    korcamsim('fail', rows_{i, 1}, 3, 1, rows_{i, 2});
    kt_error(@() KorDispatcher(32), rows_{i, 3}, label);
    korcamsim('fail');
    enabled = numel(kt_calls('KorcamEnableSynchronousSnapshots'));
    disabled = numel(kt_calls('KorcamDisableSynchronousSnapshots'));
    kt_true(enabled <= 1 && disabled == enabled - strcmp(rows_{i, 1}, 'KorcamEnableSynchronousSnapshots'), ...
            '%s: the group is disabled once (%d enabled, %d disabled)', label, enabled, disabled);
    check_still_previewing([1 2], label);
  end

  % the first restart fails: the second is still made, then the error raised
  korcamsim('calls', 'clear');
  korcamsim('fail', 'KorcamStreamVideoControl', 3, 1, 2);
  kt_error(@() KorDispatcher(32), "An error occured while opening the video preview.\n");
  korcamsim('fail');
  kt_equal(stream_calls(), [1 0; 2 0; 1 2; 2 2]);
  kt_true(~korcamsim('state', 1).streaming, 'camera 1 left stopped by the failed restart');
  check_still_previewing(2, 'camera 2 restarted');
end

% ---------------------------------------------------------------------------
% Shared

function color_16bit()
  korcamsim('rig', struct('color', {true, true}, 'bits16', {true, false}, ...
                          'maxWidth', {320, 160}, 'maxHeight', {240, 100}));
  KorDispatcher(0, 1);
  KorDispatcher(10, 1, true);
  korcamsim('calls', 'clear');
  img = KorDispatcher(7, 1);
  kt_equal(img, expected_image(1, 'color'), 'video frame');
  kt_equal(class(img), 'uint16');
  kt_equal(kt_calls('KorcamConvertFrameToRgb48').args, [320 240 1 3 1], 'conversion with pixel format 1, demosaicing 3, colour correction 1');
  img = KorDispatcher(13, 1);
  kt_equal(img, expected_image(1, 'color'), 'snapshot');
  check_upright(img, '16-bit colour');
  KorDispatcher(-1, 2);
  imgs = KorDispatcher(32);
  kt_equal(size(imgs), [240 320 3 2]);
  check_block(imgs, 1, expected_image(1, 'color'), 'synchronous 16-bit');
  check_block(imgs, 2, uint16(expected_image(2, 'color')) * 257, 'synchronous 8-bit widened');

  korcamsim('fail', 'KorcamConvertFrameToRgb48', 3);
  kt_error(@() KorDispatcher(7, 1), 'Failed to convert frame to RGB48.', 'code 7');
  kt_error(@() KorDispatcher(13, 1), 'Failed to convert frame to RGB48.', 'code 13');
  kt_error(@() KorDispatcher(32), 'Failed to convert frame to RGB48.', 'code 32');
  korcamsim('fail');
  check_still_previewing(1, 'after the conversion failures');
end

function unsupported_formats()
  for cam = 1:3, KorDispatcher(-1, cam); end
  KorDispatcher(0, 1);
  % code 7 keeps its own message for YUV 4:2:2 and refuses before the colour format
  korcamsim('format', 1, struct('pixelFormat', 3));
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(7, 1), 'YUV422 mode is not supported.');
  kt_equal(call_ops(), {'KorcamNumCameras', 'KorcamGetFormat'}, 'refused before the colour format');
  bad = {
    struct('pixelFormat', 2),          'Pixel format 2 of camera 1 cannot be captured: only formats 0 (8 bits) and 1 (16 bits) can.'
    struct('pixelFormat', 4294967295), 'Pixel format 4294967295 of camera 1 cannot be captured: only formats 0 (8 bits) and 1 (16 bits) can.'
    struct('xBinSub', 0),              'The frame format of camera 1 has a binning factor of 0.'
    struct('yBinSub', 0),              'The frame format of camera 1 has a binning factor of 0.'
  };
  for i = 1:rows(bad)
    korcamsim('format', 1, struct('pixelFormat', 0, 'xBinSub', 1, 'yBinSub', 1));
    korcamsim('format', 1, bad{i, 1});
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(7, 1), bad{i, 2}, 'code 7, row %d', i);
    kt_equal(numel(kt_calls('KorcamTakeVideo')), 0, 'code 7 row %d: no capture', i);
    kt_error(@() KorDispatcher(13, 1), bad{i, 2}, 'code 13, row %d', i);
    kt_equal(numel(kt_calls('KorcamTakeSnapshot')), 0, 'code 13 row %d: no capture', i);
    check_still_previewing(1, sprintf('code 13 row %d', i));
  end
  korcamsim('format', 1, struct('pixelFormat', 3, 'xBinSub', 1, 'yBinSub', 1));
  kt_error(@() KorDispatcher(13, 1), ...
           'Pixel format 3 of camera 1 cannot be captured: only formats 0 (8 bits) and 1 (16 bits) can.');

  % code 32 checks the stored formats before it touches a preview
  korcamsim('format', 1, struct('pixelFormat', 0));
  KorDispatcher(13, 1);
  korcamsim('format', 3, struct('pixelFormat', 3));
  KorDispatcher(-2, 3);
  KorDispatcher(-1, 3);   % connect stores the camera's format in the slot
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(32), ...
           'Pixel format 3 of camera 3 cannot be captured: only formats 0 (8 bits) and 1 (16 bits) can.');
  kt_equal(call_ops(), {}, 'refused before any SDK call');
  korcamsim('format', 3, struct('pixelFormat', 0, 'yBinSub', 0));
  KorDispatcher(-2, 3);
  KorDispatcher(-1, 3);
  kt_error(@() KorDispatcher(32), 'The frame format of camera 3 has a binning factor of 0.');
  check_still_previewing(1, 'code 32');
end

function memory_limits()
  % The gateway, like a 32-bit MATLAB process, holds no block above 2^31-1
  % bytes. The virtual cameras allocate nothing until they deliver a frame, so
  % each refusal here comes before any frame is drawn. (The picture buffers of
  % codes 7 and 32 fail only after a frame of over 716 MB was delivered, which
  % takes the virtual camera many seconds to draw; they share the
  % buffer-or-message path of the rows below.)
  korcamsim('rig', struct('color', {false, true, false, false}, 'bits16', {true, false, false, false}, ...
                          'maxWidth', {40000, 30000, 60000, 1}, 'maxHeight', {40000, 30000, 1, 60000}));
  % code 7: 16-bit 40000 x 40000 is 3.2e9 raw bytes
  KorDispatcher(0, 1);
  KorDispatcher(10, 1, true);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(7, 1), 'Not enough memory to make raw frame buffer.');
  kt_equal(numel(kt_calls('KorcamTakeVideo')), 0, 'no frame taken');
  % code 13: the raw buffer, then the picture buffer (9e8 raw bytes fit, 2.7e9 do not)
  kt_error(@() KorDispatcher(13, 1), 'Not enough memory to make raw buffer.');
  check_still_previewing(1, 'raw buffer refused');
  KorDispatcher(-1, 2);
  kt_error(@() KorDispatcher(13, 2), 'Not enough memory to make picture buffer.');
  kt_equal(numel(kt_calls('KorcamTakeSnapshot')), 0, 'no snapshot taken');
  % code 32: a raw buffer refused inside the group
  KorDispatcher(-2, 2);
  KorDispatcher(-1, 3);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(32), 'Not enough memory to create raw buffer.');
  kt_equal(numel(kt_calls('KorcamDisableSynchronousSnapshots')), 1, 'group disabled');
  kt_equal(numel(kt_calls('KorcamTakeSynchronousSnapshots')), 0, 'nothing taken');
  check_still_previewing(1, 'code 32 raw buffer');
  % code 32: small frames whose common array would be 60000 x 60000 x 3 x 2
  KorDispatcher(-2, 1);
  KorDispatcher(0, 4);
  kt_error(@() KorDispatcher(32), 'An error occured while creating the Matlab array.');
  check_still_previewing(4, 'code 32 array refused');
end

function not_connected()
  patterns = {
    7,  'Cannot capture a frame, camera %d is not connected.'
    13, 'Cannot take snapshot, camera %d is not connected.'
  };
  for i = 1:rows(patterns)
    code = patterns{i, 1};
    for cam = 1:3
      kt_error(@() KorDispatcher(code, cam), sprintf(patterns{i, 2}, cam), 'code %d camera %d', code, cam);
    end
    kt_error(@() KorDispatcher(code, 11), 'Invalid camera nubmer.', 'code %d camera 11', code);
    kt_error(@() KorDispatcher(code, 4), 'Not enough cameras connected.', 'code %d camera 4', code);
    kt_error(@() KorDispatcher(code, 0), 'Invalid camera nubmer.', 'code %d camera 0', code);
  end
  % a camera disconnected after a capture is refused again
  KorDispatcher(-1, 1);
  KorDispatcher(13, 1);
  KorDispatcher(-2, 1);
  kt_error(@() KorDispatcher(13, 1), 'Cannot take snapshot, camera 1 is not connected.');
end
