function cases = test_demo()
% korcam_demo, the Octave half of make demo: it runs through KorCamera on
% whatever is attached, saves its pictures, leaves every camera as it found
% it, and says plainly when there is no camera.
  cases = {
    'runs on the virtual cameras and saves its pictures', @runs_on_virtual_cameras
    'one camera: no synchronous snapshot',                @one_camera
    'no camera attached: says so',                        @no_camera
  };
end

function runs_on_virtual_cameras()
  out = kt_scratch_folder();
  text = evalc('korcam_demo(out.path)');
  for name = {'snapshot_camera1', 'snapshot_camera2', 'snapshot_camera3', 'synchronous_camera1', ...
              'synchronous_camera3'}
    kt_true(exist(fullfile(out.path, [name{1} '.png']), 'file') == 2, '%s saved', name{1});
  end
  img = imread(fullfile(out.path, 'snapshot_camera2.png'));
  kt_equal(size(img), [1536 2048 3], 'camera 2''s picture');
  for line = {'Cameras attached: 3', '2\s+0x18C\s+KX-A05', 'one video frame: 1024 x 1280 x 3 uint8', ...
              'set to 640 x 480 at 3.75 frames/s', 'back to 1280 x 1024 at 15 frames/s', 'adjustments put back'}
    kt_true(~isempty(regexp(text, line{1}, 'once')), '"%s" in:\n%s', line{1}, text);
  end
  % Every camera disconnected, camera 1's settings put back.
  kt_equal([KorDispatcher(6, 1) KorDispatcher(6, 2) KorDispatcher(6, 3)], [false false false]);
  c = KorCamera(1);
  kt_equal([c.FrameSize; c.FrameRate; c.LiveExposure; c.Gamma], [1280; 1024; 15; 10; 1]);
end

function one_camera()
  korcamsim('count', 1);
  out = kt_scratch_folder();
  text = evalc('korcam_demo(out.path)');
  kt_true(exist(fullfile(out.path, 'snapshot_camera1.png'), 'file') == 2, 'snapshot saved');
  kt_true(isempty(strfind(text, 'Synchronous')), 'no synchronous snapshot of one camera:\n%s', text);
end

function no_camera()
  korcamsim('count', 0);
  out = kt_scratch_folder();
  text = evalc('korcam_demo(out.path)');
  kt_true(~isempty(strfind(text, 'No camera attached')), 'said: %s', text);
  kt_equal(numel(dir(fullfile(out.path, '*.png'))), 0, 'no pictures');
end
