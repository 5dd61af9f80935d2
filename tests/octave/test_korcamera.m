function cases = test_korcamera()
% The named API KorCamera: every gateway command reached through it with the
% right parameters, its results, the gateway's errors passed on unchanged, the
% connection's lifetime and the help text.
  cases = {
    'every command code through its method or property',   @every_code_reachable
    'the table covers all 77 codes and the documented ones', @table_covers_codes
    'gateway errors: identifier, text first, then what to do', @errors_identified
    'not connected: the same errors as the gateway',       @not_connected_errors_unchanged
    'vector properties check their element count',         @element_counts
    'stored exposure and gain read as last set or default', @stored_exposure_and_gain
    'stored settings reach the next snapshot',             @stored_settings_reach_snapshot
    'the 16-bit choice belongs to synchronous snapshots',  @sync_snapshot_16bit
    'a synchronous snapshot the sensor cannot give: why', @sync_snapshot_16bit_refused
    'delete and clear disconnect the camera they own',     @delete_disconnects
    'delete never raises; an unreachable camera warns',    @delete_never_raises
    'an object disconnects only what it connected',        @ownership
    'reset closes what lost objects and unplugging left',  @reset_closes_everything
    'property returns value and flags',                    @property_value_and_flags
    'display and settings show every readable setting',    @display_and_settings
    'info lists attached cameras and leaves them as found', @info_lists_cameras
    'info: the model table is the adaptor''s',             @info_model_table
    'every method has help naming its command code',       @method_help
    'every property has help; no helper among the methods', @property_help_and_methods
  };
end

