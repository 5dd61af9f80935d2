function cases = test_connection()
% Connecting, the camera guard, the live preview and the property page.
  cases = {
    'connect, query and disconnect',              @connect_query_disconnect
    'camera guard order and messages',            @camera_guard
    'unplugged camera fails the guard',           @unplugged_camera
    'connect failures',                           @connect_failures
    'preview start and stop',                     @preview_start_stop
    'preview start connects first',               @preview_connects
    'preview failures leave previewing false',    @preview_failures
    'disconnect stops a running preview',         @disconnect_previewing
    'video property page',                        @property_page
    'unloading closes every camera',              @unload_closes_cameras
  };
end

function connect_query_disconnect()
  kt_equal(KorDispatcher(6, 1), false, 'never connected');
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(6, 1), true, 'connected');
  kt_true(korcamsim('state', 1).open, 'camera open');
  kt_error(@() KorDispatcher(-1, 1), 'Camera 1 already connected.');
  kt_equal(numel(kt_calls('KorcamCameraOpen')), 1, 'second connect opens nothing');
  KorDispatcher(-2, 1);
  kt_equal(KorDispatcher(6, 1), false, 'disconnected');
  kt_true(~korcamsim('state', 1).open, 'camera closed');
  kt_error(@() KorDispatcher(-2, 1), 'Camera 1 is already disconnected.');
  % connect again after a disconnect
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(6, 1), true, 'reconnected');
end

function camera_guard()
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(6, 11), 'Invalid camera nubmer.');
  kt_error(@() KorDispatcher(-1, 1e10), 'Invalid camera nubmer.');
  kt_equal(numel(kt_calls('KorcamNumCameras')), 0, 'count not asked for numbers above 10');
  kt_error(@() KorDispatcher(6, 4), 'Not enough cameras connected.');
  kt_error(@() KorDispatcher(-1, 10), 'Not enough cameras connected.');
  for n = {0, -1, -5.5, -1e10, NaN}
    kt_error(@() KorDispatcher(6, n{1}), 'Invalid camera nubmer.', 'query %g', n{1});
    kt_error(@() KorDispatcher(-1, n{1}), 'Invalid camera nubmer.', 'connect %g', n{1});
    kt_error(@() KorDispatcher(0, n{1}), 'Invalid camera nubmer.', 'preview %g', n{1});
  end
  kt_equal(numel(kt_calls('KorcamCameraOpen')), 0, 'nothing opened');
  kt_error(@() KorDispatcher(1, 2), 'Camera 2 already disconnected.');
  kt_error(@() KorDispatcher(5, 3), 'Cannot display video property page, camera 3 is not connected.');
end

function unplugged_camera()
  KorDispatcher(-1, 3);
  korcamsim('count', 2);
  kt_error(@() KorDispatcher(-2, 3), 'Not enough cameras connected.');
  kt_error(@() KorDispatcher(6, 3), 'Not enough cameras connected.');
  korcamsim('count');
  kt_equal(KorDispatcher(6, 3), true, 'still connected once plugged in again');
  korcamsim('count', -1);
  kt_error(@() KorDispatcher(6, 1), 'Not enough cameras connected.');
end

function connect_failures()
  korcamsim('fail', 'KorcamCameraOpen', 5);
  kt_error(@() KorDispatcher(-1, 1), "An error has occured while opening a connection to the camera.\n");
  kt_equal(KorDispatcher(6, 1), false, 'not connected after a failed open');
  korcamsim('fail');
  korcamsim('fail', 'KorcamGetFormat', 7, 1, 0);
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(-1, 1), "Failed to get the initial frame format.\n");
  kt_equal(KorDispatcher(6, 1), false, 'not connected after a failed format query');
  kt_true(korcamsim('state', 1).open, 'the camera stays open');
  % the next connect closes the handle left behind before it opens the camera
  % again, so that the camera holds one handle, and the unload closes it
  KorDispatcher(-1, 1);
  kt_equal(numel(kt_calls('KorcamCameraOpen')), 2, 'a second connect opens the camera again');
  kt_equal(numel(kt_calls('KorcamCameraClose')), 1, 'after closing the handle left behind');
  kt_equal(KorDispatcher(6, 1), true, 'connected at the second try');
  kt_equal(korcamsim('state', 1).handles, 1, 'one handle open');
  clear -f KorDispatcher;
  kt_equal(korcamsim('state', 1).handles, 0, 'no handle open after the unload');
end

function preview_start_stop()
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  KorDispatcher(0, 1);
  s = korcamsim('state', 1);
  kt_true(s.streaming && s.window, 'streaming into the SDK window');
  ops = {kt_calls().op};
  kt_equal(ops, {'KorcamNumCameras', 'KorcamGetFormat', 'KorcamSetFormat', 'KorcamStreamVideoControl'});
  kt_equal(kt_calls('KorcamStreamVideoControl').args, 2, 'start code');
  kt_error(@() KorDispatcher(0, 1), ...
           "Camera may already be previewing. Stop the preview before calling this function.\n");
  kt_true(korcamsim('state', 1).streaming, 'still streaming after the refused second start');
  korcamsim('calls', 'clear');
  KorDispatcher(1, 1);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamStreamVideoControl', 'KorcamDestroyDisplayWindow'});
  kt_equal(kt_calls('KorcamStreamVideoControl').args, 0, 'stop code');
  s = korcamsim('state', 1);
  kt_true(~s.streaming && ~s.window, 'stopped and window gone');
  kt_error(@() KorDispatcher(1, 1), 'Preview for camera 1 is already closed.');
