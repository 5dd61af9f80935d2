function cases = test_getdata_memory()
% Where getdata's array comes from and what an acquisition leaves in memory:
% the array Octave makes itself, the host's own array when that call fails,
% and the resident size after a long acquisition fetched in parts.
  cases = {
    'getdata fills Octave''s array, or the host''s when zeros fails', @array_sources
    '1000 frames fetched in ten getdata calls leave < 10 frames resident', @resident_after_long_run
  };
end

function fresh()
  clear -f korvideoinput;
  korcamsim('reset');
  korcamsim('pace', false);
end

function img = expected_image(cam)
  [raw, w, h, pf] = korcamsim('lastframe', cam);
  bgr = korcamsim('convert', cam, raw, w, h, pf);
  img = permute(reshape(bgr, 3, w, h), [3 2 1]);
  img = img(end:-1:1, :, end:-1:1);
end

function array_sources()
  fresh();
  vid = KorVideoInput(1, '640x480');
  vid.FramesPerTrigger = 1;
  start(vid);
  kt_equal(getdata(vid), expected_image(1), 'Octave''s zeros');

  % A zeros of the caller's that fails, or gives another class, leaves the
  % host's own array: the same frames.
  scratch = kt_scratch_folder();
  warning('off', 'Octave:shadowed-function', 'local');
  shadows = {'error(''no zeros here'');', 'z = true(varargin{1:end - 1});'};
  for k = 1:numel(shadows)
    fid = fopen(fullfile(scratch.path, 'zeros.m'), 'w');
    fprintf(fid, 'function z = zeros(varargin)\n%s\nend\n', shadows{k});
    fclose(fid);
    addpath(scratch.path);
    unwind_protect
      clear zeros;
      kt_equal(which('zeros'), fullfile(scratch.path, 'zeros.m'), 'the shadow is in place');
      start(vid);
      data = getdata(vid);
    unwind_protect_cleanup
      rmpath(scratch.path);
      clear zeros;
    end_unwind_protect
    kt_equal(data, expected_image(1), 'the host''s array, shadow %d', k);
  end
  delete(vid);
end

function kib = resident_kib()
  status = fileread('/proc/self/status');
  kib = str2double(regexp(status, 'VmRSS:\s*(\d+)', 'tokens', 'once'));
end

function resident_after_long_run()
  fresh();
  % Paced at 30 frames a second, so that getdata keeps up and the log stays
  % far below its memory limit.
  korcamsim('rig', struct('id', 1, 'frameRates', 30));
  korcamsim('pace', true);
  frame_kib = 1280 * 1024 * 3 / 1024;
  vid = KorVideoInput(1, '1280x1024');
  % Everything loaded and the buffers the log keeps for reuse taken before
  % the first reading.
  vid.FramesPerTrigger = 20;
  start(vid);
  getdata(vid, 20);
  wait(vid);
  before = resident_kib();

  vid.FramesPerTrigger = 1000;
  start(vid);
  for k = 1:10
    data = getdata(vid, 100);
    kt_equal(size(data), [1024 1280 3 100], 'part %d', k);
  end
  clear data;
  wait(vid);
  kt_equal(vid.FramesAvailable, 0);
  grown = resident_kib() - before;
  allowed = 10 * frame_kib;
  if ~isempty(getenv('KORCAM_PRELOAD_SANITIZER'))
    % The address sanitizer keeps the shadow of the largest array it has
    % seen, an eighth of its 100 frames, resident as well.
    allowed = allowed + 100 * frame_kib / 8;
  end
  kt_true(grown < allowed, 'resident size grew by %.1f frames', grown / frame_kib);
  delete(vid);
end
