function videoinput_bench(reps, frames)
% VIDEOINPUT_BENCH(REPS, FRAMES) measures KorVideoInput on virtual camera 1 at
% 1280x1024, unpaced:
%  - getdata of 100 logged frames, the whole call (median of REPS, default 5),
%    against copying the same bytes in Octave;
%  - frames per second of process CPU time over an acquisition of FRAMES
%    frames (default 200), against the korvix tool acquiring as many from the
%    same camera, measured by the shell.
% Needs korvideoinput, korcamsim and korvix of one build on the path.
  if nargin < 1
    reps = 5;
  end
  if nargin < 2
    frames = 200;
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

  korvix = fullfile(fileparts(which('korvideoinput')), 'korvix');
  kcpu = zeros(reps, 1);
  for r = 1:reps
    [status, out] = system(sprintf(['bash -c ''TIMEFORMAT="%%U %%S"; { time "%s" acquire --camera 1 ' ...
                                    '--format 1280x1024 --frames %d >/dev/null; } 2>&1'''], korvix, frames));
    if status ~= 0
      error('videoinput_bench:korvix', 'korvix failed: %s', out);
    end
    t = sscanf(out, '%f %f');
    kcpu(r) = sum(t);
  end
  fprintf('korvix acquire (whole process): %d frames, median %.3f CPU s, %.0f frames per CPU second\n', ...
          frames, median(kcpu), frames / median(kcpu));
  fprintf('KorVideoInput / korvix frames per CPU second: %.2f\n', median(kcpu) / median(cpu));
end
