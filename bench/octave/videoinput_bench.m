function videoinput_bench(reps, frames)
% VIDEOINPUT_BENCH(REPS, FRAMES) measures KorVideoInput on virtual camera 1 at
% 1280x1024 against yardsticks taken in the same run, and prints each ratio on
% a line of its own, named for it (NAME: RATIO (...)):
%  - getdata_vs_zeros: the whole getdata(vid, 100) call against Octave
%    allocating the same array, zeros(1024, 1280, 3, 100, 'uint8'), wall time,
%    medians of REPS (default 5), interleaved; unpaced camera;
%  - peekdata_vs_zeros, grey_getdata_vs_zeros: the same for peekdata and for
%    grey frames (ReturnedColorSpace 'grayscale', against a [1024 1280 1 100]
%    zeros), run where KorVideoInput has them, otherwise skipped with the
%    reason printed;
%  - acquisition_paced_vs_korvix: frames per second of process CPU time over
%    an acquisition of FRAMES frames (default 100), paced at the camera's
%    rate, against the korvix tool acquiring as many from the same camera
%    (its start-up taken out);
%  - acquisition_unpaced_vs_korvix: the same acquisition unpaced, against the
%    same korvix figure (korvix's virtual cameras are always paced; pacing
%    adds waits, not work).
% Needs korvideoinput, korcamsim and korvix of one build on the path.
  if nargin < 1
    reps = 5;
  end
  if nargin < 2
    frames = 100;
  end
  korcamsim('reset');
  korcamsim('pace', false);
  fprintf('KorVideoInput benchmark, camera 1 at 1280x1024; load average %s', fileread('/proc/loadavg'));

  vid = KorVideoInput(1, '1280x1024');
  vid.FramesPerTrigger = 100;
  [call, alloc] = time_fetch(vid, @() getdata(vid, 100), [1024 1280 3 100], reps);
  print_ratio('getdata_vs_zeros', call, alloc, 'getdata(vid, 100)', 'zeros(1024, 1280, 3, 100, ''uint8'')', 1.3);

  if ismethod(vid, 'peekdata')
    [call, alloc] = time_fetch(vid, @() peekdata(vid, 100), [1024 1280 3 100], reps);
    print_ratio('peekdata_vs_zeros', call, alloc, 'peekdata(vid, 100)', 'zeros(1024, 1280, 3, 100, ''uint8'')', 1.3);
  else
    fprintf('peekdata_vs_zeros: skipped: KorVideoInput has no peekdata method in this build\n');
  end
  if isprop(vid, 'ReturnedColorSpace')
    vid.ReturnedColorSpace = 'grayscale';
    [call, alloc] = time_fetch(vid, @() getdata(vid, 100), [1024 1280 1 100], reps);
    vid.ReturnedColorSpace = 'rgb';
    print_ratio('grey_getdata_vs_zeros', call, alloc, 'getdata(vid, 100), grey', ...
                'zeros(1024, 1280, 1, 100, ''uint8'')', 1.3);
  else
    fprintf('grey_getdata_vs_zeros: skipped: KorVideoInput has no ReturnedColorSpace property in this build\n');
  end

  vid.FramesPerTrigger = frames;
  KorVideoInput.memoryLimit(max(2^30, 1280 * 1024 * 3 * frames * 1.1));
  unpaced = acquisition_cpu(vid, frames, reps);
  korcamsim('pace', true);
  paced = acquisition_cpu(vid, frames, reps);
  delete(vid);
  KorVideoInput.memoryLimit(2^30);

  % korvix is a process of its own: its start-up (loading, catalogue) is
  % taken out by timing a short run too and keeping the difference.
  korvix = fullfile(fileparts(which('korvideoinput')), 'korvix');
  few = 20;
  kcpu = zeros(reps, 2);
  for r = 1:reps
    kcpu(r, :) = [korvix_cpu(korvix, frames), korvix_cpu(korvix, few)];
  end
  korvix_rate = (frames - few) / median(kcpu(:, 1) - kcpu(:, 2));
  fprintf('korvix acquire, paced: %.0f frames per CPU second beyond its start-up (%.0f for the whole process)\n', ...
          korvix_rate, frames / median(kcpu(:, 1)));
  fprintf('KorVideoInput acquisition of %d frames: %.0f frames per CPU second paced, %.0f unpaced\n', frames, ...
          frames / median(paced), frames / median(unpaced));
  fprintf('acquisition_paced_vs_korvix: %.2f (goal >= 0.9)\n', frames / median(paced) / korvix_rate);
  fprintf('acquisition_unpaced_vs_korvix: %.2f (goal >= 0.9)\n', frames / median(unpaced) / korvix_rate);
end

function [call, alloc] = time_fetch(vid, fetch, dims, reps)
% Wall times of FETCH after an acquisition of 100 frames, and of Octave
% allocating an array of DIMS, interleaved.
  call = zeros(reps, 1);
  alloc = zeros(reps, 1);
  for r = 1:reps
    start(vid);
    wait(vid, 60);
    tic;
    data = fetch();
    call(r) = toc;
    clear data;
    if vid.FramesAvailable > 0
      getdata(vid, vid.FramesAvailable);
    end
    tic;
    same = zeros(dims, 'uint8');
    alloc(r) = toc;
    clear same;
  end
end

function print_ratio(name, call, alloc, what, yardstick, goal)
  fprintf('%s: %.2f (goal <= %.1f; %s median %.1f ms, %s median %.1f ms)\n', name, median(call) / median(alloc), ...
          goal, what, 1000 * median(call), yardstick, 1000 * median(alloc));
end

function cpu = acquisition_cpu(vid, frames, reps)
% Process CPU seconds from start until the acquisition has ended; a first
% run, which also opens the camera, is left out.
  cpu = zeros(reps, 1);
  for r = 0:reps
    before = cputime();
    start(vid);
    wait(vid, 120);
    if r > 0
      cpu(r) = cputime() - before;
    end
    getdata(vid, frames);
  end
end

function seconds = korvix_cpu(korvix, frames)
% User and system CPU seconds of one korvix acquisition, as the shell counts them.
  [status, out] = system(sprintf(['bash -c ''TIMEFORMAT="%%U %%S"; { time "%s" acquire --camera 1 ' ...
                                  '--format 1280x1024 --frames %d >/dev/null 2>&1; } 2>&1'''], korvix, frames));
  t = sscanf(out, '%f %f');
  if status ~= 0 || numel(t) ~= 2
    error('videoinput_bench:korvix', 'korvix failed: %s', out);
  end
  seconds = sum(t);
end
