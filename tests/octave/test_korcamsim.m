function cases = test_korcamsim()
% The control interface of the virtual cameras, korcamsim.mex, in the same
% Octave process as KorDispatcher.mex: both act on one libkorcamapi.
  cases = {
    'state of the default rig',                     @default_state
    'rig replaces the cameras, count overrides',     @rig_and_count
    'faults and the call log',                       @faults_and_calls
    'lastframe and convert match a snapshot',        @lastframe_and_convert
    'set and foreground',                            @set_and_foreground
    'video paced by default',                        @video_paced_by_default
    'bad arguments raise clear errors',              @bad_arguments
    'reattach invalidates every handle',             @reattach
    'unplug and re-plug as the help shows them',     @unplug_and_replug_from_help
  };
end

function default_state()
  s = korcamsim('state', 2);
  kt_equal(s.open, false);
  kt_equal([s.width, s.height, s.xOffset, s.yOffset, s.pixelFormat, s.frameRate], [2048, 1536, 0, 0, 0, 15]);
  kt_equal([s.xBinSub, s.yBinSub, s.xFlags, s.yFlags], [1, 1, 0, 0]);
  kt_true(isstruct(s.snapshot.format), 'snapshot format is a struct');
  KorDispatcher(-1, 2);
  s = korcamsim('state', 2);
  kt_equal([s.open, s.streaming, s.window, s.fastFrames], [true, false, false, false]);
  kt_equal(s.snapshot.exposure, 0, 'no snapshot handed to the SDK yet');
  KorDispatcher(0, 2);
  s = korcamsim('state', 2);
  kt_equal([s.streaming, s.window], [true, true]);
end

function rig_and_count()
  cams = struct('id', {5, 6}, 'color', {false, true}, 'maxWidth', {320, []}, 'maxHeight', {240, []}, ...
                'frameRates', {[5 10], []}, 'serial', {77, 78});
  korcamsim('rig', cams);
  kt_equal(KorDispatcher(37), 2);
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(59, 1), 5);
  kt_equal(KorDispatcher(4, 1), [5 10]);
  kt_equal(KorDispatcher(12, 1), [320; 240]);
  s = korcamsim('state', 2);
  kt_equal([s.width, s.height, s.frameRate], [1280, 1024, 15], 'unset fields take camera 1''s defaults');
  korcamsim('count', 1);
  kt_equal(KorDispatcher(37), 1);
  korcamsim('count', -1);
  kt_equal(KorDispatcher(37), -1);
  korcamsim('count');
  kt_equal(KorDispatcher(37), 2);
end

function faults_and_calls()
  korcamsim('fail', 'KorcamNumCameras', 9, 2, 1);
  kt_equal(arrayfun(@(k) KorDispatcher(37), 1:4), [3, -1, -1, 3]);
  korcamsim('fail', 'KorcamCameraOpen', 33);
  kt_error(@() KorDispatcher(-1, 1), "An error has occured while opening a connection to the camera.\n");
  korcamsim('fail');
  korcamsim('calls', 'clear');
  KorDispatcher(-1, 3);
  c = korcamsim('calls');
  kt_equal(size(c), [3, 1]);
  kt_equal({c.op}, {'KorcamNumCameras', 'KorcamCameraOpen', 'KorcamGetFormat'});
  kt_equal([c.camera], [0, 3, 3]);
  kt_equal(c(2).args, 3);
  kt_equal(c(3).args, zeros(1, 0));
  korcamsim('calls', 'clear');
  kt_equal(size(korcamsim('calls')), [0, 1]);
end

function lastframe_and_convert()
  [raw, w, h, pf] = korcamsim('lastframe', 3);
  kt_equal([numel(raw), w, h, pf], [0, 0, 0, 0], 'no frame yet');
  KorDispatcher(-1, 3);
  img = KorDispatcher(13, 3);
  [raw, w, h, pf] = korcamsim('lastframe', 3);
  kt_equal(class(raw), 'uint8');
  kt_equal([size(raw), w, h, pf], [640 * 480, 1, 640, 480, 0]);
  bgr = reshape(korcamsim('convert', 3, raw, w, h, pf), 3, w, h);
  % buffer rows run bottom-up, samples blue, green, red
  kt_equal(img, permute(bgr([3 2 1], :, end:-1:1), [3 2 1]));
  % the colour bars left to right along the picture's top
  bars = squeeze(img(200, 40:80:end, :)) > 0;
  kt_equal(double(bars), [1 1 1; 1 1 0; 0 1 1; 0 1 0; 1 0 1; 1 0 0; 0 0 1; 0 0 0]);

  KorDispatcher(-1, 2);
  KorDispatcher(10, 2, true);
  img = KorDispatcher(13, 2);
  [raw, w, h, pf] = korcamsim('lastframe', 2);
  kt_equal([numel(raw), pf], [2 * 2048 * 1536, 1]);
  samples = korcamsim('convert', 2, raw, w, h, pf);
  kt_equal(class(samples), 'uint16');
  kt_equal(img(end, 1:4, 1), reshape(samples(1:3:12), 1, 4));