% One row per command code: code, name (method or property, for the help
% check), setup (runs before recording, camera 1 connected as the object C),
% action (on C), the one KorDispatcher call it must make, expected result
% ('-' no output, '?' any output, a function handle that must return true,
% or the value itself).
function t = command_table()
  format = struct('width', 1280, 'height', 1024, 'xOffset', 0, 'yOffset', 0, 'xBinSub', 1, 'yBinSub', 1, ...
                  'xFlags', 0, 'yFlags', 0, 'pixelFormat', 0, 'frameRate', 7.5);
  none = @(c) [];
  t = {
    -2, 'disconnect',         none,                      @(c) c.disconnect(),             {-2, 1},      '-'
    -1, 'connect',            @(c) c.disconnect(),       @(c) c.connect(),                {-1, 1},      '-'
     0, 'preview',            none,                      @(c) c.preview(),                {0, 1},       '-'
     1, 'stopPreview',        @(c) c.preview(),          @(c) c.stopPreview(),            {1, 1},       '-'
     2, 'FrameSize',          none,                      @(c) assign(c, 'FrameSize', [640 480]), {2, 1, 640, 480}, '-'
     3, 'FrameRate',          none,                      @(c) assign(c, 'FrameRate', 7.5), {3, 1, 7.5}, '-'
     4, 'frameRates',         none,                      @(c) c.frameRates(),             {4, 1},       [3.75 7.5 15 30]
     5, 'showPropertyPage',   none,                      @(c) c.showPropertyPage(),       {5, 1},       '-'
     6, 'Connected',          none,                      @(c) c.Connected,                {6, 1},       true
     7, 'videoFrame',         @(c) c.preview(),          @(c) c.videoFrame(),             {7, 1},       @(img) isequal(size(img), [1024 1280 3]) && isa(img, 'uint8')
     8, 'Offset',             none,                      @(c) c.Offset,                   {8, 1},       [0; 0]
     9, 'Offset',             @(c) assign(c, 'FrameSize', [640 480]), @(c) assign(c, 'Offset', [16 8]), {9, 1, 16, 8}, '-'
    10, 'Video16Bit',         none,                      @(c) assign(c, 'Video16Bit', false), {10, 1, false}, '-'
    11, 'Video16Bit',         none,                      @(c) c.Video16Bit,               {11, 1},      false
    12, 'FrameSize',          none,                      @(c) c.FrameSize,                {12, 1},      [1280; 1024]
    13, 'snapshot',           none,                      @(c) c.snapshot(),               {13, 1},      @(img) isequal(size(img), [1024 1280 3]) && isa(img, 'uint8')
    14, 'exposureRange',      none,                      @(c) c.exposureRange(),          {14, 1},      @is_range
    15, 'SnapshotExposure',   none,                      @(c) assign(c, 'SnapshotExposure', 20), {15, 1, 20}, '-'
    16, 'gainRange',          none,                      @(c) c.gainRange(),              {16, 1},      @is_range
    17, 'SnapshotGain',       none,                      @(c) assign(c, 'SnapshotGain', 2), {17, 1, 2}, '-'
    18, 'SyncSnapshot16Bit',  none,                      @(c) assign(c, 'SyncSnapshot16Bit', true), {18, 1, true}, '-'
    19, 'SyncSnapshot16Bit',  none,                      @(c) c.SyncSnapshot16Bit,        {19, 1},      false
    20, 'SnapshotColorGains', none,                      @(c) assign(c, 'SnapshotColorGains', [1.5 2 2.5 3]), {20, 1, 1.5, 2, 2.5, 3}, '-'
    21, 'SnapshotColorGains', none,                      @(c) c.SnapshotColorGains,       {21, 1},      [1; 1; 1; 1]
    22, 'SnapshotStrobe',     none,                      @(c) assign(c, 'SnapshotStrobe', true), {22, 1, true}, '-'
    23, 'SnapshotStrobe',     none,                      @(c) c.SnapshotStrobe,           {23, 1},      false
    24, 'SnapshotStrobeDelay', none,                     @(c) assign(c, 'SnapshotStrobeDelay', 3), {24, 1, 3}, '-'
    25, 'SnapshotStrobeDelay', none,                     @(c) c.SnapshotStrobeDelay,      {25, 1},      0
    26, 'SnapshotHardwareTrigger', none,                 @(c) assign(c, 'SnapshotHardwareTrigger', true), {26, 1, true}, '-'
    27, 'SnapshotHardwareTrigger', none,                 @(c) c.SnapshotHardwareTrigger,  {27, 1},      false
    28, 'LiveGain',           none,                      @(c) assign(c, 'LiveGain', 2), {28, 1, 2},   '-'
    29, 'LiveGain',           none,                      @(c) c.LiveGain,                 {29, 1},      @is_real_scalar
    30, 'LiveExposure',       none,                      @(c) assign(c, 'LiveExposure', 10), {30, 1, 10}, '-'
    31, 'LiveExposure',       none,                      @(c) c.LiveExposure,             {31, 1},      @is_real_scalar
    32, 'syncSnapshot',       @(c) KorDispatcher(-1, 2), @(c) KorCamera.syncSnapshot(),   {32},         @(imgs) size(imgs, 4) == 2
    33, 'FrameRate',          none,                      @(c) c.FrameRate,                {33, 1},      15
    34, 'gpio',               @(c) c.writeGpo(5),        @(c) c.gpio(),                   {34, 1},      @(g) isequal(size(g), [1 2]) && g(1) == 5
    35, 'writeGpo',           none,                      @(c) c.writeGpo(5),              {35, 1, 5},   '-'
    36, 'selectGpo',          none,                      @(c) c.selectGpo(3),             {36, 1, 3},   '-'
    % Codes 36 and 61 are one command; the method uses 36.
    61, 'selectGpo',          none,                      @(c) c.selectGpo(3),             {36, 1, 3},   '-'
    37, 'count',              none,                      @(c) KorCamera.count(),          {37},         3
    38, 'list',               none,                      @(c) KorCamera.list(),           {38},         @(v) isstruct(v) && isequal(size(v), [3 1])
    39, 'property',           none,                      @(c) c.property(81),             {39, 1, 81},  1280
    40, 'setProperty',        none,                      @(c) c.setProperty(5, 2),        {40, 1, 5, 2, 0}, '-'
    41, 'Gamma',              none,                      @(c) c.Gamma,                    {41, 1},      @is_real_scalar
    42, 'Gamma',              none,                      @(c) assign(c, 'Gamma', 1.5),    {42, 1, 1.5}, '-'
    43, 'Contrast',           none,                      @(c) c.Contrast,                 {43, 1},      @is_real_scalar
    44, 'Contrast',           none,                      @(c) assign(c, 'Contrast', 3),   {44, 1, 3},   '-'
    45, 'Brightness',         none,                      @(c) c.Brightness,               {45, 1},      @is_real_scalar
    46, 'Brightness',         none,                      @(c) assign(c, 'Brightness', 4), {46, 1, 4},   '-'
    47, 'Hue',                none,                      @(c) c.Hue,                      {47, 1},      @is_real_scalar
    48, 'Hue',                none,                      @(c) assign(c, 'Hue', 5),        {48, 1, 5},   '-'
    49, 'Saturation',         none,                      @(c) c.Saturation,               {49, 1},      @is_real_scalar
    50, 'Saturation',         none,                      @(c) assign(c, 'Saturation', 6), {50, 1, 6},   '-'
    51, 'propertyRange',      none,                      @(c) c.propertyRange(0),         {51, 1, 0},   @is_range
    52, 'gammaRange',         none,                      @(c) c.gammaRange(),             {52, 1},      @is_range
    53, 'contrastRange',      none,                      @(c) c.contrastRange(),          {53, 1},      @is_range
    54, 'brightnessRange',    none,                      @(c) c.brightnessRange(),        {54, 1},      @is_range
    55, 'hueRange',           none,                      @(c) c.hueRange(),               {55, 1},      @is_range
    56, 'saturationRange',    none,                      @(c) c.saturationRange(),        {56, 1},      @is_range
    57, 'versions',           none,                      @(c) c.versions(),               {57, 1},      @(v) isstruct(v) && isscalar(v) && isfield(v, 'SN')
    58, 'UsbInterface',       none,                      @(c) c.UsbInterface,             {58, 1},      'USB2'
    59, 'CameraId',           none,                      @(c) c.CameraId,                 {59, 1},      145
    60, 'PixelDepth',         none,                      @(c) c.PixelDepth,               {60, 1},      @is_real_scalar
    62, 'FrameFormat',        none,                      @(c) c.FrameFormat,              {62, 1},      @(f) isstruct(f) && f.width == 1280 && f.frameRate == 15
    63, 'FrameFormat',        none,                      @(c) assign(c, 'FrameFormat', format), {63, 1, format}, '-'
    64, 'oneShotAutoExposure', none,                     @(c) c.oneShotAutoExposure(128, 0, 0, 640, 480), {64, 1, 128, 0, 0, 640, 480}, '-'
    65, 'oneShotAutoWhiteBalance', none,                 @(c) c.oneShotAutoWhiteBalance(1, 2, 3, 4), {65, 1, 1, 2, 3, 4}, '-'
    66, 'oneShotAutoWhiteBalanceEx', none,               @(c) c.oneShotAutoWhiteBalanceEx(0.1, 0.2, 1, 2, 3, 4), {66, 1, 0.1, 0.2, 1, 2, 3, 4}, '-'
    67, 'digitalWhiteBalance', none,                     @(c) c.digitalWhiteBalance(1, 2, 3, 4), {67, 1, 1, 2, 3, 4}, '-'
    68, 'digitalWhiteBalanceEx', none,                   @(c) c.digitalWhiteBalanceEx(0.5, 0.25, 1, 2, 3, 4), {68, 1, 0.5, 0.25, 1, 2, 3, 4}, '-'
    69, 'initAutoLens',       none,                      @(c) c.initAutoLens(true),       {69, 1, true}, '-'
    70, 'oneShotAutoIris',    none,                      @(c) c.oneShotAutoIris(1, 2, 3, 4, 5), {70, 1, 1, 2, 3, 4, 5}, '-'
    71, 'startAutoFocus',     none,                      @(c) c.startAutoFocus(1, 2, 3, 4, 5, 6, 7, 8, 9), {71, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9}, '-'
    72, 'waitAutoFocus',      none,                      @(c) c.waitAutoFocus(100),       {72, 1, 100}, '-'
    73, 'stopAutoFocus',      none,                      @(c) c.stopAutoFocus(),          {73, 1},      '-'
    74, 'autoFocusProgress',  none,                      @(c) c.autoFocusProgress(),      {74, 1},      @is_real_scalar
  };
