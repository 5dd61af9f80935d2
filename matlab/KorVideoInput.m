classdef KorVideoInput < handle
% KORVIDEOINPUT  Time-stamped frame sequences from a camera, without the toolbox.
%
%   VID = KORVIDEOINPUT(ID) makes a video input object for camera ID (a
%   DeviceID of KorVideoInput.hwinfo()) in its default format;
%   KORVIDEOINPUT(ID, FORMAT) in one of its SupportedFormats, e.g. '640x480'.
%   Making the object does not open the camera: START or GETSNAPSHOT does.
%   The object drives the acquisition adaptor korviximaq through the MEX
%   file korvideoinput, which loads the adaptor library built beside it (or
%   the one the environment variable KORVIDEOINPUT_ADAPTOR names).
%
%   Properties (read-only):
%     DeviceID           the camera's number in the catalogue
%     VideoFormat        the format, e.g. '1280x1024'
%     VideoResolution    [width height] of the format
%     FramesAcquired     frames logged since the last START
%     FramesAvailable    frames logged and not yet taken by GETDATA
%     Running            true while acquiring (from START to its end or STOP)
%     Logging            true from a trigger until its last frame is logged
%     TriggerType        'immediate' or 'manual' (set with TRIGGERCONFIG)
%     TriggersExecuted   triggers fired since START
%     InitialTriggerTime clock vector of the first trigger since START, [] before it
%     EventLog           the newest 1000 events since START, oldest first:
%                        Type 'Start', 'Trigger', 'Stop' or 'Error', and Data
%                        with AbsTime, FrameNumber, RelativeFrame, TriggerIndex
%                        (and Message, MessageID for 'Error')
%     DiskLoggerFrameCount pages written to DiskLogger's file since START
%   Properties (read and write; not while running):
%     FramesPerTrigger   frames logged per trigger (default 10; Inf: until STOP)
%     FrameGrabInterval  log every N-th frame the camera takes (default 1)
%     TriggerRepeat      triggers after the first (default 0; Inf: until STOP)
%     TriggerFrameDelay  frames the camera takes after each trigger that are
%                        not logged (default 0)
%     ReturnedColorSpace 'rgb' (default) or 'grayscale': one page per frame,
%                        a monochrome camera's own samples or a colour
%                        camera's luminance, held at a third of the memory
%     ROIPosition        [x y width height], offsets from the image's top-left
%                        corner, counted from 0 (default: the whole image)
%     LoggingMode        'memory' (default: frames for GETDATA), 'disk' (frames
%                        to DiskLogger's file only; GETDATA and PEEKDATA raise
%                        KorVideoInput:notLoggingToMemory) or 'disk&memory'
%     DiskLogger         the file each START writes in the modes with 'disk':
%                        a name ending in .tif or .tiff that does not exist yet
%     DiskLoggerCompression 'none' (default) or 'deflate' (lossless)
%   Properties (read and write at any time):
%     Timeout            seconds GETDATA waits without a new frame, and the
%                        default time of WAIT (default 10)
%     Name               default FORMAT-korviximaq-ID, e.g. '640x480-korviximaq-1'
%     Tag                '' unless set
%     UserData           [] unless set; Name, Tag and UserData are the user's own
%
%   Methods: start stop trigger triggerconfig triggerinfo wait isrunning
%   islogging getdata peekdata flushdata getsnapshot getselectedsource get
%   disp delete. Static: KorVideoInput.hwinfo(), KorVideoInput.memoryLimit(),
%   KorVideoInput.readLog(file).
%   An unknown property name raises KorVideoInput:noProperty, listing the
%   valid ones.
%
%   An acquisition logs FramesPerTrigger x (TriggerRepeat + 1) frames and
%   ends by itself (with Inf in either, it runs until STOP). With the
%   'immediate' trigger (the default) the first trigger fires at START and
%   each further one as soon as the previous trigger's frames are logged;
%   with TRIGGERCONFIG(VID, 'manual') each fires at TRIGGER(VID). Frames the
%   camera takes while waiting for a trigger are neither logged nor counted.
%
%   START clears the frames still logged. Frames are logged in memory up to
%   KorVideoInput.memoryLimit() bytes over all objects (1 GiB unless changed);
%   reaching it stops the acquisition with the error KorVideoInput:outOfMemory,
%   raised by the next WAIT, GETDATA or START. An error of the adaptor while
%   acquiring (e.g. an unplugged camera) stops the acquisition the same way,
%   with the adaptor's identifier and text and a line saying what it most
%   likely means. Frames logged before either stay available. After an error
%   of the adaptor the camera is closed and opened again by the next START
%   or GETSNAPSHOT.
%
%   Recording to disk: with LoggingMode 'disk' or 'disk&memory', each START
%   writes one multi-page TIFF file (BigTIFF), DiskLogger, one page per frame
%   in logging order: 8-bit RGB, or grey with ReturnedColorSpace
%   'grayscale', the same pixels GETDATA returns. Each page's ImageDescription
%   is that frame's metadata as one line of JSON (Time, AbsTime, FrameNumber,
%   RelativeFrame, TriggerIndex); the first page's also holds how the
%   acquisition was taken (camera, format, ROI, trigger, device properties,
%   start time, Name, Tag). START refuses a file that exists
%   (KorVideoInput:fileExists), cannot be created
%   (KorVideoInput:cannotCreateFile), or is not named
%   (KorVideoInput:noDiskLogger). Frames wait for the disk in a queue that
%   counts against KorVideoInput.memoryLimit(); WAIT returns when the file is
%   written and closed. A disk slower than the camera stops the acquisition
%   with KorVideoInput:diskLoggerBehind, a write that fails with
%   KorVideoInput:diskWriteFailed (raised by the next WAIT, GETDATA or START,
%   each naming the frames not written); the frames before stay in the file.
%   A run that logs no frame leaves no file. KorVideoInput.readLog reads a
%   file back.
%
%   A camera serves one object at a time: while one object acquires, another
%   object's START or GETSNAPSHOT on that camera, or making one for it, raises
%   KorVideoInput:cameraInUse. An idle object gives the camera up to another.
%
%   Example:
%     hw = KorVideoInput.hwinfo();
%     vid = KorVideoInput(hw(1).DeviceID, '640x480');
%     src = getselectedsource(vid);
%     src.Exposure = 20;
%     vid.FramesPerTrigger = 30;
%     start(vid);
%     [frames, t] = getdata(vid);    % 480x640x3x30 uint8, 30x1 seconds since the trigger
%     delete(vid)
%
%   See also KorVideoInput/getdata, KorVideoInput/trigger, KorVideoSource, KorCamera.

  properties (Dependent, SetAccess = private)
    DeviceID
    VideoFormat
    VideoResolution
    FramesAcquired
    FramesAvailable
    Running
    Logging
    TriggerType
    TriggersExecuted
    InitialTriggerTime
    EventLog
    DiskLoggerFrameCount
  end

  properties (Dependent)
    FramesPerTrigger
    FrameGrabInterval
    TriggerRepeat
    TriggerFrameDelay
    ReturnedColorSpace
    ROIPosition
    Timeout
    LoggingMode
    DiskLogger
    DiskLoggerCompression
  end

  properties
    Name = '';
    Tag = '';
    UserData = [];
  end

  properties (Access = private)
    Handle = [];
    Source = [];
  end

  methods
    function obj = KorVideoInput(id, format)
      if nargin < 1
        error('KorVideoInput:noDevice', ...
              'Give the camera''s DeviceID, e.g. KorVideoInput(1); KorVideoInput.hwinfo() lists them.');
      end
      if nargin < 2
        obj.Handle = KorVideoInput.call('create', id);
      else
        obj.Handle = KorVideoInput.call('create', id, format);
      end
      obj.Name = sprintf('%s-korviximaq-%d', obj.VideoFormat, obj.DeviceID);
    end

    function delete(obj)
    % DELETE(VID) stops the acquisition, closes the camera and releases it.
    % Clearing the last reference does the same. Never raises.
      if isempty(obj.Handle)
        return;
      end
      % The handle stays: a later call finds no object and says so.
      try
        korvideoinput('delete', obj.Handle);
      catch
      end
    end

    function start(obj)
    % START(VID) opens the camera if it is not open and starts an acquisition
    % of FramesPerTrigger x (TriggerRepeat + 1) frames; it returns at once.
    % With the 'immediate' trigger the first trigger fires now; with
    % 'manual' the object waits for TRIGGER(VID). The frames still logged
    % are cleared, and FramesAcquired counts from 0. An error that stopped
    % the previous acquisition is raised here if neither WAIT nor GETDATA
    % raised it. With LoggingMode 'disk' or 'disk&memory' it first creates
    % the file DiskLogger (never over one that exists). In 'memory' mode it
    % warns (KorVideoInput:exceedsMemoryLimit) when the memory limit cannot
    % hold the frames asked for.
      KorVideoInput.call('start', obj.Handle, KorVideoInput.textOf(obj.Name), KorVideoInput.textOf(obj.Tag));
    end

    function stop(obj)
    % STOP(VID) stops the acquisition; when it returns, no further frame can
    % arrive. The frames logged stay available.
      KorVideoInput.call('stop', obj.Handle);
    end

    function trigger(obj)
    % TRIGGER(VID) fires a manual trigger: the next FramesPerTrigger frames
    % (after TriggerFrameDelay, every FrameGrabInterval-th) are logged as
    % this trigger's. It returns at once. Refused with
    % KorVideoInput:notRunning when the object is not running,
    % KorVideoInput:notManualTrigger when TriggerType is not 'manual', and
    % KorVideoInput:alreadyLogging while the previous trigger's frames are
    % still being logged, checked in that order.
    %
    %   triggerconfig(vid, 'manual'); vid.TriggerRepeat = Inf; start(vid);
    %   trigger(vid); frames = getdata(vid);   % once per trial
      KorVideoInput.call('trigger', obj.Handle);
    end

    function config = triggerconfig(obj, type, condition, source)
    % TRIGGERCONFIG(VID, TYPE) sets the trigger type: 'immediate' (the
    % default: the trigger fires at START) or 'manual' (it fires at each
    % TRIGGER(VID)). TRIGGERCONFIG(VID, TYPE, 'none', 'none') and
    % TRIGGERCONFIG(VID, S), S a struct with fields TriggerType,
    % TriggerCondition and TriggerSource, do the same. C = TRIGGERCONFIG(VID)
    % is that struct for the current configuration. Any other
    % configuration ('hardware' included: the adaptor offers none) raises
    % KorVideoInput:badTrigger; a change while running
    % KorVideoInput:readOnlyWhileRunning.
      if nargin == 1
        config = struct('TriggerType', obj.TriggerType, 'TriggerCondition', 'none', 'TriggerSource', 'none');
        return;
      end
      if isstruct(type)
        if nargin ~= 2 || ~isscalar(type) || ~all(isfield(type, {'TriggerType', 'TriggerCondition', 'TriggerSource'}))
          KorVideoInput.badTrigger('a struct without the fields TriggerType, TriggerCondition and TriggerSource');
        end
        condition = type.TriggerCondition;
        source = type.TriggerSource;
        type = type.TriggerType;
      elseif nargin == 2
        condition = 'none';
        source = 'none';
      elseif nargin ~= 4
        KorVideoInput.badTrigger('a type and a condition without a source');
      end
      if ~ischar(type) || ~ischar(condition) || ~ischar(source)
        KorVideoInput.badTrigger('not texts');
      end
      if ~strcmp(condition, 'none') || ~strcmp(source, 'none')
        KorVideoInput.badTrigger(sprintf('''%s'', ''%s'', ''%s''', type, condition, source));
      end
      KorVideoInput.call('set', obj.Handle, 'TriggerType', type);
      if nargout > 0
        config = triggerconfig(obj);
      end
    end

    function info = triggerinfo(~)
    % INFO = TRIGGERINFO(VID) lists the valid trigger configurations: a
    % struct array with fields TriggerType, TriggerCondition, TriggerSource.
      info = struct('TriggerType', {'immediate', 'manual'}, 'TriggerCondition', 'none', 'TriggerSource', 'none');
    end

    function tf = isrunning(obj)
    % ISRUNNING(VID) is true while the object acquires.
      tf = KorVideoInput.call('get', obj.Handle, 'Running');
    end

    function tf = islogging(obj)
    % ISLOGGING(VID) is true from a trigger until its last frame is logged.
      tf = KorVideoInput.call('get', obj.Handle, 'Logging');
    end

    function wait(obj, seconds, state)
    % WAIT(VID) returns when the object is no longer running, waiting
    % VID.Timeout seconds at most; WAIT(VID, SECONDS) waits SECONDS at most
    % (Inf: no limit). WAIT(VID, SECONDS, 'logging') returns when Logging is
    % false instead (the default state is 'running'). Raises
    % KorVideoInput:timeout when the time runs out, and the error that
    % stopped the acquisition, if one did. Ctrl-C ends the wait (not the
    % acquisition). When logging to disk, WAIT returns once every frame is
    % written and the file closed, so that it can be read at once.

      % The wait goes in slices of well under a second, so that Ctrl-C ends it.
      if nargin < 2 || isempty(seconds)
        seconds = obj.Timeout;
      end
      args = {seconds};
      if nargin >= 3
        args{end + 1} = state;
      end
      begun = tic;
      while ~KorVideoInput.call('waitslice', obj.Handle, toc(begun), args{:})
      end
    end

    function [data, time, meta] = getdata(obj, n)
    % [DATA, TIME, META] = GETDATA(VID) takes FramesPerTrigger frames from the
    % log, the oldest first (with FramesPerTrigger Inf: those available, or
    % the next one); GETDATA(VID, N) takes N. It waits until they are
    % available: KorVideoInput:timeout after VID.Timeout seconds without a new
    % frame, and KorVideoInput:notEnoughFrames at once when fewer are
    % available than asked for and the acquisition can no longer give the
    % rest (it is not running, or will end before). Ctrl-C ends the wait.
    %   DATA  uint8 [height width 3 N], each frame the right way up with red,
    %         green and blue pages (height and width from ROIPosition);
    %         [height width 1 N] with ReturnedColorSpace 'grayscale'
    %   TIME  N x 1 seconds since the first trigger, increasing
    %   META  N x 1 struct: AbsTime (clock vector of the frame's time stamp),
    %         FrameNumber (among all frames the camera took since START, so
    %         gaps show frames skipped while waiting for a trigger, by
    %         TriggerFrameDelay or by FrameGrabInterval), RelativeFrame (its
    %         place among its trigger's frames) and TriggerIndex (its trigger)
      args = {'getdata', obj.Handle};
      count = {};
      if nargin >= 2
        args{end + 1} = n;
        count = {n};
      end
      % The wait goes in slices of well under a second, so that Ctrl-C ends it.
      seen = -1;
      idle = tic;
      while true
        [ready, available] = KorVideoInput.call('framesready', obj.Handle, toc(idle), seen, count{:});
        if ready
          break;
        end
        if available ~= seen
          seen = available;
          idle = tic;
        end
      end
      if nargout <= 1
        data = KorVideoInput.call(args{:});
      elseif nargout == 2
        [data, time] = KorVideoInput.call(args{:});
      else
        [data, time, meta] = KorVideoInput.call(args{:});
      end
    end

    function [data, time, meta] = peekdata(obj, n)
    % [DATA, TIME, META] = PEEKDATA(VID, N) is the N newest frames logged,
    % oldest first, as GETDATA returns them, without removing them (the
    % log and FramesAvailable stay as they are) and without waiting: fewer,
    % with the warning KorVideoInput:peekdataFewer, when fewer are logged.
    % A live check while the object runs:
    %   frame = peekdata(vid, 1);
      if nargin < 2
        error('KorVideoInput:badArgument', 'peekdata needs the number of frames, e.g. peekdata(vid, 1).');
      end
      if nargout <= 1
        data = KorVideoInput.call('peekdata', obj.Handle, n);
      elseif nargout == 2
        [data, time] = KorVideoInput.call('peekdata', obj.Handle, n);
      else
        [data, time, meta] = KorVideoInput.call('peekdata', obj.Handle, n);
      end
    end

    function flushdata(obj, mode)
    % FLUSHDATA(VID) removes every logged frame; FLUSHDATA(VID, 'triggers')
    % removes those of the oldest trigger still held. FramesAvailable drops
    % accordingly; FramesAcquired stays.
      if nargin < 2
        KorVideoInput.call('flushdata', obj.Handle);
      else
        KorVideoInput.call('flushdata', obj.Handle, mode);
      end
    end

    function frame = getsnapshot(obj)
    % FRAME = GETSNAPSHOT(VID) is one [height width 3] uint8 frame taken now
    % ([height width] with ReturnedColorSpace 'grayscale'), opening the
    % camera if needed; while running, the newest frame logged (while
    % waiting for a first manual trigger there is none: KorVideoInput:noFrame).
    % It does not touch the log, FramesAcquired or FramesAvailable.
      frame = KorVideoInput.call('getsnapshot', obj.Handle);
    end

    function src = getselectedsource(obj)
    % SRC = GETSELECTEDSOURCE(VID) is the camera's video source, whose
    % properties are the device properties, e.g. SRC.Exposure = 20. The source
    % does not keep VID alive: once VID is deleted (or cleared), using SRC
    % raises KorVideoInput:deleted.
      if isempty(obj.Source)
        obj.Source = KorVideoSource(obj.Handle);
      end
      src = obj.Source;
    end

    function value = get(obj, name)
    % S = GET(VID) is every property as a struct; GET(VID, NAME) one of them.
      if nargin >= 2
        KorVideoInput.checkName(name, KorVideoInput.propertyNames());
        value = obj.(name);
        return;
      end
      value = struct();
      names = KorVideoInput.propertyNames();
      for i = 1:numel(names)
        value.(names{i}) = obj.(names{i});
      end
    end

    function disp(obj)
    % DISP(VID) prints a summary: camera and format, frames per trigger, grab
    % interval, trigger type and count, colour space, the state, frames
    % acquired and available.
      if isempty(obj.Handle) || ~KorVideoInput.exists(obj.Handle)
        fprintf('  KorVideoInput (deleted)\n');
        return;
      end
      if strcmp(obj.TriggerType, 'manual')
        fired = 'each on TRIGGER(vid)';
      else
        fired = 'the first on START';
      end
      fprintf('  KorVideoInput ''%s'': camera %d, format %s\n', obj.Name, obj.DeviceID, obj.VideoFormat);
      fprintf('    Frames:   %s per trigger, grab interval %d, colour space ''%s''\n', ...
              KorVideoInput.count(obj.FramesPerTrigger), obj.FrameGrabInterval, obj.ReturnedColorSpace);
      fprintf('    Triggers: %s ''%s'', %s\n', KorVideoInput.count(obj.TriggerRepeat + 1), obj.TriggerType, fired);
      fprintf('    State:    %s\n', stateText(obj));
      fprintf('              %d frames acquired since START, %d available to GETDATA.\n', ...
              obj.FramesAcquired, obj.FramesAvailable);
      if ~strcmp(obj.LoggingMode, 'memory')
        d = diagnostics(obj);
        fprintf('    Disk:     ''%s'' (%s), %d frames written, %d not written.\n', obj.DiskLogger, ...
                obj.LoggingMode, obj.DiskLoggerFrameCount, d.DiskFramesNotWritten);
      end
    end

    function value = get.DeviceID(obj)
      value = KorVideoInput.call('get', obj.Handle, 'DeviceID');
    end

    function value = get.VideoFormat(obj)
      value = KorVideoInput.call('get', obj.Handle, 'VideoFormat');
    end

    function value = get.VideoResolution(obj)
      value = KorVideoInput.call('get', obj.Handle, 'VideoResolution');
    end

    function value = get.FramesAcquired(obj)
      value = KorVideoInput.call('get', obj.Handle, 'FramesAcquired');
    end

    function value = get.FramesAvailable(obj)
      value = KorVideoInput.call('get', obj.Handle, 'FramesAvailable');
    end

    function value = get.Running(obj)
      value = KorVideoInput.call('get', obj.Handle, 'Running');
    end

    function value = get.Logging(obj)
      value = KorVideoInput.call('get', obj.Handle, 'Logging');
    end

    function value = get.TriggerType(obj)
      value = KorVideoInput.call('get', obj.Handle, 'TriggerType');
    end

    function value = get.TriggersExecuted(obj)
      value = KorVideoInput.call('get', obj.Handle, 'TriggersExecuted');
    end

    function value = get.InitialTriggerTime(obj)
      value = KorVideoInput.call('get', obj.Handle, 'InitialTriggerTime');
    end

    function value = get.EventLog(obj)
      value = KorVideoInput.call('get', obj.Handle, 'EventLog');
    end

    function value = get.DiskLoggerFrameCount(obj)
      value = KorVideoInput.call('get', obj.Handle, 'DiskLoggerFrameCount');
    end

    function value = get.LoggingMode(obj)
      value = KorVideoInput.call('get', obj.Handle, 'LoggingMode');
    end

    function set.LoggingMode(obj, value)
      KorVideoInput.call('set', obj.Handle, 'LoggingMode', value);
    end

    function value = get.DiskLogger(obj)
      value = KorVideoInput.call('get', obj.Handle, 'DiskLogger');
    end

    function set.DiskLogger(obj, value)
      KorVideoInput.call('set', obj.Handle, 'DiskLogger', value);
    end

    function value = get.DiskLoggerCompression(obj)
      value = KorVideoInput.call('get', obj.Handle, 'DiskLoggerCompression');
    end

    function set.DiskLoggerCompression(obj, value)
      KorVideoInput.call('set', obj.Handle, 'DiskLoggerCompression', value);
    end

    function value = get.FramesPerTrigger(obj)
      value = KorVideoInput.call('get', obj.Handle, 'FramesPerTrigger');
    end

    function set.FramesPerTrigger(obj, value)
      KorVideoInput.call('set', obj.Handle, 'FramesPerTrigger', value);
    end

    function value = get.FrameGrabInterval(obj)
      value = KorVideoInput.call('get', obj.Handle, 'FrameGrabInterval');
    end

    function set.FrameGrabInterval(obj, value)
      KorVideoInput.call('set', obj.Handle, 'FrameGrabInterval', value);
    end

    function value = get.TriggerRepeat(obj)
      value = KorVideoInput.call('get', obj.Handle, 'TriggerRepeat');
    end

    function set.TriggerRepeat(obj, value)
      KorVideoInput.call('set', obj.Handle, 'TriggerRepeat', value);
    end

    function value = get.TriggerFrameDelay(obj)
      value = KorVideoInput.call('get', obj.Handle, 'TriggerFrameDelay');
    end

    function set.TriggerFrameDelay(obj, value)
      KorVideoInput.call('set', obj.Handle, 'TriggerFrameDelay', value);
    end

    function value = get.ReturnedColorSpace(obj)
      value = KorVideoInput.call('get', obj.Handle, 'ReturnedColorSpace');
    end

    function set.ReturnedColorSpace(obj, value)
      KorVideoInput.call('set', obj.Handle, 'ReturnedColorSpace', value);
    end

    function value = get.ROIPosition(obj)
      value = KorVideoInput.call('get', obj.Handle, 'ROIPosition');
    end

    function set.ROIPosition(obj, value)
      KorVideoInput.call('set', obj.Handle, 'ROIPosition', value);
    end

    function value = get.Timeout(obj)
      value = KorVideoInput.call('get', obj.Handle, 'Timeout');
    end

    function set.Timeout(obj, value)
      KorVideoInput.call('set', obj.Handle, 'Timeout', value);
    end

    function varargout = subsref(obj, s)
      if strcmp(s(1).type, '.') && ischar(s(1).subs)
        KorVideoInput.checkName(s(1).subs, [KorVideoInput.propertyNames(), KorVideoInput.methodNames()]);
      end
      [varargout{1:nargout}] = builtin('subsref', obj, s);
    end

    function obj = subsasgn(obj, s, value)
      if strcmp(s(1).type, '.') && ischar(s(1).subs)
        KorVideoInput.checkName(s(1).subs, [KorVideoInput.propertyNames(), {'Handle', 'Source'}]);
      end
      obj = builtin('subsasgn', obj, s, value);
    end
  end

  methods (Access = private)
    function text = stateText(obj)
      if obj.Logging
        text = 'Logging data.';
      elseif obj.Running
        text = sprintf('Waiting for TRIGGER %d of %s.', obj.TriggersExecuted + 1, ...
                       KorVideoInput.count(obj.TriggerRepeat + 1));
      elseif isempty(obj.EventLog)
        text = 'Waiting for START.';
      else
        text = 'Not running.';
      end
    end
  end

  methods (Static, Access = private)
    function names = propertyNames()
      names = {'Name', 'Tag', 'UserData', 'DeviceID', 'VideoFormat', 'VideoResolution', 'Running', 'Logging', ...
               'FramesAcquired', 'FramesAvailable', 'FramesPerTrigger', 'FrameGrabInterval', 'TriggerType', ...
               'TriggerRepeat', 'TriggerFrameDelay', 'TriggersExecuted', 'InitialTriggerTime', 'Timeout', ...
               'ReturnedColorSpace', 'ROIPosition', 'EventLog', 'LoggingMode', 'DiskLogger', ...
               'DiskLoggerCompression', 'DiskLoggerFrameCount'};
    end

    function names = methodNames()
      names = {'start', 'stop', 'trigger', 'triggerconfig', 'triggerinfo', 'wait', 'isrunning', 'islogging', ...
               'getdata', 'peekdata', 'flushdata', 'getsnapshot', 'getselectedsource', 'get', 'disp', 'delete', ...
               'diagnostics', 'isvalid', 'Handle', 'Source'};
    end

    function checkName(name, valid)
      if ~ischar(name) || ~any(strcmp(name, valid))
        error('KorVideoInput:noProperty', 'A video input has no property ''%s''. Its properties are: %s.', ...
              char(name), strjoin(KorVideoInput.propertyNames(), ', '));
      end
    end

    function badTrigger(given)
      error('KorVideoInput:badTrigger', ['The trigger configuration (%s) is not offered. The valid ' ...
            'configurations (TriggerType, TriggerCondition, TriggerSource) are: ''immediate'', ''none'', ' ...
            '''none'' and ''manual'', ''none'', ''none''; e.g. triggerconfig(vid, ''manual'').'], given);
    end

    function text = textOf(value)
      % Name and Tag as the file records them: '' for what is not text.
      if ischar(value) && (isempty(value) || isrow(value))
        text = value;
      else
        text = '';
      end
    end

    function text = count(n)
      if isinf(n)
        text = 'Inf';
      else
        text = sprintf('%d', n);
      end
    end
  end

  methods (Static)
    function hw = hwinfo()
    % HW = KORVIDEOINPUT.HWINFO() is the adaptor's catalogue: a 1 x N struct
    % array, one element per camera, with fields DeviceID, DeviceName,
    % SupportedFormats (cell of texts) and DefaultFormat ('' when none).
      hw = KorVideoInput.call('hwinfo');
    end

    function varargout = readLog(file, frames)
    % [DATA, TIME, META] = KORVIDEOINPUT.READLOG(FILE) reads a file written
    % with LoggingMode 'disk' or 'disk&memory' back as GETDATA returns its
    % frames: DATA uint8 [height width 3 N] ([height width 1 N] for grey
    % pages), TIME N x 1 seconds from the first trigger, META N x 1 struct
    % with AbsTime, FrameNumber, RelativeFrame and TriggerIndex.
    % READLOG(FILE, FRAMES) reads the pages FRAMES only, e.g. 1:10 or [1 N].
    % [TIME, META] = KORVIDEOINPUT.READLOG(FILE, 'times') reads every page's
    % time and metadata without its pixels.
    % INFO = KORVIDEOINPUT.READLOG(FILE, 'info') is how the acquisition was
    % taken (from the first page): Camera (Name, DeviceID), VideoFormat,
    % VideoResolution, ROIPosition, ReturnedColorSpace, FrameGrabInterval,
    % Trigger, DeviceProperties, StartTime, Name, Tag, and Pages.
      info = imfinfo(file);
      pages = numel(info);
      if nargin >= 2 && ischar(frames) && strcmp(frames, 'times')
        [time, meta] = KorVideoInput.pagesMeta(info, 1:pages);
        varargout = {time, meta};
        return;
      end
      if nargin >= 2 && ischar(frames)
        if ~strcmp(frames, 'info')
          error('KorVideoInput:badArgument', ['readLog takes the pages to read, e.g. readLog(file, 1:10), ' ...
                '''times'' for the times and metadata alone, or ''info'' for how the acquisition was taken.']);
        end
        first = KorVideoInput.pageMeta(info(1));
        if ~isfield(first, 'Provenance')
          error('KorVideoInput:notALog', 'The file %s was not written by KorVideoInput (no account of the run).', file);
        end
        out = first.Provenance;
        out.Pages = pages;
        varargout = {out};
        return;
      end
      if nargin < 2
        frames = 1:pages;
      end
      if ~isnumeric(frames) || any(frames(:) < 1) || any(frames(:) > pages) || any(frames(:) ~= fix(frames(:)))
        error('KorVideoInput:badArgument', 'The file %s has pages 1 to %d; give pages in that range.', file, pages);
      end
      frames = frames(:)';
      n = numel(frames);
      bands = 3;
      if strcmp(info(1).ColorType, 'grayscale')
        bands = 1;
      end
      data = zeros(info(1).Height, info(1).Width, bands, n, 'uint8');
      for k = 1:n
        data(:, :, :, k) = imread(file, frames(k));
      end
      [time, meta] = KorVideoInput.pagesMeta(info, frames);
      varargout = {data, time, meta};
    end

    function limit = memoryLimit(bytes)
    % LIMIT = KORVIDEOINPUT.MEMORYLIMIT() is the number of bytes that logged
    % frames may take, over all video input objects (1 GiB unless changed);
    % KORVIDEOINPUT.MEMORYLIMIT(BYTES) changes it.
      if nargin < 1
        limit = KorVideoInput.call('memorylimit');
      else
        limit = KorVideoInput.call('memorylimit', bytes);
      end
    end
  end

  methods (Static, Hidden)
    function varargout = call(varargin)
    % Calls korvideoinput and raises its errors without the MEX file's name
    % in front, as the class's own.
      try
        if nargout == 0
          korvideoinput(varargin{:});
        else
          [varargout{1:nargout}] = korvideoinput(varargin{:});
        end
      catch err
        message = regexprep(err.message, '^korvideoinput: ', '');
        if isempty(err.identifier)
          if exist('korvideoinput', 'file') ~= 3
            error('KorVideoInput:noMex', ['The MEX file korvideoinput is not on the path. Build it ' ...
                  '(make build) and add its folder with addpath.']);
          end
          error('KorVideoInput:internal', '%s', message);
        end
        error(struct('message', message, 'identifier', err.identifier));
      end
    end
  end

  methods (Hidden)
    function d = diagnostics(obj)
      % What the host engine saw: frames handed over after stop returned,
      % problems with the adaptor's frames, whether the device is open, the
      % bytes all logs hold, and the disk log's frames not written and its
      % largest queue.
      d = KorVideoInput.call('diagnostics', obj.Handle);
    end
  end

  methods (Static, Hidden)
    function [time, meta] = pagesMeta(info, frames)
      % The times and metadata of the pages FRAMES, as GETDATA returns them.
      n = numel(frames);
      time = zeros(n, 1);
      meta = struct('AbsTime', cell(n, 1), 'FrameNumber', [], 'RelativeFrame', [], 'TriggerIndex', []);
      for k = 1:n
        m = KorVideoInput.pageMeta(info(frames(k)));
        time(k) = m.Time;
        meta(k).AbsTime = reshape(m.AbsTime, 1, []);
        meta(k).FrameNumber = m.FrameNumber;
        meta(k).RelativeFrame = m.RelativeFrame;
        meta(k).TriggerIndex = m.TriggerIndex;
      end
    end

    function meta = pageMeta(page)
      % A page's JSON: MATLAB's imfinfo gives the description as
      % ImageDescription, Octave's as Comment (with ImageDescription empty).
      text = '';
      if isfield(page, 'ImageDescription')
        text = page.ImageDescription;
      end
      if isempty(text) && isfield(page, 'Comment')
        text = page.Comment;
      end
      if iscell(text)
        text = strjoin(text, '');
      end
      try
        meta = jsondecode(text);
        % Octave's jsondecode can miss a double's last bit; the times are
        % read again from their text, which holds them exactly.
        time = regexp(text, '"Time":([^,}]+)', 'tokens', 'once');
        stamp = regexp(text, '"AbsTime":\[([^\]]*)\]', 'tokens', 'once');
        meta.Time = str2double(time{1});
        meta.AbsTime = str2double(strsplit(stamp{1}, ','));
      catch
        error('KorVideoInput:notALog', 'A page of the file was not written by KorVideoInput: its description is no record of a frame.');
      end
    end

    function tf = exists(handle)
      tf = true;
      try
        korvideoinput('get', handle, 'DeviceID');
      catch
        tf = false;
      end
    end
  end
end