end

function set_and_foreground()
  KorDispatcher(-1, 2);
  korcamsim('set', 2, 80, 0, 2147483648);
  kt_equal(KorDispatcher(39, 2, 80), [0, -2147483648]);
  korcamsim('set', 2, 1000, 7);
  kt_equal(KorDispatcher(39, 2, 1000), [7, 0]);
  korcamsim('foreground', false);
  kt_error(@() KorDispatcher(5, 2), 'Foreground Window NULL');
  korcamsim('foreground', true);
  KorDispatcher(5, 2);
end

% Video frames come at the camera's frame rate after a reset, as from a
% camera: four frames of camera 3 at 15 frames/s take at least three frame
% periods (a loaded machine makes them late, never early).
function video_paced_by_default()
  KorDispatcher(-1, 3);
  kt_equal(KorDispatcher(33, 3), 15, 'frame rate');
  KorDispatcher(0, 3);
  started = tic();
  for i = 1:4
    KorDispatcher(7, 3);
  end
  kt_true(toc(started) >= 3 / 15 - 1e-6, 'four paced frames took %.3f s', toc(started));
  KorDispatcher(1, 3);
end

function bad_arguments()
  bad = {
    {'bogus'}
    {'state', 4}
    {'state', 0}
    {'state', 1.5}
    {'state', 'x'}
    {'lastframe', 9}
    {'fail', 'KorcamGetFormt', 3}
    {'fail', 'KorcamGetLastError', 3}
    {'fail', 'KorcamGetFormat'}
    {'fail', 'KorcamGetFormat', -1}
    {'fail', 'KorcamGetFormat', 3, 1}
    {'count', -2}
    {'rig', struct('colour', true)}
    {'rig', struct('maxWidth', 0)}
    {'rig', struct('frameRates', [15 NaN])}
    {'rig', struct('frameRates', sparse([15 0 30]))}
    {['reset' char(0) 'x']}
    {'reattach', 1}
    {'rig', struct('id', -1)}
    {'rig', 5}
    {'convert', 1, uint8(1:5), 2, 2, 0}
    {'convert', 1, 1:4, 2, 2, 0}
    {'set', 7, 1, 1}
    {'calls', 'clean'}
  };
  for i = 1:numel(bad)
    args = bad{i};
    raised = false;
    try
      korcamsim(args{:});
    catch err
      raised = true;
      kt_true(numel(err.message) > 20, 'message of case %d: "%s"', i, err.message);
    end
    kt_true(raised, 'no error for case %d', i);
  end
  kt_equal(korcamsim('state', 1).open, false, 'state unchanged after the errors');
end

function reattach()
  KorDispatcher(-1, 1);
  kt_equal(korcamsim('state', 1).handles, 1);
  korcamsim('fail', 'KorcamGetFormat', 87, 1, 5);
  korcamsim('reattach');
  s = korcamsim('state', 1);
  kt_equal([s.open s.handles], [false 0], 'the gateway''s handle is gone');
  calls = korcamsim('calls');
  kt_true(any(strcmp({calls.op}, 'KorcamCameraOpen')), 'the call log stays');
  kt_equal(KorDispatcher(37), 3, 'the rig stays');
end

% The two lines of the help's unplug example, run as written: unplugged, no
% camera is found and the open one stops answering; plugged in again, all
% are found and the gateway's old handle is gone.
function unplug_and_replug_from_help()
  example = regexp(get_help_text('korcamsim'), 'Unplugging[^\n]*\n([^\n]*)\n([^\n]*)', 'tokens', 'once');
  kt_equal(numel(example), 2, 'the help shows an unplug and a re-plug');
  code = regexprep(strtrim(example), '\s{2,}.*$', '');
  KorDispatcher(-1, 1);
  eval(code{1});
  kt_equal(KorDispatcher(37), 0, 'unplugged: no camera found');
  kt_raised(@() KorDispatcher(33, 1), 'an error', 'the unplugged camera: ');
  eval(code{2});
  kt_equal(KorDispatcher(37), 3, 'plugged in again');
  kt_equal(korcamsim('state', 1).handles, 0, 'the handles before the unplug are gone');
end