end

function tf = is_range(r)
  tf = isa(r, 'double') && isequal(size(r), [2 1]) && r(1) <= r(2);
end

function tf = is_real_scalar(v)
  tf = isa(v, 'double') && isscalar(v) && isreal(v);
end

function assign(object, name, value)
  object.(name) = value;
end

% Each row runs on a fresh gateway with camera 1 connected through KorCamera,
% and must make exactly its one gateway call.
function every_code_reachable()
  t = command_table();
  recorder = gateway_recorder();
  for i = 1:rows(t)
    [code, ~, setup, action, expected, result] = t{i, :};
    recorder.fresh();
    cam = KorCamera(1);
    setup(cam);
    recorder.start();
    if ischar(result) && strcmp(result, '-')
      action(cam);
    else
      out = action(cam);
    end
    calls = recorder.stop();
    % The synchronous snapshot first reads each camera's connection, stored
    % 16-bit mode and pixel depth; nothing else may come before a row's call.
    if code == 32
      before = cellfun(@(c) c{1}, calls(1:end - 1));
      kt_true(all(ismember(before, [6 19 37 60])), 'code 32: only queries before it, got %s', mat2str(before));
      calls = calls(end);
    end
    kt_equal(numel(calls), 1, 'code %d: calls made', code);
    kt_true(isequal(calls{1}, expected), 'code %d: call %s, expected %s', code, show_call(calls{1}), ...
            show_call(expected));
    if is_function_handle(result)
      kt_true(result(out), 'code %d: result', code);
    elseif ~ischar(result) || ~any(strcmp(result, {'-', '?'}))
      kt_equal(out, result, 'code %d: result', code);
    end
    clear cam out;
  end
end

function table_covers_codes()
  t = command_table();
  kt_equal(sort([t{:, 1}]), -2:74, 'one row per command code');
  % The help of each row's method, or the class help line of its property,
  % names the command code the row reaches.
  classHelp = strsplit(help_text('KorCamera'), "\n");
  for i = 1:rows(t)
    [code, name, ~, ~, call] = t{i, :};
    called = call{1};
    if ismember(name, methods('KorCamera'))
      text = help_text(['KorCamera.' name]);
    else
      text = strjoin(classHelp(~cellfun(@isempty, regexp(classHelp, ['(?<!\w)' name '(?!\w)']))), "\n");
      kt_true(~isempty(text), 'property %s listed in the class help', name);
    end
    kt_true(~isempty(regexp(text, sprintf('(?<![-\\d])%d(?!\\d)', called), 'once')), ...
            'help of %s names code %d', name, called);
    if code ~= called
      kt_true(~isempty(regexp(text, sprintf('(?<![-\\d])%d(?!\\d)', code), 'once')), ...
              'help of %s names code %d too', name, code);
    end
  end
end

