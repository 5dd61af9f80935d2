function varargout = KorDispatcher(varargin)
%KORDISPATCHER  Camera commands of the Korcam gateway (a MEX file).
%   OUT = KORDISPATCHER(CODE, N, ...) runs command CODE for camera N (1 to
%   10) and returns its result. Errors are raised with the gateway's own
%   messages. The named API KorCamera calls these commands for you: see
%   HELP KorCamera. Codes without a command return at once and do nothing.
%
%   Connection and preview
%     -1 connect N             -2 disconnect N          6 is N connected
%      0 start preview N        1 stop preview N        5 property page N
%   Frame geometry, rate and bit depth
%      2 set size (N, W, H)     12 get size [W; H]      4 frame rates offered
%      9 set offset (N, X, Y)    8 get offset [X; Y]     3 set rate (N, fps)
%     33 get rate               10 set 16-bit (N, tf)   11 get 16-bit
%     62 get format structure   63 set format structure (N, S)
%   Frames, returned as [H W 3] uint8 or uint16 arrays, pages red, green, blue
%      7 video frame N (preview running)   13 snapshot N
%     32 synchronous snapshots of every connected camera, [H W 3 K]
%   Grey frames, one [H W] page per image: a monochrome camera's samples or
%   a colour camera's luminance (the same parameters and messages)
%    107 grey video frame N  113 grey snapshot N  132 grey synchronous, [H W 1 K]
%   Stored snapshot settings (set / get)
%     15 exposure (set only)    17 gain (set only)      18 / 19 16-bit
%     20 / 21 colour gains [red green1 green2 blue]     22 / 23 strobe
%     24 / 25 strobe delay      26 / 27 hardware trigger
%     14 exposure range         16 gain range
%   Live values of the camera (set / get)
%     30 / 31 exposure    28 / 29 gain        42 / 41 gamma     44 / 43 contrast
%     46 / 45 brightness  48 / 47 hue         50 / 49 saturation
%     40 / 39 property (N, id, value, flags) / (N, id)        51 property range
%     ranges: 52 gamma  53 contrast  54 brightness  55 hue  56 saturation
%   Identity and versions
%     37 number of cameras      38 versions of every camera     57 versions of N
%     58 USB interface          59 camera id                    60 true pixel depth
%   One-shot adjustments, lens and auto-focus
%     64 auto exposure   65, 66 auto white balance   67, 68 digital white balance
%     69 initialise the lens (N, tf)   70 auto iris
%     71 start auto-focus   72 wait (N, ms)   73 stop   74 progress
%   General-purpose I/O
%     34 read GPIO [first second]   35 write GPO (N, value)   36, 61 select GPO (N, mask)
%
%   Example (camera 1, a snapshot with a stored exposure):
%     KorDispatcher(-1, 1);
%     KorDispatcher(15, 1, 20);
%     img = KorDispatcher(13, 1);
%     KorDispatcher(-2, 1);
%
%   This file holds the help only; the command is the MEX file beside it.
  error('KorDispatcher:notBuilt', ...
        ['KorDispatcher.m holds only the help of the gateway: put the folder of the MEX file ' ...
         'KorDispatcher (build it with build_korcam) ahead of this one on the path.']);
end
