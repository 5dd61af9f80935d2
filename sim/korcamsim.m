function varargout = korcamsim(varargin)
%KORCAMSIM  Control of the virtual cameras (libkorcamapi), a MEX file.
%  korcamsim('reset')                      default rig, no faults, empty call log, all closed,
%                                          pacing on, a foreground window present
%  korcamsim('rig', cams)                  attach the cameras of struct array cams; fields (each
%                                          optional, defaults as camera 1): id, color, maxWidth,
%                                          maxHeight, bits16, littleEndian, strobeDuration,
%                                          frameRates, firmware, fpga, api, driver, serial,
%                                          reserved, interface, pixelDepth
%  korcamsim('reattach')                   unplug and re-plug every camera: all handles become
%                                          invalid, the cameras come back as at power-up
%  korcamsim('count', n)                   KorcamNumCameras reports n (-1: the call fails); the
%                                          cameras above n are unplugged: calls on them fail, code 2
%  korcamsim('count')                      undo: every camera of the rig plugged in again
%  korcamsim('fail', op, code)             every later call of operation op (below) fails, and
%                                          KorcamGetLastError then answers code
%  korcamsim('fail', op, code, count, skip)  the same for count calls only (Inf: every one), after
%                                          skip calls pass; ('fail', op, code, 1, 0): the next call
%  korcamsim('fail')                       clear every fault
%  c = korcamsim('calls')                  call log: struct array with op, camera, args
%  korcamsim('calls', 'clear')             empty the call log
%  s = korcamsim('state', n)               camera n: open, handles, streaming, window, fastFrames,
%                                          width ... pixelFormat, frameRate, snapshot, frames,
%                                          gpio, gpoMask, focusProgress
%  [raw, w, h, pf] = korcamsim('lastframe', n)  last frame camera n delivered (uint8 column)
%  bgr = korcamsim('convert', n, raw, w, h, pf) the library's RGB conversion of a raw frame of
%                                          camera n: blue, green, red per pixel (uint8 or uint16)
%  korcamsim('set', n, id, value[, flags]) store a property's value (and flags word) directly
%  korcamsim('format', n, f)               force camera n's current format to struct f (fields as
%                                          in 'state': width ... pixelFormat, missing ones kept),
%                                          unchecked
%  korcamsim('foreground', tf)             whether GetForegroundWindow answers a window
%  korcamsim('pace', tf)                   pace video and fast frames to the frame rate, and let
%                                          triggered frames wait out their timeout (on by default)
%Operations op that 'fail' takes (every one of korcam.h but KorcamGetLastError), by role:
%  cameras       KorcamNumCameras KorcamEnumCameras KorcamCameraOpen KorcamCameraClose
%                KorcamGetCameraId KorcamQueryVersion KorcamQueryExternInterface
%                KorcamGetTruePixelDepth
%  format        KorcamGetFormat KorcamSetFormat KorcamEnumAvailableFrameRates
%  video         KorcamStreamVideoControl KorcamTakeVideo KorcamDestroyDisplayWindow
%                KorcamDisplayPropertyPage
%  frames        KorcamTakeSnapshot KorcamTakeFastFrame (the acquisition adaptor's frames)
%                KorcamEnableFastFrames KorcamDisableFastFrames KorcamConvertFrameToRgb24
%                KorcamConvertFrameToRgb48
%  synchronous   KorcamEnableSynchronousSnapshots KorcamTakeSynchronousSnapshots
%                KorcamDisableSynchronousSnapshots
%  properties    KorcamGetProperty KorcamSetProperty KorcamPropertyRange
%  GPIO          KorcamGpioRead KorcamGpioWrite KorcamGpoSelect
%  adjustments   KorcamOneShotAutoExposure KorcamOneShotAutoIris KorcamOneShotAutoWhiteBalance
%                KorcamOneShotAutoWhiteBalanceEx KorcamDigitalWhiteBalance
%                KorcamDigitalWhiteBalanceEx
%  lens          KorcamInitAutoLens KorcamAutoFocusStart KorcamAutoFocusWait KorcamAutoFocusStop
%                KorcamAutoFocusQueryProgress
%Unplugging the cameras (while one acquires, say) and plugging them back in:
%  korcamsim('count', 0)                   unplugged: none is found, calls on open ones fail, code 2
%  korcamsim('count'); korcamsim('reattach')  back, with new handles, each as at power-up
%A fault in one call only: the 11th fast frame fails with code 2, the calls around it pass:
%  korcamsim('fail', 'KorcamTakeFastFrame', 2, 1, 10)
%
%   The virtual cameras deliver video and fast frames at their frame rate,
%   as cameras do; korcamsim('pace', false) lets a test take them as fast as
%   they are drawn. KORCAMSIM with no argument prints the commands above.
%
%   This file holds the help only; the command is the MEX file beside it.
  error('korcamsim:notBuilt', ...
        ['korcamsim.m holds only the help of the virtual cameras'' control: put the folder of ' ...
         'the MEX file korcamsim (built with the project) ahead of this one on the path.']);
end