% Each row: the call, the gateway's text, the identifier, and what the
% message must say after the text ('' when the text says it all and stands
% alone).
function errors_identified()
  cam = KorCamera(1);
  t = {
    @() KorCamera(11),                          'Invalid camera nubmer.',          'invalidCamera',   'from 1 to 10'
    @() KorCamera(4),                           'Not enough cameras connected.',   'notEnoughCameras', 'counts 3 camera.*KorCamera\.reset\(\)'
    @() KorCamera('one'),                       'Parameter 1 must be an integer.', 'invalidCamera',   'from 1 to 10'
    @() KorCamera(1),                           'Camera 1 already connected.',     'alreadyConnected', 'in ans.*KorDispatcher\(-1, 1\).*KorCamera\.reset\(\)'
    @() assign(cam, 'FrameRate', int32(5)),     'Parameter 2 must be a double.',   'wrongClass',      'FrameRate takes a double'
    @() assign(cam, 'FrameRate', 5),            'Failed to set frame rate.',       'invalidValue',    'accepts 3\.75, 7\.5, 15 and 30 frames per second'
    @() assign(cam, 'Video16Bit', 1),           'Parameter 2 must be a logical.',  'wrongClass',      'Video16Bit takes a logical value: true or false'
    @() assign(cam, 'SnapshotStrobe', 1),       'Parameter 2 must be a logical.',  'wrongClass',      'SnapshotStrobe takes a logical value'
    @() assign(cam, 'FrameSize', [4096 480]),   'Invalid resolution selected.',    'invalidValue',    'sensor is 1280 x 1024: FrameSize can be at most \[1280 1024\]'
    @() assign(cam, 'FrameSize', {640, 'a'}),   'Parameters 1, 2, and 3 must be integers.', 'wrongClass', 'FrameSize takes whole numbers'
    @() assign(cam, 'Offset', [-1 0]),          'Offsets need to be positive.',    'invalidValue',    ''
    @() assign(cam, 'Offset', [10 10]),         'Failed to set the new offset. Offset may be invalid.', 'invalidValue', '1280 x 1024 on a 1280 x 1024 sensor the largest offset is \[0 0\]'
    @() assign(cam, 'SnapshotExposure', -1),    'Exposure must be a non-negative number.', 'invalidValue', ''
    @() assign(cam, 'SnapshotColorGains', [1 -1 1 1]), 'Green1 gain must be a non-negative number.', 'invalidValue', ''
    @() assign(cam, 'FrameFormat', 5),          'Parameter 2 must be a frame format structure.', 'wrongClass', 'structure that cam.FrameFormat returns'
    @() cam.writeGpo(256),                      'GPO value should be less than 256.', 'invalidValue', ''
    @() cam.selectGpo(-1),                      'Enable value should not be negative.', 'invalidValue', ''
    @() cam.property('x'),                      'Parameter 2 must be an integer.', 'wrongClass',      'property takes whole numbers'
    @() cam.setProperty(int8(5), 1),            'Parameter 2 must be a double.',   'wrongClass',      'setProperty takes a double'
    @() cam.oneShotAutoExposure(1, 2),          'This function requires 6 input parameters.', 'argumentCount', 'oneShotAutoExposure takes 5 values'
    @() cam.startAutoFocus(1, 2, 3, 4, 5, 6, 7, 8, 9, 10), 'This function requires 10 input parameters.', 'argumentCount', 'startAutoFocus takes 9 values'
    @() cam.initAutoLens(),                     'This function requires 2 input parameter.', 'argumentCount', 'initAutoLens takes 1 value\.'
    @() cam.initAutoLens(1),                    'Parameter 2 must be a boolean.',  'wrongClass',      'initAutoLens takes a logical value'
    @() cam.videoFrame(),                       'Cannot capture a frame, not previewing.', 'notPreviewing', 'cam\.preview\(\)'
    @() cam.stopPreview(),                      'Preview for camera 1 is already closed.', 'notPreviewing', ''
    @() KorCamera.syncSnapshot(),               'Must have at least 2 cameras connected to take synchronous snapshots.', 'tooFewConnected', 'KorCamera\(2\)'
  };
  for i = 1:rows(t)
    korcamera_error(t{i, 1}, t{i, 2}, t{i, 3}, t{i, 4}, 'row %d', i);
  end
  cam.preview();
  korcamera_error(@() cam.preview(), ...
                  "Camera may already be previewing. Stop the preview before calling this function.\n", ...
                  'alreadyPreviewing', '');
  cam.stopPreview();
  korcamsim('fail', 'KorcamTakeSnapshot', 19);
  korcamera_error(@() cam.snapshot(), 'Snapshot timed out.', 'cameraFailure', '');
  korcamsim('fail');
  cam.disconnect();
  korcamera_error(@() cam.FrameRate, 'Cannot list frame rates, camera 1 not connected.', 'notConnected', ...
                  'cam\.connect\(\), or cam = KorCamera\(1\)');
  korcamera_error(@() cam.LiveGain, 'Cannot get gain, camera 1 is not connected.', 'notConnected', 'cam\.connect\(\)');
  korcamera_error(@() cam.disconnect(), 'Camera 1 is already disconnected.', 'notConnected', '');
  korcamsim('fail', 'KorcamCameraOpen', 5);
  korcamera_error(@() cam.connect(), "An error has occured while opening a connection to the camera.\n", ...
                  'cameraFailure', 'Check the cable');
  korcamsim('fail');
  korcamsim('count', 0);
  korcamera_error(@() KorCamera.list(), 'No cameras attached to computer.', 'noCamera', '');
  korcamera_error(@() cam.Connected, 'Not enough cameras connected.', 'notEnoughCameras', 'counts 0 camera');
end

% FN raises through KorCamera what the gateway raised, TEXT exactly, with
% the identifier KorCamera:ID; the message starts with the text (its final
% line feed included where the host keeps one) and goes on with a remedy
% matching REMEDY, or is the text alone when REMEDY is empty.
function korcamera_error(fn, text, id, remedy, varargin)
  where = kt_label(varargin{:});
  [err, raw, fromMex] = kt_raised(fn, text, where);
  kt_true(fromMex, '%sthe gateway raised no error: %s', where, err.message);
  % The gateway raised TEXT; later queries for the remedy raised nothing.
  kt_true(strcmp(raw, text), '%sgateway raised "%s", expected "%s"', where, raw, text);
  kt_equal(err.identifier, ['KorCamera:' id], '%sidentifier', where);
  shown = regexprep(text, '\n$', '');
  kt_true(strncmp(err.message, shown, numel(shown)), '%smessage "%s" does not start with "%s"', where, ...
          err.message, shown);
  rest = err.message(numel(shown) + 1:end);
  if isempty(remedy)
    kt_true(isempty(rest), '%snothing after the gateway''s text, got "%s"', where, rest);
  else
    kt_true(~isempty(regexp(rest, '^\s+\S', 'once')) && ~isempty(regexp(rest, remedy, 'once')), ...
            '%sremedy "%s" missing in "%s"', where, remedy, err.message);
  end
end

% With camera 1 disconnected, every command reached through KorCamera raises
% exactly what the same direct KorDispatcher call raises (or succeeds when it
% does).
function not_connected_errors_unchanged()
  t = command_table();
  recorder = gateway_recorder();
  for i = 1:rows(t)
    [code, ~, ~, action, call, result] = t{i, :};
    recorder.fresh();
    cam = KorCamera(1);
    cam.disconnect();
    direct = outcome(@() KorDispatcher(call{:}));
    clear cam;
    recorder.fresh();
    cam = KorCamera(1);
    cam.disconnect();
    if ischar(result) && strcmp(result, '-')
      named = outcome(@() action(cam));
    else
      named = outcome(@() discard(action(cam)));
    end
    kt_equal(named, direct, 'code %d', code);
    clear cam;
  end
end

function discard(varargin)
end

% 'ok', or the raw text of the gateway error that FN raised.
function result = outcome(fn)
  [~, before] = mexspy();
  try
    fn();
    result = 'ok';
  catch err
    [raw, after] = mexspy();
    if after == before
      error('not a gateway error: %s', err.message);
    end
    result = raw;
  end
end

