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
%  korcamsim('count', n) / ('count')       KorcamNumCameras reports n (-1: fails) / undo
%  korcamsim('fail', op, code[, count, skip])  later calls of op fail with last error code
%                                          (after skip calls pass, count times; count Inf = always)
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
