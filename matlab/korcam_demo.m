function korcam_demo(outdir)
% KORCAM_DEMO  A walk through KorCamera on the attached (or virtual) cameras.
%   KORCAM_DEMO(OUTDIR) lists the attached cameras, connects camera 1, runs
%   its live preview, changes its frame region, rate and image adjustments
%   and puts them back, takes a snapshot of every camera and a synchronous
%   snapshot of them all, and prints what it does. The pictures go to OUTDIR
%   as PNG files ('out' when not given). With no camera attached it says so
%   and returns.
%
%   Example:
%     addpath('build', 'matlab'); korcam_demo('out')
  if nargin < 1
    outdir = 'out';
  end
  n = KorCamera.count();
  if n < 1
    fprintf('No camera attached: plug one in (or check its driver) and run korcam_demo again.\n');
    return;
  end
  fprintf('Cameras attached: %d\n', n);
  KorCamera.info();

  cam = KorCamera(1);
  fprintf('\nConnected camera 1\n');
  cam.preview();
  frame = cam.videoFrame();
  fprintf('Live preview of camera 1 running; one video frame: %s %s\n', size_text(frame), class(frame));
  cam.stopPreview();

  show_frame_geometry(cam);
  show_adjustments(cam);
  save_snapshots(cam, n, outdir);
  delete(cam);
  fprintf('Disconnected every camera\n');
end

function show_frame_geometry(cam)
% Frame size, offset and rate; then a smaller region at the slowest rate,
% and the camera's own values put back.
  report_frame_geometry(cam);
  size0 = cam.FrameSize;
  rate0 = cam.FrameRate;
  rates = cam.frameRates();
  cam.FrameSize = [640 480];
  cam.FrameRate = rates(1);
  fprintf('Camera %d set to 640 x 480 at %g frames/s\n', cam.Number, rates(1));
  report_frame_geometry(cam);
  cam.FrameSize = size0;
  cam.FrameRate = rate0;
  fprintf('Camera %d back to %d x %d at %g frames/s\n', cam.Number, size0(1), size0(2), rate0);
end

function report_frame_geometry(cam)
  sz = cam.FrameSize;
  offset = cam.Offset;
  fprintf('Camera %d: frame %d x %d at offset (%d, %d), %g frames/s of %s\n', cam.Number, sz(1), sz(2), ...
          offset(1), offset(2), cam.FrameRate, mat2str(cam.frameRates()));
end

function show_adjustments(cam)
% Live exposure and gain with their ranges, and the image adjustments; a few
% changed, shown, and put back.
  report_adjustments(cam);
  before = {cam.LiveExposure, cam.LiveGain, cam.Gamma, cam.Contrast, cam.Brightness};
  exposureRange = cam.exposureRange();
  gainRange = cam.gainRange();
  contrastRange = cam.contrastRange();
  cam.LiveExposure = mean(exposureRange) / 10;
  cam.LiveGain = gainRange(2) / 2;
  cam.Gamma = 1.8;
  cam.Contrast = contrastRange(2);
  cam.Brightness = -20;
  fprintf('Camera %d: exposure, gain, gamma, contrast and brightness changed\n', cam.Number);
  report_adjustments(cam);
  cam.LiveExposure = before{1};
  cam.LiveGain = before{2};
  cam.Gamma = before{3};
  cam.Contrast = before{4};
  cam.Brightness = before{5};
  fprintf('Camera %d: adjustments put back\n', cam.Number);
end

function report_adjustments(cam)
  fprintf('Camera %d: exposure %g of %s, gain %g of %s\n', cam.Number, cam.LiveExposure, ...
          range_text(cam.exposureRange()), cam.LiveGain, range_text(cam.gainRange()));
  fprintf('  gamma %g of %s, contrast %g of %s, brightness %g of %s\n', ...
          cam.Gamma, range_text(cam.gammaRange()), cam.Contrast, range_text(cam.contrastRange()), ...
          cam.Brightness, range_text(cam.brightnessRange()));
end

function save_snapshots(first, n, outdir)
% A snapshot of every attached camera and one synchronous snapshot of them
% all, saved as PNG files in OUTDIR.
  if ~exist(outdir, 'dir')
    mkdir(outdir);
  end
  cams = {first};
  for number = 2:min(n, 10)
    cams{end + 1} = KorCamera(number); %#ok<AGROW>
  end
  sizes = zeros(numel(cams), 2);
  for k = 1:numel(cams)
    cam = cams{k};
    cam.SnapshotExposure = 20;
    img = cam.snapshot();
    sizes(k, :) = [size(img, 1), size(img, 2)];
    file = fullfile(outdir, sprintf('snapshot_camera%d.png', cam.Number));
    imwrite(img, file);
    fprintf('Snapshot of camera %d: %d x %d %s, saved to %s\n', cam.Number, size(img, 2), size(img, 1), ...
            class(img), file);
  end
  if numel(cams) >= 2
    imgs = KorCamera.syncSnapshot();
    for k = 1:size(imgs, 4)
      % Each camera's picture fills the top left of its block (the snapshot
      % just taken has its size); cut it out.
      file = fullfile(outdir, sprintf('synchronous_camera%d.png', k));
      imwrite(imgs(1:sizes(k, 1), 1:sizes(k, 2), :, k), file);
      fprintf('Synchronous snapshot of camera %d (of %d taken at once), saved to %s\n', k, size(imgs, 4), file);
    end
  end
  for k = 2:numel(cams)
    delete(cams{k});
  end
end

function text = size_text(array)
  text = strjoin(arrayfun(@(d) sprintf('%d', d), size(array), 'UniformOutput', false), ' x ');
end

function text = range_text(range)
  text = sprintf('%g to %g', range(1), range(2));
end