end

function preview_connects()
  KorDispatcher(0, 2);
  kt_equal(KorDispatcher(6, 2), true, 'connected by the preview');
  kt_true(korcamsim('state', 2).streaming, 'and streaming');
  kt_error(@() KorDispatcher(-1, 2), 'Camera 2 already connected.');
end

function preview_failures()
  KorDispatcher(-1, 1);
  steps = {
    'KorcamGetFormat',          "An error occured while obtaining the frame format.\n"
    'KorcamSetFormat',          "An error occured while setting the frame size.\n"
    'KorcamStreamVideoControl', "An error occured while opening the video preview.\n"
  };
  for i = 1:rows(steps)
    korcamsim('fail', steps{i, 1}, 3);
    kt_error(@() KorDispatcher(0, 1), steps{i, 2}, steps{i, 1});
    korcamsim('fail');
    kt_error(@() KorDispatcher(1, 1), 'Preview for camera 1 is already closed.', 'not previewing after %s', steps{i, 1});
  end
  % a failed start on an unconnected camera leaves it connected
  korcamsim('fail', 'KorcamStreamVideoControl', 3);
  kt_error(@() KorDispatcher(0, 2), "An error occured while opening the video preview.\n");
  korcamsim('fail');
  kt_equal(KorDispatcher(6, 2), true, 'connected by the failed preview start');

  % stopping: previewing is false whatever failed
  KorDispatcher(0, 1);
  korcamsim('fail', 'KorcamStreamVideoControl', 3);
  kt_error(@() KorDispatcher(1, 1), "An error occured while stopping the video preview.\n");
  korcamsim('fail');
  kt_error(@() KorDispatcher(1, 1), 'Preview for camera 1 is already closed.');
  KorDispatcher(0, 3);
  korcamsim('fail', 'KorcamDestroyDisplayWindow', 3);
  kt_error(@() KorDispatcher(1, 3), "An error occured while closing the preview windows.\n");
  korcamsim('fail');
  kt_error(@() KorDispatcher(1, 3), 'Preview for camera 3 is already closed.');
  KorDispatcher(0, 3);
  kt_true(korcamsim('state', 3).streaming, 'a new preview starts once the stream was stopped');
end

function disconnect_previewing()
  KorDispatcher(0, 1);
  korcamsim('calls', 'clear');
  KorDispatcher(-2, 1);
  ops = {kt_calls().op};
  kt_equal(ops(end-2:end), {'KorcamStreamVideoControl', 'KorcamDestroyDisplayWindow', 'KorcamCameraClose'});
  s = korcamsim('state', 1);
  kt_true(~s.open && ~s.streaming && ~s.window, 'stopped and closed');
  kt_equal(KorDispatcher(6, 1), false);
  % a failing stop ends the disconnect with the camera still connected
  KorDispatcher(0, 1);
  korcamsim('fail', 'KorcamStreamVideoControl', 3);
  kt_error(@() KorDispatcher(-2, 1), "An error occured while stopping the video preview.\n");
  korcamsim('fail');
  kt_equal(KorDispatcher(6, 1), true, 'still connected');
  KorDispatcher(-2, 1);
  kt_equal(KorDispatcher(6, 1), false, 'disconnect completes once the preview is stopped');
end

function property_page()
  KorDispatcher(-1, 1);
  KorDispatcher(5, 1);
  kt_equal(numel(kt_calls('KorcamDisplayPropertyPage')), 1);
  korcamsim('foreground', false);
  kt_error(@() KorDispatcher(5, 1), 'Foreground Window NULL');
  korcamsim('foreground', true);
  korcamsim('fail', 'KorcamDisplayPropertyPage', 3);
  kt_error(@() KorDispatcher(5, 1), 'An error occured trying to display the video property page.');
end

function unload_closes_cameras()
  KorDispatcher(-1, 1);
  KorDispatcher(0, 2);
  korcamsim('fail', 'KorcamGetFormat', 7, 1, 0);
  try, KorDispatcher(-1, 3); catch, end
  korcamsim('fail');
  kt_true(korcamsim('state', 3).open, 'camera 3 left open by the failed connect');
  clear -f KorDispatcher;
  for n = 1:3
    s = korcamsim('state', n);
    kt_true(~s.open && ~s.streaming, 'camera %d closed at unload', n);
  end
  kt_equal(KorDispatcher(6, 1), false, 'a fresh table after reload');
  kt_equal(KorDispatcher(6, 2), false);
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(6, 1), true);
end
