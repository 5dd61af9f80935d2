function cases = test_grey()
% Grey captures: video frame (code 107), snapshot (code 113) and synchronous
% snapshots (code 132) return one [H W] page per image. Every page is
% compared with one computed here from the raw frame the virtual camera
% delivered (korcamsim 'lastframe') and the library's own conversion.
  cases = {
    'snapshot: monochrome 8 and 16 bits, colour luminance', @grey_snapshot
    'snapshot: 16-bit colour luminance',                    @grey_colour_16bit
    'video frame: monochrome and colour',                   @grey_video_frame
    'synchronous: sizes, classes and placement',            @grey_synchronous
    'parameters, guard and messages of the colour codes',   @grey_messages
    'KorCamera: ReturnedColorSpace and syncSnapshot',       @korcamera_color_space
  };
end

function img = expected_grey(cam, kind)
% The [H W] page of the last frame camera CAM delivered. KIND: 'mono'
% (samples as delivered, 16-bit ones little-endian and cut to 12 bits) or
% 'color' (the luminance of the library's conversion, as rgb2gray weighs it).
  [raw, w, h, pf] = korcamsim('lastframe', cam);
  if strcmp(kind, 'color')
    bgr = korcamsim('convert', cam, raw, w, h, pf);
    cls = class(bgr);
    bgr = reshape(double(bgr), 3, w * h);
    samples = round(0.298936021293775 * bgr(3, :) + 0.587043074451121 * bgr(2, :) + ...
                    0.114020904255103 * bgr(1, :));
    samples = cast(samples, cls);
  elseif pf == 0
    samples = raw;
  else
    samples = bitand(typecast(raw, 'uint16'), uint16(65520));
  end
  img = reshape(samples, w, h)';   % buffer row, column
  img = img(end:-1:1, :);          % the buffer's last row on top
end

function grey_snapshot()
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  img = KorDispatcher(113, 2);
  kt_equal(img, expected_grey(2, 'mono'), 'monochrome 8-bit');
  kt_equal(size(img), [1536 2048], 'one page');
  % the same frame as the first of the three equal pages of code 13
  rgb = KorDispatcher(13, 2);
  kt_equal(size(rgb), [1536 2048 3]);
  kt_equal(rgb(:, :, 1), expected_grey(2, 'mono'), 'code 13 of the next frame');
  KorDispatcher(10, 2, true);
  img = KorDispatcher(113, 2);
  kt_equal(img, expected_grey(2, 'mono'), 'monochrome 16-bit');
  % a colour camera gives its luminance: the white bar dims towards the bottom
  img = KorDispatcher(113, 1);
  kt_equal(img, expected_grey(1, 'color'), 'colour luminance');
  kt_true(img(100, 20) > img(end, 20), 'upright: %d at the top, %d at the bottom', img(100, 20), img(end, 20));
end

function grey_colour_16bit()
  korcamsim('rig', struct('color', {true, true}, 'bits16', true, 'maxWidth', 64, 'maxHeight', 48));
  KorDispatcher(-1, 1);
  KorDispatcher(10, 1, true);
  img = KorDispatcher(113, 1);
  kt_true(isa(img, 'uint16') && isequal(size(img), [48 64]), 'uint16 [48 64]');
  kt_equal(img, expected_grey(1, 'color'), 'luminance of the 16-bit conversion');
end

function grey_video_frame()
  KorDispatcher(0, 2);
  KorDispatcher(0, 3);
  kt_equal(KorDispatcher(107, 2), expected_grey(2, 'mono'), 'monochrome');
  kt_equal(KorDispatcher(107, 3), expected_grey(3, 'color'), 'colour');
  kt_true(korcamsim('state', 2).streaming, 'the stream runs on');
end

function grey_synchronous()
  KorDispatcher(-1, 1);
  KorDispatcher(-1, 2);
  imgs = KorDispatcher(132);
  kt_equal(size(imgs), [1536 2048 1 2], 'largest size, one page per camera');
  kt_true(isa(imgs, 'uint8'), 'uint8');
  first = expected_grey(1, 'color');
  kt_equal(imgs(1:1024, 1:1280, 1, 1), first, 'camera 1 in the top left');
  kt_true(~any(any(imgs(1025:end, :, 1, 1))) && ~any(any(imgs(:, 1281:end, 1, 1))), 'zero beside camera 1');
  kt_equal(imgs(:, :, 1, 2), expected_grey(2, 'mono'), 'camera 2');
  % a 16-bit camera makes the array uint16; 8-bit values are widened
  KorDispatcher(18, 2, true);
  imgs = KorDispatcher(132, 'ignored', 3);
  kt_equal(imgs(1:1024, 1:1280, 1, 1), uint16(expected_grey(1, 'color')) * 257, 'camera 1 widened');
  kt_equal(imgs(:, :, 1, 2), expected_grey(2, 'mono'), 'camera 2 16-bit');
  KorDispatcher(-2, 2);
  kt_error(@() KorDispatcher(132), 'Must have at least 2 cameras connected to take synchronous snapshots.');
end

function grey_messages()
  kt_error(@() KorDispatcher(107), 'This function requires 1 input parameter.');
  kt_error(@() KorDispatcher(113, 1, 2), 'This function requires 1 input parameter.');
  kt_error(@() KorDispatcher(113, 'a'), 'Parameter 1 must be an integer.');
  kt_error(@() KorDispatcher(107, 1), 'Cannot capture a frame, camera 1 is not connected.');
  kt_error(@() KorDispatcher(113, 11), 'Invalid camera nubmer.');
  kt_error(@() KorDispatcher(113, 4), 'Not enough cameras connected.');
  kt_error(@() KorDispatcher(113, 1), 'Cannot take snapshot, camera 1 is not connected.');
  KorDispatcher(-1, 1);
  kt_error(@() KorDispatcher(107, 1), 'Cannot capture a frame, not previewing.');
  kt_error(@() KorDispatcher(132), 'Must have at least 2 cameras connected to take synchronous snapshots.');
  % the codes beside them do nothing
  korcamsim('calls', 'clear');
  for code = [106 108 112 114 131 133]
    KorDispatcher(code, 1);
  end
  kt_equal(numel(kt_calls()), 0, 'no SDK call for a code without a command');
end

% KorCamera's ReturnedColorSpace chooses the grey codes; syncSnapshot takes
% the colour space as its argument.
function korcamera_color_space()
  cam = KorCamera(2);
  kt_equal(cam.ReturnedColorSpace, 'rgb', 'default');
  kt_equal(size(cam.snapshot()), [1536 2048 3], 'rgb snapshot');
  cam.ReturnedColorSpace = 'Grayscale';
  kt_equal(cam.ReturnedColorSpace, 'grayscale', 'any letter case, kept in lower case');
  img = cam.snapshot();
  kt_equal(img, expected_grey(2, 'mono'), 'grey snapshot');
  cam.preview();
  kt_equal(cam.videoFrame(), expected_grey(2, 'mono'), 'grey video frame');
  cam.stopPreview();
  other = KorCamera(3);
  kt_equal(size(KorCamera.syncSnapshot('grayscale')), [1536 2048 1 2], 'grey synchronous snapshots');
  kt_equal(size(KorCamera.syncSnapshot()), [1536 2048 3 2], 'rgb by default');
  try
    cam.ReturnedColorSpace = 'gray';
    error('test:noError', 'no error');
  catch err
    kt_equal(err.identifier, 'KorCamera:invalidColorSpace');
  end
  kt_equal(cam.ReturnedColorSpace, 'grayscale', 'unchanged after a refused value');
  try
    KorCamera.syncSnapshot(3);
    error('test:noError', 'no error');
  catch err
    kt_equal(err.identifier, 'KorCamera:invalidColorSpace');
  end
  delete(other);
  delete(cam);
end