function element_counts()
  cam = KorCamera(1);
  korcamsim('calls', 'clear');
  t = {
    'FrameSize',          [640 480 1],  'FrameSize takes 2 elements, [width height].'
    'FrameSize',          640,          'FrameSize takes 2 elements, [width height].'
    'Offset',             [],           'Offset takes 2 elements, [x y].'
    'SnapshotColorGains', [1 1 1],      'SnapshotColorGains takes 4 elements, [red green1 green2 blue].'
  };
  for i = 1:rows(t)
    try
      assign(cam, t{i, 1}, t{i, 2});
      error('%s = %s was accepted', t{i, 1}, mat2str(t{i, 2}));
    catch err
      kt_equal(err.identifier, 'KorCamera:elementCount', '%s identifier', t{i, 1});
      kt_equal(err.message, t{i, 3}, '%s message', t{i, 1});
    end
  end
  kt_equal(numel(kt_calls()), 0, 'the gateway is not called');
  % a column works as well as a row
  cam.FrameSize = [640; 480];
  kt_equal(cam.FrameSize, [640; 480]);
end

% The gateway cannot read back the stored exposure and gain: they read as
% this object last set them (as the 32-bit float the gateway holds), else
% as the connect defaults, and a new connection brings the defaults back.
function stored_exposure_and_gain()
  cam = KorCamera(1);
  kt_equal([cam.SnapshotExposure cam.SnapshotGain], [1 1], 'connect defaults');
  korcamsim('calls', 'clear');
  cam.SnapshotExposure = 20;
  cam.SnapshotGain = 0.1;
  kt_equal([cam.SnapshotExposure cam.SnapshotGain], [20 double(single(0.1))], 'as last set');
  cam.snapshot();
  s = korcamsim('state', 1).snapshot;
  kt_equal([cam.SnapshotExposure cam.SnapshotGain], double([s.exposure s.gain]), 'what the snapshot used');
  kt_error(@() assign(cam, 'SnapshotExposure', -1), 'Exposure must be a non-negative number.');
  kt_equal(cam.SnapshotExposure, 20, 'a refused value is not remembered');
  cam.disconnect();
  cam.connect();
  kt_equal([cam.SnapshotExposure cam.SnapshotGain], [1 1], 'defaults again after connecting');
  % Every property reads without error, so the object converts to a structure.
  kt_equal(struct(cam).Number, 1);
end

% Snapshot* values stay in the gateway until a snapshot hands them to the
% camera; Live* values reach the camera at once.
function stored_settings_reach_snapshot()
  cam = KorCamera(1);
  cam.SnapshotExposure = 20;
  cam.SnapshotGain = 3;
  cam.SnapshotColorGains = [1.5 2 2.5 3];
  cam.SnapshotStrobe = true;
  cam.SnapshotStrobeDelay = 4;
  cam.SnapshotHardwareTrigger = true;
  kt_equal(numel(kt_calls('KorcamSetProperty')), 0, 'stored settings do not reach the camera');
  kt_equal(cam.SnapshotColorGains, [1.5; 2; 2.5; 3]);
  kt_equal([cam.SnapshotStrobe cam.SnapshotHardwareTrigger], [true true]);
  kt_equal(cam.SnapshotStrobeDelay, 4);
  % The virtual camera waits for a trigger that never comes: the snapshot
  % times out (at once, unpaced), still carrying every stored setting.
  korcamsim('pace', false);
  kt_error(@() cam.snapshot(), 'Snapshot timed out.');
  s = korcamsim('state', 1).snapshot;
  kt_equal(double([s.exposure s.gain s.redGain s.green1Gain s.green2Gain s.blueGain]), [20 3 1.5 2 2.5 3]);
  kt_equal(double([s.strobe s.strobeDelay s.trigger]), [1 4 1]);
  cam.SnapshotHardwareTrigger = false;
  cam.snapshot();
  kt_equal(double(korcamsim('state', 1).snapshot.trigger), 0, 'trigger off');

  korcamsim('calls', 'clear');
  cam.LiveExposure = 12;
  cam.LiveGain = 2;
  kt_equal(numel(kt_calls('KorcamSetProperty')), 2, 'live values reach the camera at once');
  kt_equal([cam.LiveExposure cam.LiveGain], [12 2]);
  cam.Gamma = 1.25;
  kt_equal(cam.Gamma, 1.25);
  cam.FrameRate = 30;
  kt_equal(cam.FrameRate, 30);
  cam.FrameSize = [800 600];
  cam.Offset = [8 4];
  kt_equal([cam.FrameSize; cam.Offset], [800; 600; 8; 4]);
  kt_equal(size(cam.snapshot()), [600 800 3], 'a snapshot of the new region');
end

function delete_disconnects()
  cam = KorCamera(1);
  delete(cam);
  kt_equal(KorDispatcher(6, 1), false, 'delete');
  kt_true(~korcamsim('state', 1).open, 'camera closed');

  cam = KorCamera(2);
  cam.preview();
  clear cam;
  kt_equal(KorDispatcher(6, 2), false, 'clear');
  s = korcamsim('state', 2);
  kt_true(~s.open && ~s.streaming && ~s.window, 'preview stopped and camera closed');

  % a preview started on a disconnected object connects the camera, and the
  % object owns that connection
  cam = KorCamera(3);
  cam.disconnect();
  cam.preview();
  kt_equal(cam.Connected, true, 'preview connected');
  delete(cam);
  kt_equal(KorDispatcher(6, 3), false, 'deleted after preview');

  cam = KorCamera(1);
  cam.disconnect();
  cam.connect();
  clear cam;
  kt_equal(KorDispatcher(6, 1), false, 'reconnected object');
end

function delete_never_raises()
  cam = KorCamera(1);
  cam.disconnect();
  kt_error(@() cam.disconnect(), 'Camera 1 is already disconnected.');
  delete(cam);

  cam = KorCamera(1);
  KorDispatcher(-2, 1);
  delete(cam);

  cam = KorCamera(2);
  korcamsim('count', 1);
  delete(cam);
  korcamsim('count');
  kt_equal(KorDispatcher(6, 2), true, 'camera 2 could not be reached, so it stays connected');

  cam = KorCamera(3);
  clear -f KorDispatcher;
  clear cam;
