function korvideoinput_demo(outdir)
% KORVIDEOINPUT_DEMO(OUTDIR) acquires a short sequence from each camera of the
% catalogue through KorVideoInput, writes its first and last frames to OUTDIR
% (default 'out') and prints the frame rate the time stamps show, then shows
% a region and every third frame of camera 1.
  if nargin < 1
    outdir = 'out';
  end
  if ~exist(outdir, 'dir')
    mkdir(outdir);
  end
  hw = KorVideoInput.hwinfo();
  fprintf('KorVideoInput: %d cameras in the adaptor''s catalogue\n', numel(hw));
  for d = hw
    vid = KorVideoInput(d.DeviceID);
    src = getselectedsource(vid);
    src.Exposure = 20;
    vid.FramesPerTrigger = 20;
    start(vid);
    [frames, t] = getdata(vid);
    first = fullfile(outdir, sprintf('videoinput_camera%d_first.png', d.DeviceID));
    last = fullfile(outdir, sprintf('videoinput_camera%d_last.png', d.DeviceID));
    imwrite(frames(:, :, :, 1), first);
    imwrite(frames(:, :, :, end), last);
    fprintf('  camera %d (%s, %s): %d frames of %dx%d in %.3f s, %.1f frames/s; %s, %s\n', ...
            d.DeviceID, d.DeviceName, vid.VideoFormat, size(frames, 4), size(frames, 2), size(frames, 1), ...
            t(end) - t(1), (numel(t) - 1) / (t(end) - t(1)), first, last);
    delete(vid);
  end

  vid = KorVideoInput(1, '1280x1024');
  vid.ROIPosition = [512 384 256 256];
  vid.FrameGrabInterval = 3;
  vid.FramesPerTrigger = 5;
  start(vid);
  [frames, t, meta] = getdata(vid);
  fprintf('  camera 1, region [512 384 256 256], every third frame: %s, frame numbers %s, times %s s\n', ...
          mat2str(size(frames)), mat2str([meta.FrameNumber]), mat2str(t', 3));
  imwrite(frames(:, :, :, 1), fullfile(outdir, 'videoinput_camera1_region.png'));
  delete(vid);
end
