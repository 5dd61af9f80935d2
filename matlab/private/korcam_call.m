function varargout = korcam_call(what, varargin)
% KORCAM_CALL  Call KorDispatcher for KorCamera and give its errors an identifier and a remedy.
%   [OUT...] = KORCAM_CALL(WHAT, CODE, ARGS...) calls KorDispatcher(CODE,
%   ARGS...). WHAT names the property or method on whose behalf the call is
%   made; it appears in the remedy. A gateway error is raised again with an
%   identifier KorCamera:<what went wrong> and a message that starts with the
%   gateway's own text, unchanged, followed by what to do where the gateway's
%   text does not say.
  try
    [varargout{1:nargout}] = KorDispatcher(varargin{:});
  catch err
    text = korcam_gateway_text(err);
    [id, remedy] = diagnose(text, what, varargin);
    if isempty(remedy)
      message = text;
    elseif ~isempty(text) && text(end) == char(10)
      message = [text remedy];
    else
      message = [text ' ' remedy];
    end
    error(id, '%s', message);
  end
end

function [id, remedy] = diagnose(text, what, args)
  code = args{1};
  camera = [];
  if numel(args) >= 2 && isnumeric(args{2}) && isscalar(args{2})
    camera = args{2};
  end
  remedy = '';
  if matches(text, '^Camera \d+ already connected\.')
    id = 'KorCamera:alreadyConnected';
    remedy = sprintf(['Another KorCamera object holds it (one left in a variable, in ans or in another ' ...
                      'workspace, or one made before the camera was unplugged), or a direct ' ...
                      'KorDispatcher(-1, %d) call opened it: delete that object, or call KorCamera.reset() ' ...
                      'to close every camera the gateway holds.'], camera);
  elseif matches(text, '^Not enough cameras connected\.')
    id = 'KorCamera:notEnoughCameras';
    remedy = sprintf(['Camera %d is not attached: the SDK counts %d camera(s) (KorCamera.info() lists them). ' ...
                      'If it was unplugged while connected, plug it in again and call KorCamera.reset().'], ...
                     camera, attached_count());
  elseif matches(text, '^Invalid camera nubmer\.') || matches(text, '^Parameter 1 must be an integer\.')
    id = 'KorCamera:invalidCamera';
    remedy = 'Camera numbers are whole numbers from 1 to 10.';
  elseif matches(text, 'is not connected\.|camera \d+ not connected\.')
    id = 'KorCamera:notConnected';
    remedy = sprintf('Connect it first: cam.connect(), or cam = KorCamera(%d).', camera);
  elseif matches(text, 'already disconnected\.')
    id = 'KorCamera:notConnected';
  elseif matches(text, 'must be (a|an) (double|logical|boolean|integer)\.|must be integers\.')
    id = 'KorCamera:wrongClass';
    remedy = class_remedy(text, what);
  elseif matches(text, 'frame format structure')
    id = 'KorCamera:wrongClass';
    remedy = sprintf(['%s takes the structure that cam.FrameFormat returns (fields width, height, xOffset, ' ...
                      'yOffset, xBinSub, yBinSub, xFlags, yFlags, pixelFormat, frameRate), with real ' ...
                      'numeric scalars.'], what);
  elseif matches(text, '^This functions? requires \d+ input param')
    id = 'KorCamera:argumentCount';
    values = str2double(regexp(text, '\d+', 'match', 'once')) - 1;
    if values == 1
      remedy = sprintf('%s takes 1 value.', what);
    else
      remedy = sprintf('%s takes %d values.', what, values);
    end
  elseif matches(text, '^Failed to set frame rate\.')
    id = 'KorCamera:invalidValue';
    remedy = rate_remedy(camera);
  elseif matches(text, '^Failed to set the new offset\.')
    id = 'KorCamera:invalidValue';
    remedy = offset_remedy(camera);
  elseif matches(text, '^Invalid resolution selected\.')
    id = 'KorCamera:invalidValue';
    remedy = size_remedy(camera);
  elseif matches(text, 'non-negative|should be less than|should not be negative|need to be positive')
    id = 'KorCamera:invalidValue';
  elseif matches(text, '^Cannot capture a frame, not previewing\.')
    id = 'KorCamera:notPreviewing';
    remedy = 'Start the live preview first: cam.preview().';
  elseif matches(text, '^Preview for camera \d+ is already closed\.')
    id = 'KorCamera:notPreviewing';
  elseif matches(text, '^Camera may already be previewing\.')
    id = 'KorCamera:alreadyPreviewing';
  elseif matches(text, '^Must have at least 2 cameras connected')
    id = 'KorCamera:tooFewConnected';
    remedy = 'Connect two or more cameras first, e.g. c1 = KorCamera(1); c2 = KorCamera(2);';
  elseif matches(text, '^No cameras attached to computer\.')
    id = 'KorCamera:noCamera';
  elseif matches(text, 'memory')
    id = 'KorCamera:outOfMemory';
    remedy = 'Free memory, or make the frame smaller (FrameSize).';
  else
    id = 'KorCamera:cameraFailure';
  end
  if code == -1 && strcmp(id, 'KorCamera:cameraFailure')
    remedy = 'Check the cable and that no other program (the acquisition adaptor included) has the camera open.';
  end
end

function tf = matches(text, pattern)
  tf = ~isempty(regexp(text, pattern, 'once'));
end

function remedy = class_remedy(text, what)
  if matches(text, 'logical|boolean')
    remedy = sprintf('%s takes a logical value: true or false.', what);
  elseif matches(text, 'double')
    remedy = sprintf('%s takes a double value, e.g. double(x).', what);
  else
    remedy = sprintf('%s takes whole numbers.', what);
  end
end

function remedy = rate_remedy(camera)
  remedy = '';
  try
    rates = KorDispatcher(4, camera);
  catch
    return;
  end
  if isempty(rates), return; end
  texts = arrayfun(@(r) sprintf('%g', r), rates, 'UniformOutput', false);
  if numel(texts) > 1
    list = [strjoin(texts(1:end - 1), ', ') ' and ' texts{end}];
  else
    list = texts{1};
  end
  remedy = sprintf('Camera %d accepts %s frames per second (cam.frameRates()).', camera, list);
end

function remedy = offset_remedy(camera)
  remedy = '';
  try
    frame = KorDispatcher(12, camera);
    sensor = sensor_size(camera);
  catch
    return;
  end
  largest = max(sensor(:) - frame(:), 0);
  remedy = sprintf(['At the current frame size of %d x %d on a %d x %d sensor the largest offset is ' ...
                    '[%d %d]; make FrameSize smaller first to move the region further.'], ...
                   frame(1), frame(2), sensor(1), sensor(2), largest(1), largest(2));
end

function remedy = size_remedy(camera)
  remedy = '';
  try
    sensor = sensor_size(camera);
  catch
    return;
  end
  remedy = sprintf('The sensor is %d x %d: FrameSize can be at most [%d %d].', sensor(1), sensor(2), ...
                   sensor(1), sensor(2));
end

function sensor = sensor_size(camera)
  width = KorDispatcher(39, camera, 81);
  height = KorDispatcher(39, camera, 82);
  sensor = [width(1); height(1)];
end

function n = attached_count()
  try
    n = KorDispatcher(37);
  catch
    n = -1;
  end
end