end

function ownership()
  a = KorCamera(1);
  a.disconnect();
  b = KorCamera(1);
  delete(a);
  kt_equal(b.Connected, true, 'a disconnected object leaves the next owner alone');

  % A constructor refused by the gateway does not disturb the camera
  korcamera_error(@() KorCamera(1), 'Camera 1 already connected.', 'alreadyConnected', 'KorCamera\.reset\(\)');
  kt_equal(b.Connected, true, 'refused constructor');
  KorDispatcher(-2, 1);
  KorDispatcher(-1, 1);
  korcamera_error(@() KorCamera(1), 'Camera 1 already connected.', 'alreadyConnected', 'KorCamera\.reset\(\)');
  kt_equal(KorDispatcher(6, 1), true, 'a camera connected directly stays connected');
  kt_equal(b.Number, 1);
  try
    KorCamera();
    error('KorCamera() without a number was accepted');
  catch err
    kt_equal(err.identifier, 'KorCamera:usage');
  end
end

function property_value_and_flags()
  cam = KorCamera(2);
  korcamsim('set', 2, 80, 0, -2147483648);
  [value, flags] = cam.property(80);
  kt_equal([value flags], KorDispatcher(39, 2, 80), 'value and flags as the gateway returns them');
  kt_equal(flags, -2147483648);
  cam.setProperty(5, 2, 9);
  kt_equal(KorDispatcher(39, 2, 5), [2 9], 'setProperty passes the flags');
  kt_equal(cam.Number, 2);
end

function display_and_settings()
  cam = KorCamera(2);
  cam.SnapshotGain = 2;
  cam.SnapshotStrobeDelay = 3;
  s = cam.settings();
  kt_true(isequal(get(cam), s), 'get(cam) is settings()');
  kt_equal(get(cam, 'FrameRate'), cam.FrameRate, 'get(cam, name)');
  readable = {'Number', 'Connected', 'CameraId', 'PixelDepth', 'UsbInterface', 'FrameSize', 'Offset', ...
              'FrameRate', 'Video16Bit', 'FrameFormat', 'LiveExposure', 'LiveGain', 'Gamma', 'Contrast', ...
              'Brightness', 'Hue', 'Saturation', 'SnapshotExposure', 'SnapshotGain', 'SyncSnapshot16Bit', ...
              'SnapshotColorGains', 'SnapshotStrobe', 'SnapshotStrobeDelay', 'SnapshotHardwareTrigger', ...
              'ReturnedColorSpace'};
  kt_equal(sort(fieldnames(s)), sort(readable(:)), 'one field per readable property');
  kt_true(isempty(setdiff(properties(cam), fieldnames(s))), 'no public property left out');
  kt_equal([s.Number s.CameraId s.PixelDepth s.SnapshotGain s.SnapshotStrobeDelay], [2 hex2dec('18C') 12 2 3]);
  kt_equal(s.FrameSize, [2048; 1536]);

  text = evalc('cam');
  kt_true(~isempty(strfind(text, 'KorCamera 2: connected')), 'shown: %s', text);
  for name = readable
    kt_true(~isempty(regexp(text, ['\n\s+' name{1} '\s'], 'once')), '%s shown', name{1});
  end
  kt_true(~isempty(regexp(text, 'FrameSize\s+\[2048 1536\]', 'once')), 'a vector shown: %s', text);
  kt_true(~isempty(regexp(text, 'SnapshotExposure\s+1\s+\(connect default; the gateway cannot read it back\)', ...
                          'once')), 'stored exposure marked as the default: %s', text);
  kt_true(~isempty(regexp(text, 'SnapshotGain\s+2\s+\(as last set here; the gateway cannot read it back\)', ...
                          'once')), 'stored gain marked as last set: %s', text);

  cam.disconnect();
  kt_true(~isempty(strfind(evalc('disp(cam)'), 'KorCamera 2: not connected')), 'disconnected');
  try
    cam.settings();
    error('settings of a disconnected camera');
  catch err
    kt_equal(err.identifier, 'KorCamera:notConnected');
  end
  cam.connect();
  korcamsim('count', 1);
  kt_true(~isempty(strfind(evalc('disp(cam)'), 'KorCamera 2: Not enough cameras connected.')), 'gone');
end

function sync_snapshot_16bit()
  kt_true(~ismember('Snapshot16Bit', properties('KorCamera')), 'the misleading name is gone');
  a = KorCamera(1);
  b = KorCamera(2);
  b.SyncSnapshot16Bit = true;
  kt_equal(b.SyncSnapshot16Bit, true);
  kt_true(isa(KorCamera.syncSnapshot(), 'uint16'), 'a synchronous snapshot honours it');
  kt_equal(b.SyncSnapshot16Bit, true, 'and keeps it');
  % A single snapshot takes the live format's depth and copies it in.
  kt_true(isa(b.snapshot(), 'uint8'), 'a single snapshot follows Video16Bit');
  kt_equal(b.SyncSnapshot16Bit, false);
  b.Video16Bit = true;
  kt_true(isa(b.snapshot(), 'uint16'), 'Video16Bit makes 16-bit snapshots');
end

function sync_snapshot_16bit_refused()
  a = KorCamera(1);
  c = KorCamera(3);
  c.SyncSnapshot16Bit = true;
  korcamsim('calls', 'clear');
  try
    KorCamera.syncSnapshot();
    error('an 8-bit camera took a 16-bit synchronous snapshot');
  catch err
    kt_equal(err.identifier, 'KorCamera:no16BitSamples', err.message);
    kt_true(~isempty(regexp(err.message, '^Camera 3 .*8-bit samples.*SyncSnapshot16Bit = false', 'once')), ...
            err.message);
  end
  kt_equal(numel(kt_calls('KorcamEnableSynchronousSnapshots')), 0, 'refused before the gateway call');
  % The gateway alone could only say that enabling failed.
  kt_error(@() KorDispatcher(32), 'Failed to enable synchronous snapshots.');
  c.SyncSnapshot16Bit = false;
  kt_equal(size(KorCamera.syncSnapshot(), 4), 2);
