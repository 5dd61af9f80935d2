classdef KorCamera < handle
% KORCAMERA  One camera of the KorDispatcher gateway, with named methods and properties.
%
%   CAM = KORCAMERA(N) connects camera N (1 to 10) and returns an object that
%   calls KorDispatcher for it. DELETE(CAM), CLEAR CAM or CAM.DISCONNECT()
%   disconnects it. Every command of the gateway has a method or property
%   here; each method's help names the command code it calls (for example
%   HELP KorCamera.snapshot).
%
%   Values go to the gateway as given, and its errors reach the caller
%   unchanged: a message such as "Parameter 2 must be a double." counts the
%   camera number as parameter 1, as in the gateway's command table.
%
%   Stored and live values:
%     Snapshot* properties are the gateway's stored snapshot settings. Setting
%     one changes nothing at the camera; the next snapshot (or synchronous
%     snapshot) hands them to the camera. Every other property is the
%     camera's own value, read from or written to the camera at once.
%     Exposure and gain exist both ways, hence LiveExposure and LiveGain next
%     to SnapshotExposure and SnapshotGain.
%
%   Properties (read and write unless marked; codes read / write):
%     Number                    camera number (read-only)
%     Connected                 true while connected (read-only; 6)
%     FrameSize                 [width; height] of the frame region (12 / 2)
%     Offset                    [x; y] offset of the frame region (8 / 9)
%     FrameRate                 frames per second (33 / 3); see frameRates()
%     Video16Bit                16-bit samples in the live format (11 / 10)
%     FrameFormat               the whole format structure, width to frameRate (62 / 63)
%     LiveExposure              the camera's exposure (31 / 30)
%     LiveGain                  the camera's gain (29 / 28)
%     Gamma                     the camera's gamma (41 / 42)
%     Contrast                  the camera's contrast (43 / 44)
%     Brightness                the camera's brightness (45 / 46)
%     Hue                       the camera's hue (47 / 48)
%     Saturation                the camera's saturation (49 / 50)
%     SnapshotExposure          stored snapshot exposure (write-only; 15)
%     SnapshotGain              stored snapshot gain (write-only; 17)
%     Snapshot16Bit             stored 16-bit mode of synchronous snapshots (19 / 18)
%     SnapshotColorGains        stored [red; green1; green2; blue] gains (21 / 20)
%     SnapshotStrobe            stored strobe use, logical (23 / 22)
%     SnapshotStrobeDelay       stored strobe delay (25 / 24)
%     SnapshotHardwareTrigger   stored hardware trigger use, logical (27 / 26)
%     UsbInterface              'USB1' or 'USB2' (read-only; 58)
%     CameraId                  the camera's id (read-only; 59)
%     PixelDepth                the sensor's true pixel depth (read-only; 60)
%
%   Methods (see the help of each):
%     connect disconnect preview stopPreview showPropertyPage videoFrame
%     snapshot frameRates exposureRange gainRange property setProperty
%     propertyRange gammaRange contrastRange brightnessRange hueRange
%     saturationRange versions gpio writeGpo selectGpo oneShotAutoExposure
%     oneShotAutoIris oneShotAutoWhiteBalance oneShotAutoWhiteBalanceEx
%     digitalWhiteBalance digitalWhiteBalanceEx initAutoLens startAutoFocus
%     waitAutoFocus stopAutoFocus autoFocusProgress
%   Static methods, no camera needed:
%     KorCamera.count() KorCamera.list() KorCamera.syncSnapshot()
%
%   Example:
%     cam = KorCamera(1);
%     cam.preview();                 % the SDK's live window
%     cam.FrameSize = [640 480];
%     cam.SnapshotExposure = 20;
%     img = cam.snapshot();
%     imshow(img);
%     delete(cam);

  properties (SetAccess = private)
    % Camera number, 1 to 10.
    Number = []
  end

  properties (Dependent, SetAccess = private)
    % True while the camera is connected (code 6).
    Connected
    % 'USB1' or 'USB2', the camera's external interface (code 58).
    UsbInterface
    % The camera's id (code 59).
    CameraId
    % The sensor's true pixel depth (code 60).
    PixelDepth
  end

  properties (Dependent)
    % [width; height] of the frame region, in sensor pixels (codes 12 / 2).
    FrameSize
    % [x; y] offset of the frame region, in sensor pixels (codes 8 / 9).
    Offset
    % Frame rate of the live stream, frames per second (codes 33 / 3).
    FrameRate
    % True when the live format has 16-bit samples (codes 11 / 10).
    Video16Bit
    % The camera's whole frame format structure, fields width to frameRate (codes 62 / 63).
    FrameFormat
    % The camera's live exposure (codes 31 / 30).
    LiveExposure
    % The camera's live gain (codes 29 / 28).
    LiveGain
    % The camera's gamma (codes 41 / 42).
    Gamma
    % The camera's contrast (codes 43 / 44).
    Contrast
    % The camera's brightness (codes 45 / 46).
    Brightness
    % The camera's hue (codes 47 / 48).
    Hue
    % The camera's saturation (codes 49 / 50).
    Saturation
    % Stored exposure of the next snapshots; write-only, the gateway has no command that reads it (code 15).
    SnapshotExposure
    % Stored gain of the next snapshots; write-only, the gateway has no command that reads it (code 17).
    SnapshotGain
    % Stored 16-bit mode (codes 19 / 18); snapshot() replaces it with the live format's, syncSnapshot() uses it.
    Snapshot16Bit
    % Stored colour gains [red; green1; green2; blue] (codes 21 / 20).
    SnapshotColorGains
    % Stored strobe use, logical (codes 23 / 22).
    SnapshotStrobe
    % Stored strobe delay (codes 25 / 24).
    SnapshotStrobeDelay
    % Stored hardware trigger use, logical (codes 27 / 26).
    SnapshotHardwareTrigger
  end

  properties (Access = private)
    % True once this object has connected the camera, until it disconnects
    % it: only then does delete disconnect. A constructor that fails (camera
    % already connected elsewhere) leaves it false, so the delete that
    % follows a failed construction never closes someone else's camera.
    ConnectedHere = false
  end

  methods
    function obj = KorCamera(number)
    % KORCAMERA  Connect a camera.
    %   CAM = KORCAMERA(N) connects camera N (1 to 10) and returns its object.
    %   Raises the gateway's error when N is invalid, the camera is missing
    %   or already connected, or the connection fails.
    %
    %   Command code -1.
      if nargin < 1
        error('KorCamera:usage', 'KorCamera needs a camera number: cam = KorCamera(1).');
      end
      KorDispatcher(-1, number);
      obj.Number = fix(double(number));
      obj.ConnectedHere = true;
    end

    function delete(obj)
    % DELETE  Disconnect the camera (if this object connected it) and destroy the object.
    %   DELETE(CAM) stops a running preview and disconnects the camera. It
    %   never raises an error: a camera already disconnected stays so.
    %
    %   Command code -2.
      if obj.ConnectedHere && ~isempty(obj.Number)
        obj.ConnectedHere = false;
        try
          KorDispatcher(-2, obj.Number);
        catch
          % Already disconnected or unplugged: nothing left to close.
        end
      end
    end

    function connect(obj)
    % CONNECT  Connect the camera again after DISCONNECT.
    %   CAM.CONNECT() connects camera CAM.Number. Raises the gateway's error,
    %   e.g. "Camera 1 already connected.".
    %
    %   Command code -1.
      KorDispatcher(-1, obj.Number);
      obj.ConnectedHere = true;
    end

    function disconnect(obj)
    % DISCONNECT  Disconnect the camera, stopping its preview first.
    %   CAM.DISCONNECT() raises the gateway's error when the camera is not
    %   connected ("Camera 1 is already disconnected.").
    %
    %   Command code -2.
      KorDispatcher(-2, obj.Number);
      obj.ConnectedHere = false;
    end

    function preview(obj)
    % PREVIEW  Start the live preview in the SDK's own window.
    %   CAM.PREVIEW() connects the camera first if needed, then streams into
    %   the SDK's display window. Raises an error if it is already previewing.
    %
    %   Command code 0.
      try
        KorDispatcher(0, obj.Number);
      catch err
        % The preview connects before it can fail: that connection is ours.
        obj.ConnectedHere = obj.ConnectedHere || obj.connectedNow();
        rethrow(err);
      end
      obj.ConnectedHere = true;
    end

    function stopPreview(obj)
    % STOPPREVIEW  Stop the live preview and close its window.
    %   CAM.STOPPREVIEW() raises an error if no preview is running.
    %
    %   Command code 1.
      KorDispatcher(1, obj.Number);
    end

    function showPropertyPage(obj)
    % SHOWPROPERTYPAGE  Show the SDK's video property page.
    %   CAM.SHOWPROPERTYPAGE() opens the page over the foreground window.
    %
    %   Command code 5.
      KorDispatcher(5, obj.Number);
    end

    function img = videoFrame(obj)
    % VIDEOFRAME  One frame of the running live preview.
    %   IMG = CAM.VIDEOFRAME() returns an [H W 3] uint8 array (uint16 in
    %   16-bit mode), pages red, green, blue. The preview must be running
    %   (see PREVIEW); YUV 4:2:2 frames are refused.
    %
    %   Command code 7.
      img = KorDispatcher(7, obj.Number);
    end

    function img = snapshot(obj)
    % SNAPSHOT  Take a snapshot with the stored snapshot settings.
    %   IMG = CAM.SNAPSHOT() pauses a running preview, takes one still frame
    %   in the camera's current format with the Snapshot* settings (exposure,
    %   gain, colour gains, strobe, trigger), restarts the preview and returns
    %   an [H W 3] uint8 array (uint16 when the format has 16-bit samples),
    %   pages red, green, blue.
    %
    %   Command code 13.
      img = KorDispatcher(13, obj.Number);
    end

    function rates = frameRates(obj)
    % FRAMERATES  The frame rates the camera offers.
    %   RATES = CAM.FRAMERATES() returns a row of frame rates, in frames per
    %   second, in the SDK's order. Set one with CAM.FrameRate = RATE.
    %
    %   Command code 4.
      rates = KorDispatcher(4, obj.Number);
    end

    function range = exposureRange(obj)
    % EXPOSURERANGE  Range of the camera's exposure.
    %   RANGE = CAM.EXPOSURERANGE() returns [minimum; maximum].
    %
    %   Command code 14.
      range = KorDispatcher(14, obj.Number);
    end

    function range = gainRange(obj)
    % GAINRANGE  Range of the camera's gain.
    %   RANGE = CAM.GAINRANGE() returns [minimum; maximum].
    %
    %   Command code 16.
      range = KorDispatcher(16, obj.Number);
    end

    function [value, flags] = property(obj, id)
    % PROPERTY  Read any camera property by its SDK identifier.
    %   [VALUE, FLAGS] = CAM.PROPERTY(ID) returns the property's value and its
    %   flags word. ID must be an integer (0 brightness, 1 contrast, 2 hue,
    %   3 saturation, 5 gamma, 20 exposure, 40 gain, 80 colour format, 81 and
    %   82 sensor width and height, others as the SDK defines them).
    %
    %   Command code 39.
      pair = KorDispatcher(39, obj.Number, id);
      value = pair(1);
      flags = pair(2);
    end

    function setProperty(obj, id, value, flags)
    % SETPROPERTY  Write any camera property by its SDK identifier.
    %   CAM.SETPROPERTY(ID, VALUE) writes VALUE with flags 0;
    %   CAM.SETPROPERTY(ID, VALUE, FLAGS) with the given flags word. ID must
    %   be a double, VALUE an integer-valued scalar of any numeric class.
    %
    %   Command code 40.
      if nargin < 4
        flags = 0;
      end
      KorDispatcher(40, obj.Number, id, value, flags);
    end

    function range = propertyRange(obj, id)
    % PROPERTYRANGE  Range of any camera property by its SDK identifier.
    %   RANGE = CAM.PROPERTYRANGE(ID) returns [minimum; maximum].
    %
    %   Command code 51.
      range = KorDispatcher(51, obj.Number, id);
    end

    function range = gammaRange(obj)
    % GAMMARANGE  Range of the camera's gamma.
    %   RANGE = CAM.GAMMARANGE() returns [minimum; maximum].
    %
    %   Command code 52.
      range = KorDispatcher(52, obj.Number);
    end

    function range = contrastRange(obj)
    % CONTRASTRANGE  Range of the camera's contrast.
    %   RANGE = CAM.CONTRASTRANGE() returns [minimum; maximum].
    %
    %   Command code 53.
      range = KorDispatcher(53, obj.Number);
    end

    function range = brightnessRange(obj)
    % BRIGHTNESSRANGE  Range of the camera's brightness.
    %   RANGE = CAM.BRIGHTNESSRANGE() returns [minimum; maximum].
    %
    %   Command code 54.
      range = KorDispatcher(54, obj.Number);
    end

    function range = hueRange(obj)
    % HUERANGE  Range of the camera's hue.
    %   RANGE = CAM.HUERANGE() returns [minimum; maximum].
    %
    %   Command code 55.
      range = KorDispatcher(55, obj.Number);
    end

    function range = saturationRange(obj)
    % SATURATIONRANGE  Range of the camera's saturation.
    %   RANGE = CAM.SATURATIONRANGE() returns [minimum; maximum].
    %
    %   Command code 56.
      range = KorDispatcher(56, obj.Number);
    end

    function v = versions(obj)
    % VERSIONS  Firmware, FPGA, API and driver versions and serial number.
    %   V = CAM.VERSIONS() returns a structure with the text fields API,
    %   Driver, Firmware, FPGA, SN and Reserved.
    %
    %   Command code 57.
      v = KorDispatcher(57, obj.Number);
    end

    function lines = gpio(obj)
    % GPIO  Read the general-purpose I/O lines.
    %   LINES = CAM.GPIO() returns a row of the two bytes the SDK reports, each
    %   0 to 255.
    %
    %   Command code 34.
      lines = KorDispatcher(34, obj.Number);
    end

    function writeGpo(obj, value)
    % WRITEGPO  Write the general-purpose output lines.
    %   CAM.WRITEGPO(VALUE) sets the outputs to VALUE, 0 to 255 (one bit per
    %   line).
    %
    %   Command code 35.
      KorDispatcher(35, obj.Number, value);
    end

    function selectGpo(obj, mask)
    % SELECTGPO  Choose which output lines are under manual control.
    %   CAM.SELECTGPO(MASK) puts the output lines whose bits are set in MASK,
    %   0 to 255, under manual control (WRITEGPO drives them).
    %
    %   Command code 36 (code 61 is the same command).
      KorDispatcher(36, obj.Number, mask);
    end

    function oneShotAutoExposure(obj, varargin)
    % ONESHOTAUTOEXPOSURE  Run the SDK's one-shot automatic exposure.
    %   CAM.ONESHOTAUTOEXPOSURE(A, B, C, D, E) passes five integers to the SDK
    %   in this order; their meaning is the camera SDK's (e.g. target level,
    %   then the region x, y, width, height).
    %
    %   Command code 64.
      KorDispatcher(64, obj.Number, varargin{:});
    end

    function oneShotAutoIris(obj, varargin)
    % ONESHOTAUTOIRIS  Run the SDK's one-shot automatic iris.
    %   CAM.ONESHOTAUTOIRIS(A, B, C, D, E) passes five integers to the SDK in
    %   this order; their meaning is the camera SDK's.
    %
    %   Command code 70.
      KorDispatcher(70, obj.Number, varargin{:});
    end

    function oneShotAutoWhiteBalance(obj, varargin)
    % ONESHOTAUTOWHITEBALANCE  Run the SDK's one-shot automatic white balance.
    %   CAM.ONESHOTAUTOWHITEBALANCE(A, B, C, D) passes four integers to the
    %   SDK in this order; their meaning is the camera SDK's.
    %
    %   Command code 65.
      KorDispatcher(65, obj.Number, varargin{:});
    end

    function oneShotAutoWhiteBalanceEx(obj, varargin)
    % ONESHOTAUTOWHITEBALANCEEX  One-shot automatic white balance with two real parameters.
    %   CAM.ONESHOTAUTOWHITEBALANCEEX(X, Y, A, B, C, D) passes two doubles (as
    %   single-precision floats) and four integers to the SDK in this order;
    %   their meaning is the camera SDK's.
    %
    %   Command code 66.
      KorDispatcher(66, obj.Number, varargin{:});
    end

    function digitalWhiteBalance(obj, varargin)
    % DIGITALWHITEBALANCE  Run the SDK's digital white balance.
    %   CAM.DIGITALWHITEBALANCE(A, B, C, D) passes four integers to the SDK in
    %   this order; their meaning is the camera SDK's.
    %
    %   Command code 67.
      KorDispatcher(67, obj.Number, varargin{:});
    end

    function digitalWhiteBalanceEx(obj, varargin)
    % DIGITALWHITEBALANCEEX  Digital white balance with two real parameters.
    %   CAM.DIGITALWHITEBALANCEEX(X, Y, A, B, C, D) passes two doubles (as
    %   single-precision floats) and four integers to the SDK in this order;
    %   their meaning is the camera SDK's.
    %
    %   Command code 68.
      KorDispatcher(68, obj.Number, varargin{:});
    end

    function initAutoLens(obj, varargin)
    % INITAUTOLENS  Initialise the motorised lens controller.
    %   CAM.INITAUTOLENS(TF) passes the logical TF to the SDK.
    %
    %   Command code 69.
      KorDispatcher(69, obj.Number, varargin{:});
    end

    function startAutoFocus(obj, varargin)
    % STARTAUTOFOCUS  Start an auto-focus operation.
    %   CAM.STARTAUTOFOCUS(A, B, C, D, X, Y, Z, E, F) passes nine integers to
    %   the SDK in this order, X, Y and Z as single-precision floats; their
    %   meaning is the camera SDK's. WAITAUTOFOCUS, AUTOFOCUSPROGRESS and
    %   STOPAUTOFOCUS follow the operation.
    %
    %   Command code 71.
      KorDispatcher(71, obj.Number, varargin{:});
    end

    function waitAutoFocus(obj, varargin)
    % WAITAUTOFOCUS  Wait for the auto-focus operation to end.
    %   CAM.WAITAUTOFOCUS(TIMEOUT) blocks for as long as the SDK waits, at most
    %   TIMEOUT milliseconds (a double, truncated to whole milliseconds).
    %
    %   Command code 72.
      KorDispatcher(72, obj.Number, varargin{:});
    end

    function stopAutoFocus(obj)
    % STOPAUTOFOCUS  Stop the auto-focus operation.
    %   CAM.STOPAUTOFOCUS()
    %
    %   Command code 73.
      KorDispatcher(73, obj.Number);
    end

    function progress = autoFocusProgress(obj)
    % AUTOFOCUSPROGRESS  Progress of the auto-focus operation.
    %   P = CAM.AUTOFOCUSPROGRESS() returns the progress value the SDK reports.
    %
    %   Command code 74.
      progress = KorDispatcher(74, obj.Number);
    end

    function disp(obj)
    % DISP  Show the camera number and whether it is connected.
    %   DISP(CAM) asks the gateway only whether the camera is connected, so it
    %   works on a camera that is gone too.
    %
    %   Command code 6.
      if isempty(obj.Number)
        fprintf('  KorCamera (no camera)\n');
        return;
      end
      try
        state = 'connected';
        if ~KorDispatcher(6, obj.Number)
          state = 'not connected';
        end
      catch err
        state = err.message;
      end
      fprintf('  KorCamera %d: %s\n', obj.Number, state);
    end

    % Read-only properties.

    function value = get.Connected(obj)
      value = KorDispatcher(6, obj.Number);
    end

    function value = get.UsbInterface(obj)
      value = KorDispatcher(58, obj.Number);
    end

    function value = get.CameraId(obj)
      value = KorDispatcher(59, obj.Number);
    end

    function value = get.PixelDepth(obj)
      value = KorDispatcher(60, obj.Number);
    end

    % Frame geometry, rate and bit depth.

    function value = get.FrameSize(obj)
      value = KorDispatcher(12, obj.Number);
    end

    function set.FrameSize(obj, value)
      KorCamera.requireElements(value, 2, 'FrameSize', '[width height]');
      KorDispatcher(2, obj.Number, value(1), value(2));
    end

    function value = get.Offset(obj)
      value = KorDispatcher(8, obj.Number);
    end

    function set.Offset(obj, value)
      KorCamera.requireElements(value, 2, 'Offset', '[x y]');
      KorDispatcher(9, obj.Number, value(1), value(2));
    end

    function value = get.FrameRate(obj)
      value = KorDispatcher(33, obj.Number);
    end

    function set.FrameRate(obj, value)
      KorDispatcher(3, obj.Number, value);
    end

    function value = get.Video16Bit(obj)
      value = KorDispatcher(11, obj.Number);
    end

    function set.Video16Bit(obj, value)
      KorDispatcher(10, obj.Number, value);
    end

    function value = get.FrameFormat(obj)
      value = KorDispatcher(62, obj.Number);
    end

    function set.FrameFormat(obj, value)
      KorDispatcher(63, obj.Number, value);
    end

    % The camera's live values.

    function value = get.LiveExposure(obj)
      value = KorDispatcher(31, obj.Number);
    end

    function set.LiveExposure(obj, value)
      KorDispatcher(30, obj.Number, value);
    end

    function value = get.LiveGain(obj)
      value = KorDispatcher(29, obj.Number);
    end

    function set.LiveGain(obj, value)
      KorDispatcher(28, obj.Number, value);
    end

    function value = get.Gamma(obj)
      value = KorDispatcher(41, obj.Number);
    end

    function set.Gamma(obj, value)
      KorDispatcher(42, obj.Number, value);
    end

    function value = get.Contrast(obj)
      value = KorDispatcher(43, obj.Number);
    end

    function set.Contrast(obj, value)
      KorDispatcher(44, obj.Number, value);
    end

    function value = get.Brightness(obj)
      value = KorDispatcher(45, obj.Number);
    end

    function set.Brightness(obj, value)
      KorDispatcher(46, obj.Number, value);
    end

    function value = get.Hue(obj)
      value = KorDispatcher(47, obj.Number);
    end

    function set.Hue(obj, value)
      KorDispatcher(48, obj.Number, value);
    end

    function value = get.Saturation(obj)
      value = KorDispatcher(49, obj.Number);
    end

    function set.Saturation(obj, value)
      KorDispatcher(50, obj.Number, value);
    end

    % The stored snapshot settings.

    function value = get.SnapshotExposure(obj)
      KorCamera.writeOnly('SnapshotExposure');
    end

    function set.SnapshotExposure(obj, value)
      KorDispatcher(15, obj.Number, value);
    end

    function value = get.SnapshotGain(obj)
      KorCamera.writeOnly('SnapshotGain');
    end

    function set.SnapshotGain(obj, value)
      KorDispatcher(17, obj.Number, value);
    end

    function value = get.Snapshot16Bit(obj)
      value = KorDispatcher(19, obj.Number);
    end

    function set.Snapshot16Bit(obj, value)
      KorDispatcher(18, obj.Number, value);
    end

    function value = get.SnapshotColorGains(obj)
      value = KorDispatcher(21, obj.Number);
    end

    function set.SnapshotColorGains(obj, value)
      KorCamera.requireElements(value, 4, 'SnapshotColorGains', '[red green1 green2 blue]');
      KorDispatcher(20, obj.Number, value(1), value(2), value(3), value(4));
    end

    function value = get.SnapshotStrobe(obj)
      value = KorDispatcher(23, obj.Number);
    end

    function set.SnapshotStrobe(obj, value)
      KorDispatcher(22, obj.Number, value);
    end

    function value = get.SnapshotStrobeDelay(obj)
      value = KorDispatcher(25, obj.Number);
    end

    function set.SnapshotStrobeDelay(obj, value)
      KorDispatcher(24, obj.Number, value);
    end

    function value = get.SnapshotHardwareTrigger(obj)
      value = KorDispatcher(27, obj.Number);
    end

    function set.SnapshotHardwareTrigger(obj, value)
      KorDispatcher(26, obj.Number, value);
    end
  end

  methods (Static)
    function n = count()
    % COUNT  Number of cameras attached to the computer.
    %   N = KORCAMERA.COUNT() returns the SDK's count; -1 when the SDK cannot
    %   count them.
    %
    %   Command code 37.
      n = KorDispatcher(37);
    end

    function cameras = list()
    % LIST  Versions and serial numbers of every attached camera.
    %   CAMERAS = KORCAMERA.LIST() returns an N-by-1 structure array, one
    %   element per camera in the SDK's order, with the text fields API,
    %   Driver, Firmware, FPGA, SN and Reserved. Raises an error when no
    %   camera is attached.
    %
    %   Command code 38.
      cameras = KorDispatcher(38);
    end

    function images = syncSnapshot()
    % SYNCSNAPSHOT  One snapshot of every connected camera, taken together.
    %   IMAGES = KORCAMERA.SYNCSNAPSHOT() needs at least two connected cameras.
    %   Each uses its stored snapshot settings, format and Snapshot16Bit
    %   included. IMAGES is [H W 3 K], K the number of connected cameras in
    %   ascending camera number, H and W the largest height and width; each
    %   picture fills the top left of its block. uint8, or uint16 when any
    %   camera delivers 16-bit samples.
    %
    %   Command code 32.
      images = KorDispatcher(32);
    end
  end

  methods (Static, Access = private)
    function requireElements(value, count, name, shape)
    % REQUIREELEMENTS  Refuse a vector property value with the wrong element count.
    %   The gateway takes the elements as separate parameters, so their count
    %   is checked here; each element's type is left to the gateway.
    %
    %   No command code: checks only.
      if numel(value) ~= count
        error('KorCamera:elementCount', '%s takes %d elements, %s.', name, count, shape);
      end
    end

    function writeOnly(name)
    % WRITEONLY  Refuse to read a stored setting the gateway cannot read back.
    %
    %   No command code: raises only.
      error('KorCamera:writeOnly', ...
            '%s is write-only: the gateway stores it for the next snapshot but has no command that reads it.', name);
    end
  end

  methods (Access = private)
    function tf = connectedNow(obj)
    % CONNECTEDNOW  Whether the gateway holds the camera connected, false when it cannot say.
    %
    %   Command code 6.
      try
        tf = KorDispatcher(6, obj.Number);
      catch
        tf = false;
      end
    end
  end
end
