function videoinput_bench(reps, frames)
% VIDEOINPUT_BENCH(REPS, FRAMES) measures KorVideoInput on virtual camera 1 at
% 1280x1024:
%  - getdata of 100 logged frames, the whole call (median of REPS, default 5),
%    against copying the same bytes in Octave (unpaced camera);
%  - frames per second of process CPU time over an acquisition of FRAMES
%    frames (default 100), against the korvix tool acquiring as many from the
%    same camera, measured by the shell; both paced at the camera's rate, as
%    korvix's virtual cameras are.
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
  call = zeros(reps, 1);
  copy = zeros(reps, 1);
  for r = 1:reps
    start(vid);
    wait(vid, 60);
    tic;
    data = getdata(vid, 100);
    call(r) = toc;
    tic;
    same = data + 0;       % a fresh array of the same bytes, written once
    copy(r) = toc;
    clear data same;
  end
  bytes = 1280 * 1024 * 3 * 100;
  fprintf('getdata(vid, 100), whole call: median %.1f ms (%.2f GB/s)\n', 1000 * median(call), ...
          bytes / median(call) / 1e9);
  fprintf('Octave copy of the same array:  median %.1f ms (%.2f GB/s)\n', 1000 * median(copy), ...
          bytes / median(copy) / 1e9);

  korcamsim('pace', true);
  vid.FramesPerTrigger = frames;
  KorVideoInput.memoryLimit(max(2^30, 1280 * 1024 * 3 * frames * 1.1));
  cpu = zeros(reps, 1);
  for r = 1:reps
    before = cputime();
    start(vid);
    wait(vid, 120);
    cpu(r) = cputime() - before;
    getdata(vid, frames);
  end
  delete(vid);
  KorVideoInput.memoryLimit(2^30);
  fprintf('KorVideoInput acquisition: %d frames, median %.3f CPU s, %.0f frames per CPU second\n', ...
          frames, median(cpu), frames / median(cpu));

  % korvix is a process of its own: its start-up (loading, catalogue) is
  % taken out by timing a short run too and keeping the difference.
  korvix = fullfile(fileparts(which('korvideoinput')), 'korvix');
  few = 20;
  kcpu = zeros(reps, 2);
  for r = 1:reps
    kcpu(r, :) = [korvix_cpu(korvix, frames), korvix_cpu(korvix, few)];
  end
  whole = median(kcpu(:, 1));
  marginal = median(kcpu(:, 1) - kcpu(:, 2));
  fprintf('korvix acquire: %d frames, median %.3f CPU s for the whole process, %.3f s beyond a run of %d\n', ...
          frames, whole, marginal, few);
  fprintf('korvix frames per CPU second: %.0f (whole process), %.0f (beyond start-up)\n', ...
          frames / whole, (frames - few) / marginal);
  fprintf('KorVideoInput / korvix frames per CPU second (beyond start-up): %.2f\n', ...
          (frames / median(cpu)) / ((frames - few) / marginal));
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