end

function info_lists_cameras()
  a = KorCamera(1);
  a.preview();
  a.FrameSize = [640 480];
  KorDispatcher(-1, 3);
  korcamsim('calls', 'clear');
  text = evalc('KorCamera.info()');
  rows_ = {'1\s+0x91\s+KX-A01\s+1280 x 1024\s+colour\s+8-bit\s+yes'
           '2\s+0x18C\s+KX-A05\s+2048 x 1536\s+mono\s+12-bit\s+no'
           '3\s+0x7777\s+unknown model\s+640 x 480\s+colour\s+8-bit\s+yes'};
  for i = 1:numel(rows_)
    kt_true(~isempty(regexp(text, rows_{i}, 'once')), 'row %d in:\n%s', i, text);
  end
  opened = kt_calls('KorcamCameraOpen');
  kt_equal([opened.camera], 2, 'only the camera not connected is opened');
  kt_equal(numel(kt_calls('KorcamCameraClose')), 1, 'and closed again');
  kt_equal([KorDispatcher(6, 1) KorDispatcher(6, 2) KorDispatcher(6, 3)], [true false true], 'left as found');
  s = korcamsim('state', 1);
  kt_true(s.streaming && s.window, 'the preview of camera 1 still runs');
  kt_equal(a.FrameSize, [640; 480], 'the format of camera 1 unchanged');

  cameras = KorCamera.info();
  kt_equal(size(cameras), [3 1]);
  kt_equal({cameras.Model}, {'KX-A01', 'KX-A05', ''});
  kt_equal([cameras.CameraId], [hex2dec('91') hex2dec('18C') hex2dec('7777')]);
  kt_equal([cameras.Color], [true false true]);
  kt_equal([cameras.SensorSize], [1280 2048 640; 1024 1536 480]);
  kt_equal([cameras.PixelDepth], [8 12 8]);
  kt_equal([cameras.Connected], [true false true]);

  % A camera that cannot be opened is listed with a note.
  korcamsim('fail', 'KorcamCameraOpen', 5);
  cameras = KorCamera.info();
  kt_true(isempty(cameras(2).CameraId) && ~isempty(strfind(cameras(2).Note, 'opening a connection')), ...
          'note: %s', cameras(2).Note);
  kt_true(~isempty(regexp(evalc('KorCamera.info()'), '2\s+\?\s+\?.*Camera 2: An error has occured', 'once')), ...
          'the note is printed');
  korcamsim('fail');
  korcamsim('count', 0);
  kt_true(~isempty(strfind(evalc('KorCamera.info()'), 'No camera attached.')), 'no camera');
  kt_equal(size(KorCamera.info()), [0 1]);
end

% The adaptor's catalogue and KorCamera.info() name the same models.
function info_model_table()
  root = fileparts(fileparts(which('KorCamera')));
  source = fileread(fullfile(root, 'adaptor', 'camera_models.def'));
  rows_ = regexp(source, 'KORCAM_CAMERA_MODEL\(0x([0-9A-Fa-f]+), "(KX-[^"]+)"\)', 'tokens');
  kt_true(numel(rows_) == 34, 'the adaptor''s table read: %d rows', numel(rows_));
  for i = 1:numel(rows_)
    id = hex2dec(rows_{i}{1});
    korcamsim('rig', struct('id', id));
    cameras = KorCamera.info();
    kt_equal(cameras(1).Model, rows_{i}{2}, 'id 0x%s', rows_{i}{1});
  end
  korcamsim('rig', struct('id', 1));
  kt_equal(KorCamera.info().Model, '', 'an unknown id');
end

function reset_closes_everything()
  % An object left in ans holds camera 1; a camera unplugged while connected
  % holds camera 2.
  evalin('base', 'KorCamera(1);');
  b = KorCamera(2);
  b.preview();
  korcamsim('count', 1);
  lastwarn('');
  delete(b);
  [text, id] = lastwarn();
  kt_equal(id, 'KorCamera:notDisconnected', 'an unreachable camera warns');
  kt_true(~isempty(strfind(text, 'KorCamera.reset()')), text);
  korcamsim('count');
  korcamera_error(@() KorCamera(1), 'Camera 1 already connected.', 'alreadyConnected', 'KorCamera\.reset\(\)');
  korcamera_error(@() KorCamera(2), 'Camera 2 already connected.', 'alreadyConnected', 'KorCamera\.reset\(\)');

  KorCamera.reset();
  for n = 1:3
    s = korcamsim('state', n);
    kt_true(~s.open && ~s.streaming && ~s.window, 'camera %d closed, its preview stopped', n);
  end
  c1 = KorCamera(1);
  c2 = KorCamera(2);
  % Objects from before the reset leave the new connections alone.
  evalin('base', 'clear ans');
  kt_equal([KorDispatcher(6, 1) c1.Connected c2.Connected], [true true true]);
  delete(c2);
  kt_equal(KorDispatcher(6, 2), false, 'new objects still disconnect');
end

