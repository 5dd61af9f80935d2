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
  % The first row whose pattern the gateway's text matches names the
  % identifier and makes the remedy ('' for none) from the text, the name of
  % the property or method, and the camera number.
  none = @(varargin) '';
  causes = {
    '^Camera \d+ already connected\.',       'alreadyConnected',  @held_remedy
    '^Not enough cameras connected\.',       'notEnoughCameras',  @attached_remedy
    '^Invalid camera nubmer\.|^Parameter 1 must be an integer\.', 'invalidCamera', ...
        @(varargin) 'Camera numbers are whole numbers from 1 to 10.'
    'is not connected\.|camera \d+ not connected\.', 'notConnected', ...
        @(t, w, n) sprintf('Connect it first: cam.connect(), or cam = KorCamera(%d).', n)
    'already disconnected\.',                'notConnected',      none
    'must be (a|an) (double|logical|boolean|integer)\.|must be integers\.', 'wrongClass', @class_remedy
    'frame format structure',                'wrongClass',        @format_remedy
    '^This functions? requires \d+ input param', 'argumentCount', @count_remedy
    '^Failed to set frame rate\.',           'invalidValue',      @rate_remedy
    '^Failed to set the new offset\.',       'invalidValue',      @offset_remedy
    '^Invalid resolution selected\.',        'invalidValue',      @size_remedy
    'non-negative|should be less than|should not be negative|need to be positive', 'invalidValue', none
    '^Cannot capture a frame, not previewing\.', 'notPreviewing', ...
        @(varargin) 'Start the live preview first: cam.preview().'
    '^Preview for camera \d+ is already closed\.', 'notPreviewing', none
    '^Camera may already be previewing\.',   'alreadyPreviewing', none
    '^Must have at least 2 cameras connected', 'tooFewConnected', ...
        @(varargin) 'Connect two or more cameras first, e.g. c1 = KorCamera(1); c2 = KorCamera(2);'
    '^No cameras attached to computer\.',    'noCamera',          none
    'memory',                                'outOfMemory', ...
        @(varargin) 'Free memory, or make the frame smaller (FrameSize).'
    '',                                      'cameraFailure',     none
  };
  for i = 1:size(causes, 1)
    if isempty(causes{i, 1}) || matches(text, causes{i, 1})
      break;
    end
  end
  id = ['KorCamera:' causes{i, 2}];
  make = causes{i, 3};
  remedy = make(text, what, camera);
  if code == -1 && strcmp(id, 'KorCamera:cameraFailure')
    remedy = 'Check the cable and that no other program (the acquisition adaptor included) has the camera open.';
  end
end

function remedy = held_remedy(~, ~, camera)
  remedy = sprintf(['Another KorCamera object holds it (one left in a variable, in ans or in another ' ...
                    'workspace, or one made before the camera was unplugged), or a direct ' ...
                    'KorDispatcher(-1, %d) call opened it: delete that object, or call KorCamera.reset() ' ...
                    'to close every camera the gateway holds.'], camera);
end

function remedy = attached_remedy(~, ~, camera)
  remedy = sprintf(['Camera %d is not attached: the SDK counts %d camera(s) (KorCamera.info() lists them). ' ...
                    'If it was unplugged while connected, plug it in again and call KorCamera.reset().'], ...
                   camera, attached_count());
end

function remedy = format_remedy(~, what, ~)
  remedy = sprintf(['%s takes the structure that cam.FrameFormat returns (fields width, height, xOffset, ' ...
                    'yOffset, xBinSub, yBinSub, xFlags, yFlags, pixelFormat, frameRate), with real ' ...
                    'numeric scalars.'], what);
end

function remedy = count_remedy(text, what, ~)
  % The gateway counts the camera number among the parameters.
  values = str2double(regexp(text, '\d+', 'match', 'once')) - 1;
  if values == 1
    remedy = sprintf('%s takes 1 value.', what);
  else
    remedy = sprintf('%s takes %d values.', what, values);
  end
end

function tf = matches(text, pattern)
  tf = ~isempty(regexp(text, pattern, 'once'));
end

function remedy = class_remedy(text, what, ~)
  if matches(text, 'logical|boolean')
    remedy = sprintf('%s takes a logical value: true or false.', what);
  elseif matches(text, 'double')
    remedy = sprintf('%s takes a double value, e.g. double(x).', what);
  else
    remedy = sprintf('%s takes whole numbers.', what);
  end
end

function remedy = rate_remedy(~, ~, camera)
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

function remedy = offset_remedy(~, ~, camera)
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

function remedy = size_remedy(~, ~, camera)
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
