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
%     DeviceID          the camera's number in the catalogue
%     VideoFormat       the format, e.g. '1280x1024'
%     VideoResolution   [width height] of the format
%     FramesAcquired    frames logged since the last START
%     FramesAvailable   frames logged and not yet taken by GETDATA
%     Running           true while acquiring
%   Properties (read and write; not while running):
%     FramesPerTrigger  frames an acquisition logs before it ends (default 10)
%     FrameGrabInterval log every N-th frame the camera takes (default 1)
%     ROIPosition       [x y width height], offsets from the image's top-left
%                       corner, counted from 0 (default: the whole image)
%
%   Methods: start stop wait isrunning getdata getsnapshot getselectedsource
%   delete. Static: KorVideoInput.hwinfo(), KorVideoInput.memoryLimit().
%
%   START clears the frames still logged. Frames are logged in memory up to
%   KorVideoInput.memoryLimit() bytes over all objects (1 GiB unless changed);
%   reaching it stops the acquisition with the error KorVideoInput:outOfMemory,
%   raised by the next WAIT, GETDATA or START. An error of the adaptor while
%   acquiring (e.g. an unplugged camera) stops the acquisition the same way,
%   with the adaptor's identifier and text. Frames logged before either stay
%   available. After an error of the adaptor the camera is closed and opened
%   again by the next START or GETSNAPSHOT.
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
%     [frames, t] = getdata(vid);    % 480x640x3x30 uint8, 30x1 seconds since start
%     delete(vid)
%
%   See also KorVideoInput/getdata, KorVideoSource, KorCamera.

  properties (Dependent, SetAccess = private)
    DeviceID
    VideoFormat
    VideoResolution
    FramesAcquired
    FramesAvailable
    Running
  end

  properties (Dependent)
    FramesPerTrigger
    FrameGrabInterval
    ROIPosition
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
    % of FramesPerTrigger frames; it returns at once. The frames still logged
    % are cleared, and FramesAcquired counts from 0. An error that stopped the
    % previous acquisition is raised here if neither WAIT nor GETDATA raised it.
      KorVideoInput.call('start', obj.Handle);
    end

    function stop(obj)
    % STOP(VID) stops the acquisition; when it returns, no further frame can
    % arrive. The frames logged stay available.
      KorVideoInput.call('stop', obj.Handle);
    end

    function tf = isrunning(obj)
    % ISRUNNING(VID) is true while the object acquires.
      tf = KorVideoInput.call('get', obj.Handle, 'Running');
    end

    function wait(obj, seconds)
    % WAIT(VID) returns when the object is no longer running, waiting 10 s at
    % most; WAIT(VID, SECONDS) waits SECONDS at most (Inf: no limit). Raises
    % KorVideoInput:timeout when the time runs out, and the error that stopped
    % the acquisition, if one did. Ctrl-C ends the wait (not the acquisition).

      % The wait goes in slices of well under a second, so that Ctrl-C ends it.
      args = {};
      if nargin >= 2
        args = {seconds};
      end
      begun = tic;
      while ~KorVideoInput.call('waitslice', obj.Handle, toc(begun), args{:})
      end
    end

    function [data, time, meta] = getdata(obj, n)
    % [DATA, TIME, META] = GETDATA(VID) takes FramesPerTrigger frames from the
    % log, the oldest first; GETDATA(VID, N) takes N. It waits until they are
    % available: KorVideoInput:timeout after 10 s without a new frame, and
    % KorVideoInput:notEnoughFrames at once when fewer are available than
    % asked for and the acquisition can no longer give the rest (it is not
    % running, or will end before). Ctrl-C ends the wait.
    %   DATA  uint8 [height width 3 N], each frame the right way up with red,
    %         green and blue pages (height and width from ROIPosition)
    %   TIME  N x 1 seconds since START, increasing
    %   META  N x 1 struct: AbsTime (clock vector of the frame's time stamp),
    %         FrameNumber (among all frames the camera took since START, so a
    %         gap shows frames not logged), RelativeFrame (among the frames
    %         logged since START) and TriggerIndex (1)
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

    function frame = getsnapshot(obj)
    % FRAME = GETSNAPSHOT(VID) is one [height width 3] uint8 frame taken now,
    % opening the camera if needed; while running, the newest frame. It does
    % not touch the log, FramesAcquired or FramesAvailable.
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

    function disp(obj)
      if isempty(obj.Handle) || ~KorVideoInput.exists(obj.Handle)
        fprintf('  KorVideoInput (deleted)\n');
        return;
      end
      res = obj.VideoResolution;
      roi = obj.ROIPosition;
      fprintf('  KorVideoInput, camera %d, format %s (%d x %d)\n', obj.DeviceID, obj.VideoFormat, res(1), res(2));
      fprintf('    Running: %d   FramesAcquired: %d   FramesAvailable: %d\n', ...
              obj.Running, obj.FramesAcquired, obj.FramesAvailable);
      fprintf('    FramesPerTrigger: %d   FrameGrabInterval: %d   ROIPosition: [%d %d %d %d]\n', ...
              obj.FramesPerTrigger, obj.FrameGrabInterval, roi(1), roi(2), roi(3), roi(4));
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

    function value = get.ROIPosition(obj)
      value = KorVideoInput.call('get', obj.Handle, 'ROIPosition');
    end

    function set.ROIPosition(obj, value)
      KorVideoInput.call('set', obj.Handle, 'ROIPosition', value);
    end
  end

  methods (Static)
    function hw = hwinfo()
    % HW = KORVIDEOINPUT.HWINFO() is the adaptor's catalogue: a 1 x N struct
    % array, one element per camera, with fields DeviceID, DeviceName,
    % SupportedFormats (cell of texts) and DefaultFormat ('' when none).
      hw = KorVideoInput.call('hwinfo');
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
      % problems with the adaptor's frames, whether the device is open, and
      % the bytes all logs hold.
      d = KorVideoInput.call('diagnostics', obj.Handle);
    end
  end

  methods (Static, Hidden)
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
