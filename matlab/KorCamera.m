classdef KorCamera < handle
% KORCAMERA  One camera of the KorDispatcher gateway, with named methods and properties.
%
%   CAM = KORCAMERA(N) connects camera N (1 to 10) and returns an object that
%   calls KorDispatcher for it. DELETE(CAM), CLEAR CAM or CAM.DISCONNECT()
%   disconnects it. Every command of the gateway has a method or property
%   here; each method's help names the command code it calls (for example
%   HELP KorCamera.snapshot). DISP(CAM) shows every readable setting,
%   CAM.SETTINGS() returns them as a structure, KorCamera.info() lists the
%   attached cameras and KorCamera.reset() closes every camera the gateway
%   holds.
%
%   Values go to the gateway as given. Its errors reach the caller with an
%   identifier KorCamera:<what> (alreadyConnected, notConnected,
%   invalidCamera, notEnoughCameras, wrongClass, invalidValue,
%   argumentCount, notPreviewing, alreadyPreviewing, tooFewConnected,
%   noCamera, outOfMemory, cameraFailure) and a message that starts with the
%   gateway's own text, unchanged, followed by what to do where the text
%   does not say. "Parameter 2 must be a double." counts the camera number
%   as parameter 1, as in the gateway's command table.
%
%   A camera stays connected while anything holds it: an object left in a
%   variable or in ANS, or one whose camera was unplugged while connected.
%   "Camera 1 already connected." then says so; KorCamera.reset() stops every
%   preview and closes every camera the gateway holds.
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
%     CameraId                  the camera's id (read-only; 59)
%     PixelDepth                the sensor's true pixel depth (read-only; 60)
%     UsbInterface              'USB1' or 'USB2' (read-only; 58)
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
%     SnapshotExposure          stored snapshot exposure (15; reads what this object last set)
%     SnapshotGain              stored snapshot gain (17; reads what this object last set)
%     SyncSnapshot16Bit         stored 16-bit mode of synchronous snapshots (19 / 18)
%     SnapshotColorGains        stored [red; green1; green2; blue] gains (21 / 20)
%     SnapshotStrobe            stored strobe use, logical (23 / 22)
%     SnapshotStrobeDelay       stored strobe delay (25 / 24)
%     SnapshotHardwareTrigger   stored hardware trigger use, logical (27 / 26)
%     ReturnedColorSpace        'rgb' or 'grayscale': what snapshot and videoFrame return
%                               (codes 13 and 7, or 113 and 107 for one grey page)
%
%   Methods (see the help of each):
%     connect disconnect preview stopPreview showPropertyPage videoFrame
%     snapshot settings get frameRates exposureRange gainRange property
%     setProperty propertyRange gammaRange contrastRange brightnessRange
%     hueRange saturationRange versions gpio writeGpo selectGpo
%     oneShotAutoExposure oneShotAutoIris oneShotAutoWhiteBalance
%     oneShotAutoWhiteBalanceEx digitalWhiteBalance digitalWhiteBalanceEx
%     initAutoLens startAutoFocus waitAutoFocus stopAutoFocus
%     autoFocusProgress
%   Static methods, no camera needed:
%     KorCamera.count() KorCamera.info() KorCamera.list()
%     KorCamera.syncSnapshot() KorCamera.reset()
%
%   Example:
%     cam = KorCamera(1);
%     cam.FrameSize = [640 480];
%     cam.SnapshotExposure = 20;
%     img = cam.snapshot();
%     imwrite(img, 'camera1.png');
%     delete(cam);

  properties (SetAccess = private)
    % NUMBER  Camera number, 1 to 10, fixed when the object is made.
    Number = []
  end

  properties (Dependent, SetAccess = private)
    % CONNECTED  True while the gateway holds the camera connected (read-only; code 6).
    Connected
    % CAMERAID  The camera's id, which names its model (read-only; code 59).
    %   KorCamera.info() shows it in hexadecimal with the model name.
    CameraId
    % PIXELDEPTH  The sensor's true pixel depth in bits, e.g. 8 or 12 (read-only; code 60).
    %   Above 8 the camera offers 16-bit samples (Video16Bit, SyncSnapshot16Bit).
    PixelDepth
    % USBINTERFACE  'USB1' or 'USB2', the camera's external interface (read-only; code 58).
    UsbInterface
  end

  properties (Dependent)
    % FRAMESIZE  [width; height] of the frame region, in sensor pixels (codes 12 / 2).
    %   Set with a 2-element vector, e.g. cam.FrameSize = [640 480]; at most
    %   the sensor's size.
    FrameSize
    % OFFSET  [x; y] of the frame region's top left corner, in sensor pixels (codes 8 / 9).
    %   Set with a 2-element vector; offset plus FrameSize must stay within
    %   the sensor.
    Offset
    % FRAMERATE  Frame rate of the live stream, frames per second (codes 33 / 3).
    %   A double among cam.frameRates(), e.g. cam.FrameRate = 15.
    FrameRate
    % VIDEO16BIT  True when the live format has 16-bit samples (codes 11 / 10).
    %   A logical. Snapshots and video frames are then uint16; only cameras
    %   with a PixelDepth above 8 accept true.
    Video16Bit
    % FRAMEFORMAT  The camera's whole frame format structure (codes 62 / 63).
    %   Fields width, height, xOffset, yOffset, xBinSub, yBinSub, xFlags,
    %   yFlags, pixelFormat, frameRate; set it with a structure read from it.
    FrameFormat
    % LIVEEXPOSURE  The camera's exposure now, in the SDK's units (codes 31 / 30).
    %   A non-negative double within cam.exposureRange(); live video uses it.
    LiveExposure
    % LIVEGAIN  The camera's gain now (codes 29 / 28).
    %   A non-negative double within cam.gainRange(); live video uses it.
    LiveGain
    % GAMMA  The camera's gamma (codes 41 / 42); a double within cam.gammaRange().
    Gamma
    % CONTRAST  The camera's contrast (codes 43 / 44); a double within cam.contrastRange().
    Contrast
    % BRIGHTNESS  The camera's brightness (codes 45 / 46); a double within cam.brightnessRange().
    Brightness
    % HUE  The camera's hue (codes 47 / 48); a double within cam.hueRange().
    Hue
    % SATURATION  The camera's saturation (codes 49 / 50); a double within cam.saturationRange().
    Saturation
    % SNAPSHOTEXPOSURE  Stored exposure of the next snapshots (code 15).
    %   A non-negative double; 1 after connecting. The gateway has no command
    %   that reads it back: reading gives the value this object last set, or
    %   the connect default.
    SnapshotExposure
    % SNAPSHOTGAIN  Stored gain of the next snapshots (code 17).
    %   A non-negative double; 1 after connecting. The gateway has no command
    %   that reads it back: reading gives the value this object last set, or
    %   the connect default.
    SnapshotGain
    % SYNCSNAPSHOT16BIT  Stored 16-bit mode of synchronous snapshots (codes 19 / 18).
    %   A logical; KorCamera.syncSnapshot() uses it. A single snapshot takes
    %   the live format's depth instead (Video16Bit), and copies that depth
    %   in here.
    SyncSnapshot16Bit
    % SNAPSHOTCOLORGAINS  Stored colour gains [red; green1; green2; blue] of the next snapshots (codes 21 / 20).
    %   Set with a 4-element vector of non-negative doubles.
    SnapshotColorGains
    % SNAPSHOTSTROBE  Stored strobe use of the next snapshots, a logical (codes 23 / 22).
    SnapshotStrobe
    % SNAPSHOTSTROBEDELAY  Stored strobe delay of the next snapshots, a non-negative double (codes 25 / 24).
    SnapshotStrobeDelay
    % SNAPSHOTHARDWARETRIGGER  Stored hardware trigger use of the next snapshots, a logical (codes 27 / 26).
    %   While true a snapshot waits for the trigger input.
    SnapshotHardwareTrigger
  end

  properties
    % RETURNEDCOLORSPACE  What snapshot() and videoFrame() return, 'rgb' or 'grayscale'.
    %   'rgb' (the default): [H W 3] arrays, pages red, green, blue (codes 13,
    %   7). 'grayscale': one [H W] page (codes 113, 107), a monochrome
    %   camera's samples without the three equal pages, or a colour camera's
    %   luminance, weighed as rgb2gray does. Any letter case is accepted.
    ReturnedColorSpace = 'rgb'
  end

  properties (Access = private)
    % True once this object has connected the camera, until it disconnects
    % it: only then does delete disconnect. A constructor that fails (camera
    % already connected elsewhere) leaves it false, so the delete that
    % follows a failed construction never closes someone else's camera.
    ConnectedHere = false
    % The gateway session in which this object connected: after
    % KorCamera.reset() the camera may belong to a newer object.
    Session = ''
    % The stored snapshot exposure and gain as this object last set them
    % (the gateway cannot read them back), and whether it set them since
    % connecting; the gateway's connect defaults otherwise.
    Stored = struct('exposure', 1, 'gain', 1, 'setHere', [false false])
  end

  methods
    function obj = KorCamera(number)
    % KORCAMERA  Connect a camera.
    %   CAM = KORCAMERA(N) connects camera N (1 to 10) and returns its object.
    %   Raises KorCamera:invalidCamera, KorCamera:notEnoughCameras,
    %   KorCamera:alreadyConnected or KorCamera:cameraFailure with the
    %   gateway's text.
    %
    %   Command code -1.
      if nargin < 1
        error('KorCamera:usage', 'KorCamera needs a camera number: cam = KorCamera(1).');
      end
      korcam_call('KorCamera', -1, number);
      obj.Number = fix(double(number));
      obj.ConnectedHere = true;
      obj.Session = korcam_session();
    end

    function delete(obj)
    % DELETE  Disconnect the camera (if this object connected it) and destroy the object.
    %   DELETE(CAM) stops a running preview and disconnects the camera. It
    %   never raises an error: a camera already disconnected stays so. A
    %   camera that cannot be reached (unplugged) stays open in the gateway,
    %   with a warning KorCamera:notDisconnected; KorCamera.reset() closes it.
    %
    %   Command code -2.
      if obj.ConnectedHere && ~isempty(obj.Number) && strcmp(obj.Session, korcam_session())
        obj.ConnectedHere = false;
        try
          KorDispatcher(-2, obj.Number);
        catch err
          text = korcam_gateway_text(err);
          if isempty(regexp(text, 'already disconnected', 'once'))
            warning('KorCamera:notDisconnected', ...
                    'Camera %d stays open in the gateway: %s Once it is attached again, KorCamera.reset() closes it.', ...
                    obj.Number, strtrim(text));
          end
        end
      end
    end

    function connect(obj)
    % CONNECT  Connect the camera again after DISCONNECT.
    %   CAM.CONNECT() connects camera CAM.Number. Raises the gateway's error,
    %   e.g. "Camera 1 already connected." (KorCamera:alreadyConnected).
    %
    %   Command code -1.
      korcam_call('connect', -1, obj.Number);
      obj.ConnectedHere = true;
      obj.Session = korcam_session();
      obj.Stored = struct('exposure', 1, 'gain', 1, 'setHere', [false false]);
    end

    function disconnect(obj)
    % DISCONNECT  Disconnect the camera, stopping its preview first.
    %   CAM.DISCONNECT() raises KorCamera:notConnected when the camera is not
    %   connected ("Camera 1 is already disconnected.").
    %
    %   Command code -2.
      korcam_call('disconnect', -2, obj.Number);
      obj.ConnectedHere = false;
    end

    function preview(obj)
    % PREVIEW  Start the live preview in the SDK's own window.
    %   CAM.PREVIEW() connects the camera first if needed, then streams into
    %   the SDK's display window. Raises an error if it is already previewing.
    %
    %   Command code 0.
      failure = [];
      try
        korcam_call('preview', 0, obj.Number);
      catch failure
      end
      % The preview connects before it can fail: that connection is ours.
      if ~obj.ConnectedHere && (isempty(failure) || korcam_connected(obj.Number))
        obj.ConnectedHere = true;
        obj.Session = korcam_session();
        obj.Stored = struct('exposure', 1, 'gain', 1, 'setHere', [false false]);
      end
      if ~isempty(failure)
        rethrow(failure);
      end
    end

    function stopPreview(obj)
    % STOPPREVIEW  Stop the live preview and close its window.
    %   CAM.STOPPREVIEW() raises an error if no preview is running.
    %
    %   Command code 1.
      korcam_call('stopPreview', 1, obj.Number);
    end

    function showPropertyPage(obj)
    % SHOWPROPERTYPAGE  Show the SDK's video property page.
    %   CAM.SHOWPROPERTYPAGE() opens the page over the foreground window.
    %
    %   Command code 5.
      korcam_call('showPropertyPage', 5, obj.Number);
    end

    function img = videoFrame(obj)
    % VIDEOFRAME  One frame of the running live preview.
    %   IMG = CAM.VIDEOFRAME() returns an [H W 3] uint8 array (uint16 in
    %   16-bit mode), pages red, green, blue. The preview must be running
    %   (see PREVIEW); YUV 4:2:2 frames are refused. With ReturnedColorSpace
    %   'grayscale', IMG is one [H W] page (code 107).
    %
    %   Command code 7.
      img = korcam_call('videoFrame', 7 + 100 * strcmp(obj.ReturnedColorSpace, 'grayscale'), obj.Number);
    end

    function img = snapshot(obj)
    % SNAPSHOT  Take a snapshot with the stored snapshot settings.
    %   IMG = CAM.SNAPSHOT() pauses a running preview, takes one still frame
    %   in the camera's current format with the Snapshot* settings (exposure,
    %   gain, colour gains, strobe, trigger), restarts the preview and returns
    %   an [H W 3] uint8 array (uint16 when the format has 16-bit samples),
    %   pages red, green, blue. With ReturnedColorSpace 'grayscale', IMG is
    %   one [H W] page (code 113).
    %
    %   Command code 13.
      img = korcam_call('snapshot', 13 + 100 * strcmp(obj.ReturnedColorSpace, 'grayscale'), obj.Number);
    end

    function rates = frameRates(obj)
    % FRAMERATES  The frame rates the camera offers.
    %   RATES = CAM.FRAMERATES() returns a row of frame rates, in frames per
    %   second, in the SDK's order. Set one with CAM.FrameRate = RATE.
    %
    %   Command code 4.
      rates = korcam_call('frameRates', 4, obj.Number);
    end

    function range = exposureRange(obj)
    % EXPOSURERANGE  Range of the camera's exposure.
    %   RANGE = CAM.EXPOSURERANGE() returns [minimum; maximum].
    %
    %   Command code 14.
      range = korcam_call('exposureRange', 14, obj.Number);
    end

    function range = gainRange(obj)
    % GAINRANGE  Range of the camera's gain.
    %   RANGE = CAM.GAINRANGE() returns [minimum; maximum].
    %
    %   Command code 16.
      range = korcam_call('gainRange', 16, obj.Number);
    end

    function [value, flags] = property(obj, id)
    % PROPERTY  Read any camera property by its SDK identifier.
    %   [VALUE, FLAGS] = CAM.PROPERTY(ID) returns the property's value and its
    %   flags word. ID must be an integer (0 brightness, 1 contrast, 2 hue,
    %   3 saturation, 5 gamma, 20 exposure, 40 gain, 80 colour format, 81 and
    %   82 sensor width and height, others as the SDK defines them).
    %
    %   Command code 39.
      pair = korcam_call('property', 39, obj.Number, id);
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
      korcam_call('setProperty', 40, obj.Number, id, value, flags);
    end

    function range = propertyRange(obj, id)
    % PROPERTYRANGE  Range of any camera property by its SDK identifier.
    %   RANGE = CAM.PROPERTYRANGE(ID) returns [minimum; maximum].
    %
    %   Command code 51.
      range = korcam_call('propertyRange', 51, obj.Number, id);
    end

    function range = gammaRange(obj)
    % GAMMARANGE  Range of the camera's gamma.
    %   RANGE = CAM.GAMMARANGE() returns [minimum; maximum].
    %
    %   Command code 52.
      range = korcam_call('gammaRange', 52, obj.Number);
    end

    function range = contrastRange(obj)
    % CONTRASTRANGE  Range of the camera's contrast.
    %   RANGE = CAM.CONTRASTRANGE() returns [minimum; maximum].
    %
    %   Command code 53.
      range = korcam_call('contrastRange', 53, obj.Number);
    end

    function range = brightnessRange(obj)
    % BRIGHTNESSRANGE  Range of the camera's brightness.
    %   RANGE = CAM.BRIGHTNESSRANGE() returns [minimum; maximum].
    %
    %   Command code 54.
      range = korcam_call('brightnessRange', 54, obj.Number);
    end

    function range = hueRange(obj)
    % HUERANGE  Range of the camera's hue.
    %   RANGE = CAM.HUERANGE() returns [minimum; maximum].
    %
    %   Command code 55.
      range = korcam_call('hueRange', 55, obj.Number);
    end

    function range = saturationRange(obj)
    % SATURATIONRANGE  Range of the camera's saturation.
    %   RANGE = CAM.SATURATIONRANGE() returns [minimum; maximum].
    %
    %   Command code 56.
      range = korcam_call('saturationRange', 56, obj.Number);
    end

    function v = versions(obj)
    % VERSIONS  Firmware, FPGA, API and driver versions and serial number.
    %   V = CAM.VERSIONS() returns a structure with the text fields API,
    %   Driver, Firmware, FPGA, SN and Reserved.
    %
    %   Command code 57.
      v = korcam_call('versions', 57, obj.Number);
    end

    function lines = gpio(obj)
    % GPIO  Read the general-purpose I/O lines.
    %   LINES = CAM.GPIO() returns a row of the two bytes the SDK reports, each
    %   0 to 255.
    %
    %   Command code 34.
      lines = korcam_call('gpio', 34, obj.Number);
    end

    function writeGpo(obj, value)
    % WRITEGPO  Write the general-purpose output lines.
    %   CAM.WRITEGPO(VALUE) sets the outputs to VALUE, 0 to 255 (one bit per
    %   line).
    %
    %   Command code 35.
      korcam_call('writeGpo', 35, obj.Number, value);
    end

    function selectGpo(obj, mask)
    % SELECTGPO  Choose which output lines are under manual control.
    %   CAM.SELECTGPO(MASK) puts the output lines whose bits are set in MASK,
    %   0 to 255, under manual control (WRITEGPO drives them).
    %
    %   Command code 36 (code 61 is the same command).
      korcam_call('selectGpo', 36, obj.Number, mask);
    end

    function oneShotAutoExposure(obj, varargin)
    % ONESHOTAUTOEXPOSURE  Run the SDK's one-shot automatic exposure.
    %   CAM.ONESHOTAUTOEXPOSURE(A, B, C, D, E) passes five integers to the SDK
    %   in this order; their meaning is the camera SDK's (e.g. target level,
    %   then the region x, y, width, height).
    %
    %   Command code 64.
      korcam_call('oneShotAutoExposure', 64, obj.Number, varargin{:});
    end

    function oneShotAutoIris(obj, varargin)
    % ONESHOTAUTOIRIS  Run the SDK's one-shot automatic iris.
    %   CAM.ONESHOTAUTOIRIS(A, B, C, D, E) passes five integers to the SDK in
    %   this order; their meaning is the camera SDK's.
    %
    %   Command code 70.
      korcam_call('oneShotAutoIris', 70, obj.Number, varargin{:});
    end

    function oneShotAutoWhiteBalance(obj, varargin)
    % ONESHOTAUTOWHITEBALANCE  Run the SDK's one-shot automatic white balance.
    %   CAM.ONESHOTAUTOWHITEBALANCE(A, B, C, D) passes four integers to the
    %   SDK in this order; their meaning is the camera SDK's.
    %
    %   Command code 65.
      korcam_call('oneShotAutoWhiteBalance', 65, obj.Number, varargin{:});
    end

    function oneShotAutoWhiteBalanceEx(obj, varargin)
    % ONESHOTAUTOWHITEBALANCEEX  One-shot automatic white balance with two real parameters.
    %   CAM.ONESHOTAUTOWHITEBALANCEEX(X, Y, A, B, C, D) passes two doubles (as
    %   single-precision floats) and four integers to the SDK in this order;
    %   their meaning is the camera SDK's.
    %
    %   Command code 66.
      korcam_call('oneShotAutoWhiteBalanceEx', 66, obj.Number, varargin{:});
    end

    function digitalWhiteBalance(obj, varargin)
    % DIGITALWHITEBALANCE  Run the SDK's digital white balance.
    %   CAM.DIGITALWHITEBALANCE(A, B, C, D) passes four integers to the SDK in
    %   this order; their meaning is the camera SDK's.
    %
    %   Command code 67.
      korcam_call('digitalWhiteBalance', 67, obj.Number, varargin{:});
    end

    function digitalWhiteBalanceEx(obj, varargin)
    % DIGITALWHITEBALANCEEX  Digital white balance with two real parameters.
    %   CAM.DIGITALWHITEBALANCEEX(X, Y, A, B, C, D) passes two doubles (as
    %   single-precision floats) and four integers to the SDK in this order;
    %   their meaning is the camera SDK's.
    %
    %   Command code 68.
      korcam_call('digitalWhiteBalanceEx', 68, obj.Number, varargin{:});
    end

    function initAutoLens(obj, varargin)
    % INITAUTOLENS  Initialise the motorised lens controller.
    %   CAM.INITAUTOLENS(TF) passes the logical TF to the SDK.
    %
    %   Command code 69.
      korcam_call('initAutoLens', 69, obj.Number, varargin{:});
    end

    function startAutoFocus(obj, varargin)
    % STARTAUTOFOCUS  Start an auto-focus operation.
    %   CAM.STARTAUTOFOCUS(A, B, C, D, X, Y, Z, E, F) passes nine integers to
    %   the SDK in this order, X, Y and Z as single-precision floats; their
    %   meaning is the camera SDK's. WAITAUTOFOCUS, AUTOFOCUSPROGRESS and
    %   STOPAUTOFOCUS follow the operation.
    %
    %   Command code 71.
      korcam_call('startAutoFocus', 71, obj.Number, varargin{:});
    end

    function waitAutoFocus(obj, varargin)
    % WAITAUTOFOCUS  Wait for the auto-focus operation to end.
    %   CAM.WAITAUTOFOCUS(TIMEOUT) blocks for as long as the SDK waits, at most
    %   TIMEOUT milliseconds (a double, truncated to whole milliseconds).
    %
    %   Command code 72.
      korcam_call('waitAutoFocus', 72, obj.Number, varargin{:});
    end

    function stopAutoFocus(obj)
    % STOPAUTOFOCUS  Stop the auto-focus operation.
    %   CAM.STOPAUTOFOCUS()
    %
    %   Command code 73.
      korcam_call('stopAutoFocus', 73, obj.Number);
    end

    function progress = autoFocusProgress(obj)
    % AUTOFOCUSPROGRESS  Progress of the auto-focus operation.
    %   P = CAM.AUTOFOCUSPROGRESS() returns the progress value the SDK reports.
    %
    %   Command code 74.
      progress = korcam_call('autoFocusProgress', 74, obj.Number);
    end

    function disp(obj)
    % DISP  Show the camera and every setting that can be read.
    %   DISP(CAM), or CAM without a semicolon, shows whether the camera is
    %   connected and, while it is, each readable setting with its value (see
    %   SETTINGS). SnapshotExposure and SnapshotGain, which the gateway cannot
    %   read back, are marked as the values this object last set or the
    %   connect defaults. A camera that is gone shows the gateway's error.
    %
    %   Command code 6, then the codes of SETTINGS.
      if isempty(obj.Number)
        fprintf('  KorCamera (no camera)\n');
        return;
      end
      try
        connected = KorDispatcher(6, obj.Number);
        if connected
          values = obj.settings();
        end
      catch err
        fprintf('  KorCamera %d: %s\n', obj.Number, strtrim(korcam_gateway_text(err)));
        return;
      end
      if ~connected
        fprintf('  KorCamera %d: not connected (cam.connect() connects it again)\n', obj.Number);
        return;
      end
      fprintf('  KorCamera %d: connected\n', obj.Number);
      korcam_show_settings(values, obj.Stored.setHere);
    end

    function values = settings(obj)
    % SETTINGS  Every readable setting of the camera, as a structure.
    %   S = CAM.SETTINGS() returns a structure with one field per readable
    %   property, Number to SnapshotHardwareTrigger read from the gateway
    %   now, and ReturnedColorSpace. SnapshotExposure and SnapshotGain hold the values this object
    %   last set, or the connect defaults: the gateway has no command that
    %   reads them back. Raises KorCamera:notConnected when the camera is not
    %   connected.
    %
    %   Command codes 6, 8, 11, 12, 19, 21, 23, 25, 27, 29, 31, 33, 41, 43,
    %   45, 47, 49, 58, 59, 60, 62 (no command code for SnapshotExposure and
    %   SnapshotGain).
      names = {'Number', 'Connected', 'CameraId', 'PixelDepth', 'UsbInterface', 'FrameSize', 'Offset', ...
               'FrameRate', 'Video16Bit', 'FrameFormat', 'LiveExposure', 'LiveGain', 'Gamma', 'Contrast', ...
               'Brightness', 'Hue', 'Saturation', 'SnapshotExposure', 'SnapshotGain', 'SyncSnapshot16Bit', ...
               'SnapshotColorGains', 'SnapshotStrobe', 'SnapshotStrobeDelay', 'SnapshotHardwareTrigger', ...
               'ReturnedColorSpace'};
      values = struct();
      for i = 1:numel(names)
        values.(names{i}) = obj.(names{i});
      end
    end

    function value = get(obj, name)
    % GET  One setting by name, or all of them.
    %   S = GET(CAM) returns every readable setting as a structure (see
    %   SETTINGS); V = GET(CAM, NAME) the value of the property NAME.
    %
    %   No command code of its own: the codes of the properties read.
      if nargin < 2
        value = obj.settings();
      else
        value = obj.(name);
      end
    end

    % Read-only properties.

    function value = get.Connected(obj)
      value = korcam_call('Connected', 6, obj.Number);
    end

    function value = get.UsbInterface(obj)
      value = korcam_call('UsbInterface', 58, obj.Number);
    end

    function value = get.CameraId(obj)
      value = korcam_call('CameraId', 59, obj.Number);
    end

    function value = get.PixelDepth(obj)
      value = korcam_call('PixelDepth', 60, obj.Number);
    end

    % Frame geometry, rate and bit depth.

    function value = get.FrameSize(obj)
      value = korcam_call('FrameSize', 12, obj.Number);
    end

    function set.FrameSize(obj, value)
      korcam_require_elements(value, 2, 'FrameSize', '[width height]');
      korcam_call('FrameSize', 2, obj.Number, value(1), value(2));
    end

    function value = get.Offset(obj)
      value = korcam_call('Offset', 8, obj.Number);
    end

    function set.Offset(obj, value)
      korcam_require_elements(value, 2, 'Offset', '[x y]');
      korcam_call('Offset', 9, obj.Number, value(1), value(2));
    end

    function value = get.FrameRate(obj)
      value = korcam_call('FrameRate', 33, obj.Number);
    end

    function set.FrameRate(obj, value)
      korcam_call('FrameRate', 3, obj.Number, value);
    end

    function value = get.Video16Bit(obj)
      value = korcam_call('Video16Bit', 11, obj.Number);
    end

    function set.Video16Bit(obj, value)
      korcam_call('Video16Bit', 10, obj.Number, value);
    end

    function value = get.FrameFormat(obj)
      value = korcam_call('FrameFormat', 62, obj.Number);
    end

    function set.FrameFormat(obj, value)
      korcam_call('FrameFormat', 63, obj.Number, value);
    end

    % The camera's live values.

    function value = get.LiveExposure(obj)
      value = korcam_call('LiveExposure', 31, obj.Number);
    end

    function set.LiveExposure(obj, value)
      korcam_call('LiveExposure', 30, obj.Number, value);
    end

    function value = get.LiveGain(obj)
      value = korcam_call('LiveGain', 29, obj.Number);
    end

    function set.LiveGain(obj, value)
      korcam_call('LiveGain', 28, obj.Number, value);
    end

    function value = get.Gamma(obj)
      value = korcam_call('Gamma', 41, obj.Number);
    end

    function set.Gamma(obj, value)
      korcam_call('Gamma', 42, obj.Number, value);
    end

    function value = get.Contrast(obj)
      value = korcam_call('Contrast', 43, obj.Number);
    end

    function set.Contrast(obj, value)
      korcam_call('Contrast', 44, obj.Number, value);
    end

    function value = get.Brightness(obj)
      value = korcam_call('Brightness', 45, obj.Number);
    end

    function set.Brightness(obj, value)
      korcam_call('Brightness', 46, obj.Number, value);
    end

    function value = get.Hue(obj)
      value = korcam_call('Hue', 47, obj.Number);
    end

    function set.Hue(obj, value)
      korcam_call('Hue', 48, obj.Number, value);
    end

    function value = get.Saturation(obj)
      value = korcam_call('Saturation', 49, obj.Number);
    end

    function set.Saturation(obj, value)
      korcam_call('Saturation', 50, obj.Number, value);
    end

    % The stored snapshot settings.

    function value = get.SnapshotExposure(obj)
      value = obj.Stored.exposure;
    end

    function set.SnapshotExposure(obj, value)
      korcam_call('SnapshotExposure', 15, obj.Number, value);
      % What the gateway now holds: the value as a 32-bit float.
      obj.Stored.exposure = double(single(value));
      obj.Stored.setHere(1) = true;
    end

    function value = get.SnapshotGain(obj)
      value = obj.Stored.gain;
    end

    function set.SnapshotGain(obj, value)
      korcam_call('SnapshotGain', 17, obj.Number, value);
      obj.Stored.gain = double(single(value));
      obj.Stored.setHere(2) = true;
    end

    function value = get.SyncSnapshot16Bit(obj)
      value = korcam_call('SyncSnapshot16Bit', 19, obj.Number);
    end

    function set.SyncSnapshot16Bit(obj, value)
      korcam_call('SyncSnapshot16Bit', 18, obj.Number, value);
    end

    function value = get.SnapshotColorGains(obj)
      value = korcam_call('SnapshotColorGains', 21, obj.Number);
    end

    function set.SnapshotColorGains(obj, value)
      korcam_require_elements(value, 4, 'SnapshotColorGains', '[red green1 green2 blue]');
      korcam_call('SnapshotColorGains', 20, obj.Number, value(1), value(2), value(3), value(4));
    end

    function value = get.SnapshotStrobe(obj)
      value = korcam_call('SnapshotStrobe', 23, obj.Number);
    end

    function set.SnapshotStrobe(obj, value)
      korcam_call('SnapshotStrobe', 22, obj.Number, value);
    end

    function value = get.SnapshotStrobeDelay(obj)
      value = korcam_call('SnapshotStrobeDelay', 25, obj.Number);
    end

    function set.SnapshotStrobeDelay(obj, value)
      korcam_call('SnapshotStrobeDelay', 24, obj.Number, value);
    end

    function value = get.SnapshotHardwareTrigger(obj)
      value = korcam_call('SnapshotHardwareTrigger', 27, obj.Number);
    end

    function set.SnapshotHardwareTrigger(obj, value)
      korcam_call('SnapshotHardwareTrigger', 26, obj.Number, value);
    end
  end

  methods (Static)
    function n = count()
    % COUNT  Number of cameras attached to the computer.
    %   N = KORCAMERA.COUNT() returns the SDK's count; -1 when the SDK cannot
    %   count them.
    %
    %   Command code 37.
      n = korcam_call('count', 37);
    end

    function cameras = list()
    % LIST  Versions and serial numbers of every attached camera.
    %   CAMERAS = KORCAMERA.LIST() returns an N-by-1 structure array, one
    %   element per camera in the SDK's order, with the text fields API,
    %   Driver, Firmware, FPGA, SN and Reserved. Raises an error when no
    %   camera is attached.
    %
    %   Command code 38.
      cameras = korcam_call('list', 38);
    end

    function images = syncSnapshot(colorSpace)
    % SYNCSNAPSHOT  One snapshot of every connected camera, taken together.
    %   IMAGES = KORCAMERA.SYNCSNAPSHOT() needs at least two connected cameras.
    %   Each uses its stored snapshot settings, format and SyncSnapshot16Bit
    %   included. IMAGES is [H W 3 K], K the number of connected cameras in
    %   ascending camera number, H and W the largest height and width; each
    %   picture fills the top left of its block. uint8, or uint16 when any
    %   camera delivers 16-bit samples.
    %
    %   A camera whose SyncSnapshot16Bit is true but whose sensor has no
    %   16-bit samples (PixelDepth 8) would make the whole call fail: that is
    %   refused first, naming the camera (KorCamera:no16BitSamples).
    %
    %   IMAGES = KORCAMERA.SYNCSNAPSHOT('grayscale') returns [H W 1 K], one
    %   grey page per camera, as ReturnedColorSpace 'grayscale' does (code
    %   132 in place of 32); 'rgb' is the default.
    %
    %   Command code 32 (after 37, 6, 19 and 60 for each camera).
      if nargin < 1
        colorSpace = 'rgb';
      end
      grey = strcmp(korcam_color_space(colorSpace), 'grayscale');
      korcam_check_sync_depths();
      images = korcam_call('syncSnapshot', 32 + 100 * grey);
    end

    function cameras = info()
    % INFO  The attached cameras: number, id, model, sensor, colour, depth, connected.
    %   KORCAMERA.INFO() prints one row per attached camera: its number, its
    %   camera id in hexadecimal, the model name where the id is a known model,
    %   the sensor size, colour or monochrome, the sensor's pixel depth, and
    %   whether the gateway holds it connected. It says so when no camera is
    %   attached.
    %   CAMERAS = KORCAMERA.INFO() returns the same as an N-by-1 structure
    %   array with the fields Number, CameraId, Model, SensorSize ([width;
    %   height]), Color (logical), PixelDepth, Connected and Note (why a
    %   camera could not be read, else empty).
    %
    %   A camera that is not connected is connected for the reading and
    %   disconnected again, so each camera is left as it was found. A camera
    %   that cannot be opened (another program holds it) is listed with
    %   what is known and a note.
    %
    %   Command codes 37, 6, -1, 59, 39 (properties 80 to 82), 60, -2.
      count = korcam_call('info', 37);
      cameras = korcam_camera_rows(count);
      if nargout == 0
        korcam_show_cameras(cameras, count);
        clear cameras;
      end
    end

    function reset()
    % RESET  Stop every preview and close every camera the gateway holds.
    %   KORCAMERA.RESET() unloads KorDispatcher: its unload hook stops every
    %   running preview and closes every camera it holds, also those whose
    %   KorCamera objects are lost (left in ANS, cleared with the workspace)
    %   and those unplugged while connected. It is the way out of
    %   "Camera 1 already connected." when no object is left to disconnect.
    %   Objects made before the reset no longer disconnect anything; make new
    %   ones. CLEAR KorDispatcher unloads the gateway too, but objects made
    %   before it still disconnect their camera numbers when deleted.
    %
    %   No command code: unloads the gateway.
      korcam_session('renew');
      if exist('OCTAVE_VERSION', 'builtin')
        clear('-f', 'KorDispatcher');
      else
        clear('KorDispatcher');
      end
    end
  end

  methods
    function set.ReturnedColorSpace(obj, value)
      obj.ReturnedColorSpace = korcam_color_space(value);
    end
  end
end
