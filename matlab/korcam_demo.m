function korcam_demo(outdir)
% KORCAM_DEMO(OUTDIR) walks through the camera gateway on the attached (or
% virtual) cameras and prints what it does; pictures go to OUTDIR.
  if nargin < 1, outdir = 'out'; end
  n = KorDispatcher(37);
  printf('Cameras attached: %d\n', n);
  print_version_table(n);

  for cam = 1:min(2, n)
    KorDispatcher(-1, cam);
    printf('Connected camera %d: %s\n', cam, yesno(KorDispatcher(6, cam)));
  end

  KorDispatcher(0, 1);
  printf('Live preview of camera 1 started\n');
  KorDispatcher(1, 1);
  printf('Live preview of camera 1 stopped\n');

  show_frame_geometry(1);
  show_adjustments(1);
  save_snapshots(n, outdir);

  for cam = 1:min(2, n)
    KorDispatcher(-2, cam);
    printf('Disconnected camera %d; connected now: %s\n', cam, yesno(KorDispatcher(6, cam)));
  end
end

function s = yesno(flag)
  if flag, s = 'yes'; else, s = 'no'; end
end

function print_version_table(n)
% The versions of every attached camera (code 38) as a table, one row each.
  if n < 1, return; end
  versions = KorDispatcher(38);
  table = [{'Camera'}, fieldnames(versions)'];
  for cam = 1:numel(versions)
    table(end + 1, :) = [{sprintf('%d', cam)}, struct2cell(versions(cam))'];
  end
  widths = max(cellfun(@numel, table), [], 1);
  for r = 1:size(table, 1)
    line = '';
    for c = 1:size(table, 2)
      line = [line, sprintf('%-*s  ', widths(c), table{r, c})];
    end
    fprintf('  %s\n', deblank(line));
    if r == 1
      fprintf('  %s\n', repmat('-', 1, sum(widths) + 2 * (numel(widths) - 1)));
    end
  end
end

function show_frame_geometry(cam)
% Frame size, offset, rate and format of one camera; then a smaller region at
% the slowest rate, shown again, and the camera's own values put back.
  report_frame_geometry(cam);
  size0 = KorDispatcher(12, cam);
  rate0 = KorDispatcher(33, cam);
  rates = KorDispatcher(4, cam);
  KorDispatcher(2, cam, 640, 480);
  KorDispatcher(3, cam, rates(1));
  fprintf('Camera %d set to 640 x 480 at %g frames/s\n', cam, rates(1));
  report_frame_geometry(cam);
  KorDispatcher(2, cam, size0(1), size0(2));
  KorDispatcher(3, cam, rate0);
  fprintf('Camera %d back to %d x %d at %g frames/s\n', cam, size0(1), size0(2), rate0);
end

function report_frame_geometry(cam)
  sz = KorDispatcher(12, cam);
  offset = KorDispatcher(8, cam);
  fprintf('Camera %d: frame %d x %d at offset (%d, %d), %g frames/s of %s\n', cam, sz(1), sz(2), ...
          offset(1), offset(2), KorDispatcher(33, cam), mat2str(KorDispatcher(4, cam)));
  current = KorDispatcher(62, cam);
  fprintf('  format structure:');
  names = fieldnames(current);
  for i = 1:numel(names)
    fprintf(' %s %g', names{i}, current.(names{i}));
  end
  fprintf('\n');
end

function save_snapshots(n, outdir)
% A snapshot of every attached camera (code 13) and one synchronous snapshot
% of them all (code 32), saved as PNG files in OUTDIR.
  if n < 1, return; end
  if ~exist(outdir, 'dir'), mkdir(outdir); end
  opened = [];
  sizes = zeros(0, 2);
  for cam = 1:min(n, 10)
    if ~KorDispatcher(6, cam)
      KorDispatcher(-1, cam);
      opened(end + 1) = cam;
    end
    img = KorDispatcher(13, cam);
    sizes(cam, :) = [rows(img), columns(img)];
    file = fullfile(outdir, sprintf('snapshot_camera%d.png', cam));
    imwrite(img, file);
    fprintf('Snapshot of camera %d: %d x %d %s, saved to %s\n', cam, columns(img), rows(img), class(img), file);
  end
  if n >= 2
    imgs = KorDispatcher(32);
    for k = 1:size(imgs, 4)
      % Each camera's picture fills the top left of its block (the snapshot
      % just taken has its size); cut it out.
      file = fullfile(outdir, sprintf('synchronous_camera%d.png', k));
      imwrite(imgs(1:sizes(k, 1), 1:sizes(k, 2), :, k), file);
      fprintf('Synchronous snapshot of camera %d (of %d taken at once), saved to %s\n', k, size(imgs, 4), file);
    end
  end
  for cam = opened
    KorDispatcher(-2, cam);
  end
end

function show_adjustments(cam)
% Live exposure and gain with their ranges (codes 14, 16, 29, 31) and the
% image adjustments; a few changed (codes 28, 30, 42, 44, 46) and shown again.
  report_adjustments(cam);
  exposureRange = KorDispatcher(14, cam);
  gainRange = KorDispatcher(16, cam);
  contrastRange = KorDispatcher(53, cam);
  KorDispatcher(30, cam, mean(exposureRange) / 10);
  KorDispatcher(28, cam, gainRange(2) / 2);
  KorDispatcher(42, cam, 1.8);
  KorDispatcher(44, cam, contrastRange(2));
  KorDispatcher(46, cam, -20);
  fprintf('Camera %d: exposure, gain, gamma, contrast and brightness changed\n', cam);
  report_adjustments(cam);
end

function report_adjustments(cam)
  fprintf('Camera %d: exposure %g of %g to %g, gain %g of %g to %g\n', cam, ...
          KorDispatcher(31, cam), KorDispatcher(14, cam), KorDispatcher(29, cam), KorDispatcher(16, cam));
  % name, get code, range code
  adjustments = {'gamma', 41, 52; 'contrast', 43, 53; 'brightness', 45, 54};
  for i = 1:size(adjustments, 1)
    fprintf('  %-10s %g of %g to %g\n', adjustments{i, 1}, KorDispatcher(adjustments{i, 2}, cam), ...
            KorDispatcher(adjustments{i, 3}, cam));
  end
end