function method_help()
  % The constructor's help is the class help, checked below. Octave's help
  % finds its own delete and info before the class's, so those are read from
  % the class file.
  names = setdiff(methods('KorCamera'), {'KorCamera'});
  for i = 1:numel(names)
    if any(strcmp(names{i}, {'delete', 'info'}))
      source = fileread(which('KorCamera'));
      text = regexp(source, ['function (\w+ = )?' names{i} '\(\w*\)\s*\n((?:\s*%[^\n]*\n)+)'], 'tokens', 'once');
      kt_true(~isempty(text), '%s has a help block', names{i});
      text = text(end);
      text = regexprep(text{1}, '^\s*% ?', '', 'lineanchors');
    else
      text = help_text(['KorCamera.' names{i}]);
    end
    kt_true(~isempty(regexp(text, ['^\s*' upper(names{i}) '\s'], 'once')), '%s: help starts with its name', ...
            names{i});
    kt_true(~isempty(regexpi(text, 'command code|no command code', 'once')), '%s: help names its code', names{i});
  end
  kt_true(~isempty(strfind(evalc('help KorCamera.snapshot'), 'Command code 13.')), 'help KorCamera.snapshot');
  classHelp = help_text('KorCamera');
  for word = {'Snapshot* properties are the gateway''s stored', 'LiveExposure', 'KorCamera.syncSnapshot()'}
    kt_true(~isempty(strfind(classHelp, word{1})), 'class help has "%s"', word{1});
  end
end

% MATLAB shows the comment above a property as its help (Octave 7 has no
% property help; the class help lists them all).
function property_help_and_methods()
  source = strsplit(fileread(which('KorCamera')), "\n");
  names = properties('KorCamera');
  kt_true(numel(names) >= 24, 'public properties: %d', numel(names));
  for i = 1:numel(names)
    at = find(~cellfun(@isempty, regexp(source, ['^\s+' names{i} '(\s*=.*)?\s*$'])), 1);
    kt_true(~isempty(at), '%s declared', names{i});
    kt_true(~isempty(regexp(source{at - 1}, '^\s+%', 'once')), '%s has a comment above it', names{i});
    first = at - 1;
    while ~isempty(regexp(source{first - 1}, '^\s+%', 'once'))
      first = first - 1;
    end
    kt_true(~isempty(regexp(source{first}, ['^\s+% ' upper(names{i}) '  \S'], 'once')), ...
            '%s: help starts with its name: %s', names{i}, source{first});
  end
  documented = {'KorCamera', 'autoFocusProgress', 'brightnessRange', 'connect', 'contrastRange', 'count', ...
                'delete', 'digitalWhiteBalance', 'digitalWhiteBalanceEx', 'disconnect', 'disp', ...
                'exposureRange', 'frameRates', 'gainRange', 'gammaRange', 'get', 'gpio', 'hueRange', 'info', ...
                'initAutoLens', 'list', 'oneShotAutoExposure', 'oneShotAutoIris', 'oneShotAutoWhiteBalance', ...
                'oneShotAutoWhiteBalanceEx', 'preview', 'property', 'propertyRange', 'reset', 'saturationRange', ...
                'selectGpo', 'setProperty', 'settings', 'showPropertyPage', 'snapshot', 'startAutoFocus', ...
                'stopAutoFocus', 'stopPreview', 'syncSnapshot', 'versions', 'videoFrame', 'waitAutoFocus', ...
                'writeGpo'};
  listed = methods('KorCamera');
  % A newer host may add handle-class methods of its own.
  kt_equal(setdiff(listed(:), [documented(:); methods('handle')]), cell(0, 1), 'only documented methods listed');
  classHelp = help_text('KorCamera');
  for i = 1:numel(documented)
    if ~any(strcmp(documented{i}, {'KorCamera', 'delete', 'disp'}))
      kt_true(~isempty(regexp(classHelp, ['\W' documented{i} '\W'], 'once')), 'class help names %s', documented{i});
    end
  end
end

function text = help_text(topic)
  text = get_help_text(topic);
end

function text = show_call(call)
  parts = cellfun(@(v) mat2str_any(v), call, 'UniformOutput', false);
  text = ['(' strjoin(parts, ', ') ')'];
end

function s = mat2str_any(v)
  if isstruct(v)
    s = '<struct>';
  else
    s = mat2str(v);
  end
end

% Puts a recording KorDispatcher.m in front of the gateway: it logs every
% call's arguments and forwards them to a copy of the gateway loaded under
% another name, so each row sees the exact calls KorCamera makes.
function r = gateway_recorder()
  global KT_GATEWAY_CALLS
  KT_GATEWAY_CALLS = [];
  gateway = which('KorDispatcher');
  folder = tempname();
  mkdir(folder);
  copyfile(gateway, fullfile(folder, 'KorDispatcherRecorded.mex'));
  fid = fopen(fullfile(folder, 'KorDispatcher.m'), 'w');
  fprintf(fid, '%s\n', ...
          'function varargout = KorDispatcher(varargin)', ...
          '  global KT_GATEWAY_CALLS', ...
          '  if iscell(KT_GATEWAY_CALLS), KT_GATEWAY_CALLS{end + 1} = varargin; end', ...
          '  [varargout{1:nargout}] = KorDispatcherRecorded(varargin{:});', ...
          'end');
  fclose(fid);
  addpath(folder);
  kt_true(strcmp(which('KorDispatcher'), fullfile(folder, 'KorDispatcher.m')), 'recorder in front of the gateway');
  r.fresh = @() fresh_recorded_gateway();
  r.start = @() start_recording();
  r.stop = @() stop_recording();
  r.cleanup = onCleanup(@() remove_recorder(folder));
end

function fresh_recorded_gateway()
  global KT_GATEWAY_CALLS
  KT_GATEWAY_CALLS = [];
  clear -f KorDispatcherRecorded;
  korcamsim('reset');
end

function start_recording()
  global KT_GATEWAY_CALLS
  KT_GATEWAY_CALLS = {};
end

function calls = stop_recording()
  global KT_GATEWAY_CALLS
  calls = KT_GATEWAY_CALLS;
  KT_GATEWAY_CALLS = [];
end

function remove_recorder(folder)
  clear -f KorDispatcherRecorded KorDispatcher;
  rmpath(folder);
  confirm_recursive_rmdir(false, 'local');
  rmdir(folder, 's');
end
