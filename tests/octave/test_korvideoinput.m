function cases = test_korvideoinput()
% KorVideoInput against the virtual cameras, through korvideoinput and the
% acquisition adaptor: catalogue, objects and their properties, the source's
% device properties, acquisitions and their frames, time stamps and errors.
  cases = {
    'hwinfo: the catalogue, and an empty one',                  @hwinfo_catalogue
    'create: default and chosen formats, refusals',             @create_objects
    'object properties: defaults, checks, read-only',           @object_properties
    'source: device properties, propinfo, refusals',            @source_properties
    'acquisition: frames, times, meta, counters',               @acquisition_main_path
    'getdata: waiting, notEnoughFrames, timeout, refusals',     @getdata_waiting
    'monochrome frames equal the raw samples',                  @monochrome_samples
    'colour frames: the conversion, right way up',              @colour_frames
    'ROI frames are the matching part of the full frame',       @roi_frames
    'FrameGrabInterval 3 logs every third frame',               @grab_interval
    'values set before start reach the camera at start',        @values_reach_camera
    'getsnapshot: idle and running, log untouched',             @snapshots
    'an unplugged camera stops the acquisition',                @unplugged_camera
    'memory limit stops the acquisition, frames stay',          @memory_limit
    'delete while running, clearing, unloading',                @delete_while_running
    '200 start/stop cycles, no frame after stop',               @start_stop_cycles
    'two objects on one camera: cameraInUse, the first untouched', @shared_camera
    'arguments: sparse read whole, matrices and NULs refused',  @argument_kinds
    'getdata of frames that can never come: refused at once',   @getdata_never
    'Ctrl-C ends getdata and wait, the object stops',           @interrupted_waits
    'the source does not keep its object alive',                @source_without_cycle
    'a re-attached camera is opened again',                     @reattached_camera
    'a camera that cannot describe itself makes no object',     @incomplete_device
    'failures after a good frame or at delete are warnings',    @failures_warn
  };
end

% ---------------------------------------------------------------------------
% Helpers

function fresh()
% Unloads korvideoinput (which releases every camera it held) and sets the
% virtual cameras back, unpaced: these tests want frames quickly.
  clear -f korvideoinput;
  korcamsim('reset');
  korcamsim('pace', false);
end

function img = expected_image(cam, kind)
% The [H W 3] image of the last frame camera CAM delivered, from its raw
% bytes: 'color' through the library's conversion, 'mono' sample by sample.
  [raw, w, h, pf] = korcamsim('lastframe', cam);
  if strcmp(kind, 'color')
    bgr = korcamsim('convert', cam, raw, w, h, pf);
  else
    bgr = repmat(raw(:)', 3, 1);
  end
  pic = reshape(bgr, 3, w, h);
  img = permute(pic, [3 2 1]);
  img = img(end:-1:1, :, end:-1:1);
end

function vid = one_frame(cam, format)
  vid = KorVideoInput(cam, format);
  vid.FramesPerTrigger = 1;
end

% ---------------------------------------------------------------------------
% Cases

function hwinfo_catalogue()
  fresh();
  hw = KorVideoInput.hwinfo();
  kt_equal(size(hw), [1 3]);
  kt_equal([hw.DeviceID], [1 2 3]);
  kt_true(all(arrayfun(@(d) isa(d.DeviceID, 'double'), hw)), 'DeviceID is a double');
  kt_equal({hw.DeviceName}, {'KX-A01', 'KX-A05', 'Unknown Camera'});
  kt_equal(hw(3).SupportedFormats, {'320x240', '640x480'});
  kt_equal(hw(1).SupportedFormats, {'320x240', '640x480', '1280x1024'});
  kt_equal(size(hw(2).SupportedFormats), [1 7], 'a 2048x1536 sensor takes seven formats');
  kt_equal({hw.DefaultFormat}, {'640x480', '640x480', '640x480'});

  korcamsim('rig', struct('maxWidth', 320, 'maxHeight', 240));
  hw = KorVideoInput.hwinfo();
  kt_equal(hw.SupportedFormats, {'320x240'});
  kt_equal(hw.DefaultFormat, '', 'no 640x480: no default');
  kt_error_id(@() KorVideoInput(1), 'KorVideoInput:badFormat', 'no format and no default');
  vid = KorVideoInput(1, '320x240');
  kt_equal(vid.VideoResolution, [320 240]);
  delete(vid);

  korcamsim('count', 0);
  hw = KorVideoInput.hwinfo();
  kt_equal(numel(hw), 0);
  kt_true(all(isfield(hw, {'DeviceID', 'DeviceName', 'SupportedFormats', 'DefaultFormat'})), 'fields of none');
end

function create_objects()
  fresh();
  vid = KorVideoInput(1);
  kt_equal(vid.VideoFormat, '640x480');
  kt_equal(vid.DeviceID, 1);
  kt_equal(vid.VideoResolution, [640 480]);
  s = korcamsim('state', 1);
  kt_equal(s.open, false, 'creating does not open the camera');
  big = KorVideoInput(1, '1280x1024');
  kt_equal(big.VideoResolution, [1280 1024]);
  delete(big);
  delete(vid);

  kt_error_id(@() KorVideoInput(9), 'KorVideoInput:noDevice', 'camera 9');
  kt_error_id(@() KorVideoInput(0.5), 'KorVideoInput:noDevice', 'camera 0.5');
  kt_error_id(@() KorVideoInput('a'), 'KorVideoInput:noDevice', 'camera ''a''');
  kt_error_id(@() KorVideoInput(), 'KorVideoInput:noDevice', 'no camera');
  kt_error_id(@() KorVideoInput(3, '1280x1024'), 'KorVideoInput:badFormat', 'too large for camera 3');
  try
    KorVideoInput(3, '999x999');
  catch err
    kt_true(~isempty(strfind(err.message, '''320x240'', ''640x480''')), 'lists the formats: %s', err.message);
  end
  kt_equal(korvideoinput('objects'), 0, 'refused objects leave nothing behind');
end

function object_properties()
  fresh();
  vid = KorVideoInput(3, '320x240');
  kt_equal(vid.FramesPerTrigger, 10);
  kt_equal(vid.FrameGrabInterval, 1);
  kt_equal(vid.ROIPosition, [0 0 320 240]);
  kt_equal([vid.FramesAcquired vid.FramesAvailable], [0 0]);
  kt_equal(vid.Running, false);
  kt_true(islogical(vid.Running) && islogical(isrunning(vid)), 'Running is logical');
  kt_true(isa(vid.FramesAcquired, 'double'), 'counters are doubles');

  vid.FramesPerTrigger = 3;
  vid.FrameGrabInterval = int8(2);
  vid.ROIPosition = [10 20 100 50];
  kt_equal([vid.FramesPerTrigger vid.FrameGrabInterval], [3 2]);
  kt_equal(vid.ROIPosition, [10 20 100 50]);
  vid.ROIPosition = uint16([0 0 320 240]);
  kt_equal(vid.ROIPosition, [0 0 320 240]);

  bad = {0, -1, 1.5, NaN, -Inf, 'a', [1 2], 2^32, 1i};
  for i = 1:numel(bad)
    kt_error_id(@() set_prop(vid, 'FramesPerTrigger', bad{i}), 'KorVideoInput:badValue', 'FramesPerTrigger %d', i);
    kt_error_id(@() set_prop(vid, 'FrameGrabInterval', bad{i}), 'KorVideoInput:badValue', 'FrameGrabInterval %d', i);
  end
  kt_error_id(@() set_prop(vid, 'FrameGrabInterval', Inf), 'KorVideoInput:badValue', 'FrameGrabInterval Inf');
  kt_equal(vid.FramesPerTrigger, 3, 'a refused value changes nothing');
  rois = {[0 0 321 240], [-1 0 10 10], [0 0 0 10], [310 0 11 10], [0 230 10 11], [0.5 0 10 10], ...
          [0 0 10], [NaN 0 10 10], 'abcd'};
  for i = 1:numel(rois)
    kt_error_id(@() set_prop(vid, 'ROIPosition', rois{i}), 'KorVideoInput:badROI', 'ROI %d', i);
  end
  kt_equal(vid.ROIPosition, [0 0 320 240]);

  vid.FramesPerTrigger = 1000000;
  korcamsim('pace', true);
  start(vid);
  kt_equal(vid.Running, true);
  kt_error_id(@() set_prop(vid, 'FramesPerTrigger', 5), 'KorVideoInput:readOnlyWhileRunning');
  kt_error_id(@() set_prop(vid, 'ROIPosition', [0 0 10 10]), 'KorVideoInput:readOnlyWhileRunning');
  kt_error_id(@() start(vid), 'KorVideoInput:alreadyRunning');
  stop(vid);
  kt_equal(vid.Running, false);
  delete(vid);
  kt_error_id(@() vid.FramesPerTrigger, 'KorVideoInput:deleted', 'a deleted object');
end

function set_prop(obj, name, value)
  obj.(name) = value;
end

function source_properties()
  fresh();
  vid = KorVideoInput(1, '320x240');
  src = getselectedsource(vid);
  kt_equal(src.SourceName, 'KorvixSource');
  kt_equal(propertyNames(src), {'Exposure', 'Gain', 'Strobe', 'StrobeDelay', 'StrobeDuration', ...
                                'ExposureDelay', 'Timeout'});
  kt_equal(src.Exposure, 50);
  src.Exposure = 20;
  kt_equal(src.Exposure, 20);
  again = getselectedsource(vid);
  kt_equal(again.Exposure, 20, 'one source per object');
  kt_equal(src.Strobe, 'Off');
  src.Strobe = 'on';
  kt_equal(src.Strobe, 'On', 'enumerated values match in any case');

  info = propinfo(src, 'Exposure');
  kt_equal(info, struct('Type', 'double', 'Constraint', 'bounded', 'ConstraintValue', [0 10000], ...
                        'DefaultValue', 50, 'ReadOnly', 'whileRunning'));
  info = propinfo(src, 'Strobe');
  kt_equal(info, struct('Type', 'string', 'Constraint', 'enum', 'ConstraintValue', {{'Off', 'On'}}, ...
                        'DefaultValue', 'Off', 'ReadOnly', 'whileRunning'));

  kt_error_id(@() src.Brightness, 'KorVideoInput:noProperty');
  kt_error_id(@() set_prop(src, 'Brightness', 1), 'KorVideoInput:noProperty');
  kt_error_id(@() propinfo(src, 'Brightness'), 'KorVideoInput:noProperty');
  kt_error_id(@() set_prop(src, 'Exposure', 10001), 'KorVideoInput:outOfRange');
  kt_error_id(@() set_prop(src, 'Exposure', -1), 'KorVideoInput:outOfRange');
  kt_error_id(@() set_prop(src, 'Exposure', NaN), 'KorVideoInput:outOfRange');
  kt_error_id(@() set_prop(src, 'Gain', 0.5), 'KorVideoInput:outOfRange');
  kt_error_id(@() set_prop(src, 'Strobe', 'Maybe'), 'KorVideoInput:outOfRange');
  kt_error_id(@() set_prop(src, 'Strobe', 2), 'KorVideoInput:outOfRange');
  kt_error_id(@() set_prop(src, 'Exposure', 'high'), 'KorVideoInput:badValue');
  kt_equal(src.Exposure, 20, 'a refused value changes nothing');

  small = KorVideoInput(3);
  names = propertyNames(getselectedsource(small));
  kt_true(~any(strcmp(names, 'StrobeDuration')), 'camera 3 has no strobe duration');
  small_src = getselectedsource(small);
  kt_error_id(@() small_src.StrobeDuration, 'KorVideoInput:noProperty');

  vid.FramesPerTrigger = 1000000;
  korcamsim('pace', true);
  start(vid);
  kt_error_id(@() set_prop(src, 'Exposure', 30), 'KorVideoInput:readOnlyWhileRunning');
  stop(vid);
  delete(small);
  delete(vid);
end

function acquisition_main_path()
  fresh();
  vid = KorVideoInput(1, '640x480');
  vid.FramesPerTrigger = 5;
  before = clock();
  start(vid);
  wait(vid);
  after = clock();
  kt_equal(vid.Running, false, 'ends by itself after FramesPerTrigger frames');
  kt_equal([vid.FramesAcquired vid.FramesAvailable], [5 5]);
  [data, time, meta] = getdata(vid, 2);
  kt_equal(class(data), 'uint8');
  kt_equal(size(data), [480 640 3 2]);
  kt_equal(size(time), [2 1]);
  kt_equal(vid.FramesAvailable, 3, 'getdata removes what it returns');
  kt_equal(vid.FramesAcquired, 5);
  [rest, time2, meta2] = getdata(vid, 3);
  kt_equal(size(rest), [480 640 3 3]);
  times = [time; time2];
  kt_true(all(diff(times) > 0) && times(1) >= 0, 'times increase from start: %s', mat2str(times'));
  meta = [meta; meta2];
  kt_equal(size(meta), [5 1]);
  kt_equal([meta.FrameNumber], 1:5);
  kt_equal([meta.RelativeFrame], 1:5);
  kt_equal([meta.TriggerIndex], ones(1, 5));
  kt_equal(size(meta(1).AbsTime), [1 6]);
  kt_true(etime(meta(1).AbsTime, before) >= -0.01 && etime(after, meta(5).AbsTime) >= -0.01, ...
          'AbsTime lies between start and the end of wait');
  kt_true(abs(etime(meta(5).AbsTime, meta(1).AbsTime) - (times(5) - times(1))) < 1e-3, 'AbsTime agrees with time');
  kt_equal(vid.FramesAvailable, 0);

  % Again: a new start counts from 0; one output is enough.
  start(vid);
  frames = getdata(vid);
  kt_equal(size(frames), [480 640 3 5]);
  kt_equal(vid.FramesAcquired, 5);
  wait(vid);
  kt_equal(vid.Running, false);
  kt_equal(korcamsim('state', 1).fastFrames, false, 'fast frames off after the end');
  delete(vid);
  kt_equal(korcamsim('state', 1).open, false, 'delete releases the camera');
end

function getdata_waiting()
  fresh();
  vid = KorVideoInput(3, '320x240');
  vid.FramesPerTrigger = 4;
  kt_error_id(@() getdata(vid, 1), 'KorVideoInput:notEnoughFrames', 'never started');
  start(vid);
  frames = getdata(vid, 4);          % waits for all of them
  kt_equal(size(frames, 4), 4);
  kt_error_id(@() getdata(vid, 1), 'KorVideoInput:notEnoughFrames', 'all taken');
  start(vid);
  wait(vid);
  kt_error_id(@() getdata(vid, 5), 'KorVideoInput:notEnoughFrames', '5 of 4');
  kt_equal(vid.FramesAvailable, 4, 'a refused getdata takes nothing');
  for bad = {0, -1, 1.5, NaN, 'a', [1 2]}
    kt_error_id(@() getdata(vid, bad{1}), 'KorVideoInput:badValue');
  end
  kt_error_id(@() wait(vid, -1), 'KorVideoInput:badValue');
  kt_error_id(@() wait(vid, NaN), 'KorVideoInput:badValue');
  start(vid);
  wait(vid, Inf);
  kt_equal(vid.FramesAvailable, 4, 'wait without a limit');

  % A camera that delivers nothing: a frame taken never returns in time.
  korcamsim('pace', true);
  korcamsim('fail', 'KorcamEnableFastFrames', 2);
  vid.FramesPerTrigger = 2;
  start(vid);
  kt_error_id(@() wait(vid), 'KorvixAdaptor:acquisitionThread', 'fast frames refused');
  korcamsim('fail');

  delete(vid);
  korcamsim('rig', struct('frameRates', 0.09));   % paced: a frame at once, the next after 11 s
  slow = KorVideoInput(1, '640x480');
  slow.FramesPerTrigger = 1000000;
  start(slow);
  kt_error_id(@() wait(slow, 0.3), 'KorVideoInput:timeout', 'wait');
  tic;
  kt_error_id(@() getdata(slow, 3), 'KorVideoInput:timeout', 'getdata without progress');
  kt_true(toc >= 9.5 && toc < 25, 'getdata gave up after 10 s without a frame (%g s)', toc);
  stop(slow);
  delete(slow);
end

function monochrome_samples()
  fresh();
  for format = {'640x480', '2048x1536'}
    vid = one_frame(2, format{1});
    start(vid);
    img = getdata(vid);
    kt_equal(img, expected_image(2, 'mono'), format{1});
    kt_true(isequal(img(:, :, 1), img(:, :, 2), img(:, :, 3)), 'three equal pages');
    delete(vid);
  end
end

function colour_frames()
  fresh();
  vid = one_frame(1, '1280x1024');
  start(vid);
  img = getdata(vid);
  kt_equal(img, expected_image(1, 'color'));
  % The scene's top rows are bright, its first bar white and its sixth red.
  red = double(squeeze(img(512, round(1280 * 5.5 / 8), :)));
  kt_true(red(1) > 2 * red(2) && red(1) > 2 * red(3), 'red bar is red: %s', mat2str(red'));
  kt_true(mean(mean(img(1:50, :, 1))) > mean(mean(img(end-49:end, :, 1))), 'brighter at the top');
  delete(vid);
end

function roi_frames()
  fresh();
  rois = {[0 0 640 480], [10 20 100 50], [0 0 1 1], [639 479 1 1], [600 0 40 480], [0 400 640 80]};
  for i = 1:numel(rois)
    r = rois{i};
    vid = one_frame(1, '640x480');
    vid.ROIPosition = r;
    start(vid);
    part = getdata(vid);
    whole = expected_image(1, 'color');
    kt_equal(size(part), [r(4) r(3) 3], 'size %s', mat2str(r));
    kt_equal(part, whole(r(2) + 1:r(2) + r(4), r(1) + 1:r(1) + r(3), :), 'pixels %s', mat2str(r));
    snap = getsnapshot(vid);
    whole = expected_image(1, 'color');
    kt_equal(snap, whole(r(2) + 1:r(2) + r(4), r(1) + 1:r(1) + r(3), :), 'snapshot %s', mat2str(r));
    delete(vid);
  end
end

function grab_interval()
  fresh();
  vid = KorVideoInput(3, '320x240');
  vid.FrameGrabInterval = 3;
  vid.FramesPerTrigger = 4;
  before = korcamsim('state', 3).frames;
  start(vid);
  [~, ~, meta] = getdata(vid);
  wait(vid);
  kt_equal([meta.FrameNumber], [1 4 7 10]);
  kt_equal([meta.RelativeFrame], 1:4);
  taken = korcamsim('state', 3).frames - before;
  kt_true(taken >= 10 && taken <= 12, 'the camera took every frame (%d)', taken);
  delete(vid);
end

function values_reach_camera()
  fresh();
  vid = KorVideoInput(1, '640x480');
  src = getselectedsource(vid);
  src.Exposure = 20;
  src.Gain = 2;
  src.Strobe = 'On';
  src.StrobeDelay = 7;
  src.ExposureDelay = 3;
  src.Timeout = 1234;
  vid.FramesPerTrigger = 1;
  start(vid);
  wait(vid);
  s = korcamsim('state', 1).snapshot;
  kt_equal([s.exposure s.gain s.strobe s.strobeDelay s.exposureDelay s.timeout], [20 2 1 7 3 1234], ...
           'values set before the camera was opened');
  src.Strobe = 'Off';
  src.Timeout = 99;
  start(vid);
  wait(vid);
  s = korcamsim('state', 1).snapshot;
  kt_equal([s.strobe s.timeout], [0 99], 'values set while open');
  delete(vid);
end

function snapshots()
  fresh();
  vid = KorVideoInput(2, '640x480');
  frame = getsnapshot(vid);
  kt_equal(size(frame), [480 640 3]);
  kt_equal(frame, expected_image(2, 'mono'));
  kt_equal([vid.FramesAcquired vid.FramesAvailable], [0 0]);
  kt_equal(vid.Running, false);

  vid.FramesPerTrigger = 3;
  start(vid);
  wait(vid);
  snap = getsnapshot(vid);
  kt_equal([vid.FramesAcquired vid.FramesAvailable], [3 3], 'a snapshot leaves the log alone');
  data = getdata(vid);
  kt_equal(size(data, 4), 3);

  vid.FramesPerTrigger = 1000000;
  start(vid);
  running = getsnapshot(vid);
  kt_equal(size(running), [480 640 3]);
  kt_equal(vid.Running, true, 'a snapshot while running does not stop it');
  stop(vid);
  delete(vid);
end

function unplugged_camera()
  fresh();
  vid = KorVideoInput(1, '320x240');
  vid.FramesPerTrigger = 1000;
  korcamsim('fail', 'KorcamTakeFastFrame', 2, Inf, 6);   % unplugged after six frames
  start(vid);
  try
    wait(vid);
    error('no error raised');
  catch err
    kt_equal(err.identifier, 'KorvixAdaptor:acquisitionThread');
    lines = strsplit(err.message, "\n");
    kt_equal(lines{1}, 'Cannot take a snapshot. Error: 2', 'the adaptor''s text first');
    kt_true(numel(lines) == 2 && strncmp(lines{2}, 'KorVideoInput: ', 15) && ...
            ~isempty(strfind(lines{2}, 'unplugged or powered off')) && ~isempty(strfind(lines{2}, 'start(vid)')), ...
            'then what it means and what to do: %s', err.message);
  end
  events = vid.EventLog;
  kt_equal({events.Type}, {'Start', 'Trigger', 'Error', 'Stop'});
  kt_equal(events(3).Data.MessageID, 'KorvixAdaptor:acquisitionThread');
  kt_equal(strsplit(events(3).Data.Message, "\n"){1}, 'Cannot take a snapshot. Error: 2');
  kt_equal([events(3).Data.FrameNumber events(3).Data.TriggerIndex], [6 1], 'after the sixth frame of trigger 1');
  kt_equal(vid.Running, false);
  kt_equal(vid.FramesAvailable, 6, 'frames logged before the error stay');
  before = vid.FramesAvailable;
  pause(0.1);
  kt_equal(vid.FramesAvailable, before, 'no frame after the error');
  wait(vid);                                      % raised once
  data = getdata(vid, 6);
  kt_equal(size(data, 4), 6);
  kt_equal(korcamsim('state', 1).fastFrames, false);

  % The error is raised by whichever of wait, getdata and start comes first.
  start(vid);
  pause(0.2);
  kt_error_id(@() getdata(vid, 1), 'KorvixAdaptor:acquisitionThread', 'getdata');
  start(vid);
  pause(0.2);
  kt_error_id(@() start(vid), 'KorvixAdaptor:acquisitionThread', 'start');
  korcamsim('fail');
  start(vid);
  frames = getdata(vid, 5);
  kt_equal(size(frames, 4), 5, 'acquires again once plugged back');
  stop(vid);
  delete(vid);

  % Unplugged before the camera is opened: start and getsnapshot say so.
  vid = KorVideoInput(1, '320x240');
  korcamsim('fail', 'KorcamCameraOpen', 2);
  for fn = {@start, @getsnapshot}
    try
      fn{1}(vid);
      error('no error raised');
    catch err
      kt_equal({err.identifier, err.message}, {'KorvixAdaptor:openDevice', 'Unable to open camera.'}, ...
               func2str(fn{1}));
    end
  end
  korcamsim('fail');
  vid.FramesPerTrigger = 2;
  start(vid);
  wait(vid);
  kt_equal(vid.FramesAvailable, 2, 'no stale error once plugged in');
  delete(vid);
end

function memory_limit()
  fresh();
  kt_equal(KorVideoInput.memoryLimit(), 2^30);
  frame_bytes = 320 * 240 * 3;
  KorVideoInput.memoryLimit(5.5 * frame_bytes);
  unwind_protect
    vid = KorVideoInput(3, '320x240');
    vid.FramesPerTrigger = 100;
    start(vid);
    kt_error_id(@() wait(vid), 'KorVideoInput:outOfMemory');
    kt_equal(vid.Running, false);
    kt_equal(vid.FramesAvailable, 5, 'the frames that fit stay');
    data = getdata(vid, 5);
    kt_equal(size(data, 4), 5);
    start(vid);
    kt_error_id(@() getdata(vid, 6), 'KorVideoInput:outOfMemory', 'getdata');
    kt_equal(size(getdata(vid, 5), 4), 5, 'memory given back by getdata');
    kt_error_id(@() KorVideoInput.memoryLimit(0), 'KorVideoInput:badValue');
    kt_error_id(@() KorVideoInput.memoryLimit(NaN), 'KorVideoInput:badValue');
    delete(vid);
  unwind_protect_cleanup
    KorVideoInput.memoryLimit(2^30);
  end_unwind_protect
end

function delete_while_running()
  fresh();
  korcamsim('pace', true);
  vid = KorVideoInput(1, '640x480');
  vid.FramesPerTrigger = 1000000;
  start(vid);
  pause(0.2);
  kt_equal(korcamsim('state', 1).fastFrames, true);
  delete(vid);
  s = korcamsim('state', 1);
  kt_equal([s.open s.fastFrames], [false false], 'delete stops and releases the camera');
  kt_equal(korvideoinput('objects'), 0);

  vid = KorVideoInput(1, '640x480');
  vid.FramesPerTrigger = 1000000;
  start(vid);
  clear vid;
  kt_equal(korcamsim('state', 1).open, false, 'clearing the last reference');

  vid = KorVideoInput(1, '640x480');
  vid.FramesPerTrigger = 1000000;
  start(vid);
  clear -f korvideoinput;
  kt_equal(korcamsim('state', 1).open, false, 'unloading korvideoinput');
  kt_error_id(@() start(vid), 'KorVideoInput:deleted', 'an object of an unloaded korvideoinput');
  delete(vid);
end

function start_stop_cycles()
  fresh();
  vid = KorVideoInput(3, '320x240');
  vid.FramesPerTrigger = 1000000;
  for i = 1:200
    start(vid);
    if mod(i, 20) == 0
      pause(0.01);
    end
    stop(vid);
    available = vid.FramesAvailable;
    kt_equal(vid.Running, false);
    if mod(i, 50) == 0
      pause(0.05);
      kt_equal(vid.FramesAvailable, available, 'no frame after stop (cycle %d)', i);
    end
  end
  d = diagnostics(vid);
  kt_equal(d.LateFrames, 0);
  kt_equal(d.EngineProblems, cell(1, 0));
  delete(vid);
end

% ---------------------------------------------------------------------------
% What a reliability audit found

function shared_camera()
  fresh();
  korcamsim('pace', true);
  late = KorVideoInput(1, '1280x1024');   % made before the first one runs
  late.FramesPerTrigger = 20;
  first = KorVideoInput(1, '320x240');
  first.FramesPerTrigger = 100000;
  start(first);
  pause(0.3);
  steps = {@() start(late), @() getsnapshot(late), @() KorVideoInput(1, '1280x1024')};
  for i = 1:numel(steps)
    try
      steps{i}();
      error('step %d: no error raised', i);
    catch err
      kt_equal(err.identifier, 'KorVideoInput:cameraInUse', 'step %d', i);
      kt_true(~isempty(strfind(err.message, 'format ''320x240''')) && ~isempty(strfind(err.message, 'stop(vid)')), ...
              'names the holder and how to free the camera: %s', err.message);
    end
  end
  kt_equal(first.Running, true, 'the first object goes on');
  acquired = first.FramesAcquired;
  pause(0.3);
  kt_true(first.FramesAcquired > acquired, 'and keeps acquiring');
  korcamsim('calls', 'clear');
  hw = KorVideoInput.hwinfo();            % the catalogue read before: no format tried on camera 1
  kt_equal(numel(hw), 3);
  other = KorVideoInput(2, '640x480');   % another camera is not concerned
  calls = korcamsim('calls');
  kt_true(~any(strcmp({calls.op}, 'KorcamSetFormat') & [calls.camera] == 1), ...
          'nothing tried a format on the camera while it acquired');
  other.FramesPerTrigger = 2;
  start(other);
  kt_equal(size(getdata(other), 4), 2);
  delete(other);
  stop(first);
  kt_equal(diagnostics(first).LateFrames, 0);
  kt_equal(size(first.ROIPosition), [1 4]);

  % An idle holder gives the camera up, and takes it back at its next start.
  kt_equal(diagnostics(first).Open, true);
  snap = getsnapshot(late);
  kt_equal(size(snap), [1024 1280 3]);
  kt_equal(diagnostics(first).Open, false, 'the idle holder gave the camera up');
  first.FramesPerTrigger = 2;
  start(first);
  kt_equal(size(getdata(first)), [240 320 3 2]);
  kt_equal(diagnostics(late).Open, false);
  delete(first);
  delete(late);
end

function argument_kinds()
  fresh();
  vid = KorVideoInput(1, '640x480');
  vid.ROIPosition = sparse([5 0 100 100]);
  kt_equal(vid.ROIPosition, [5 0 100 100], 'a sparse region is the full value it stands for');
  vid.ROIPosition = [1; 2; 30; 40];
  kt_equal(vid.ROIPosition, [1 2 30 40], 'a column');
  vid.ROIPosition = sparse(logical([0 0 1 1]));
  kt_equal(vid.ROIPosition, [0 0 1 1]);
  vid.FramesPerTrigger = sparse(7);
  kt_equal(vid.FramesPerTrigger, 7);
  vid.FrameGrabInterval = sparse(1);
  kt_equal(vid.FrameGrabInterval, 1);
  for bad = {[10 20; 100 200], ones(1, 1, 4), sparse([1 2; 3 4])}
    kt_error_id(@() set_prop(vid, 'ROIPosition', bad{1}), 'KorVideoInput:badROI', mat2str(size(bad{1})));
  end
  kt_equal(vid.ROIPosition, [0 0 1 1], 'a refused region changes nothing');
  kt_error_id(@() set_prop(vid, 'FramesPerTrigger', sparse(0)), 'KorVideoInput:badValue', 'sparse zero');
  src = getselectedsource(vid);
  src.Exposure = sparse(20);
  kt_equal(src.Exposure, 20);

  % A NUL inside a text is refused, not taken as the text before it.
  nul = char(0);
  kt_error_id(@() KorVideoInput(1, ['640x480' nul 'garbage']), 'KorVideoInput:badArgument', 'format');
  kt_error_id(@() set_prop(src, 'Strobe', ['On' nul 'ff']), 'KorVideoInput:badValue', 'enumerated value');
  kt_equal(src.Strobe, 'Off');
  h = korvideoinput('create', 1, '320x240');
  direct = @(varargin) KorVideoInput.call(varargin{:});   % the class's call, without the MEX file's name
  kt_error_id(@() direct('set', h, ['FramesPerTrigger' nul 'xyz'], 5), 'KorVideoInput:badArgument', 'name');
  kt_error_id(@() direct('get', h, ['FramesPerTrigger' nul]), 'KorVideoInput:badArgument', 'get');
  kt_error_id(@() direct(['start' nul 'z'], h), 'KorVideoInput:badArgument', 'command');
  kt_equal(korvideoinput('get', h, 'Running'), false, 'not started');
  korvideoinput('delete', h);
  kt_equal(korvideoinput('objects'), 1);

  try
    KorVideoInput.memoryLimit(-1);
  catch err
    kt_true(isempty(strfind(err.message, '2^31')), 'no advice to take the whole 32-bit address space: %s', ...
            err.message);
  end
  delete(vid);
end

function getdata_never()
  fresh();
  korcamsim('pace', true);                % 15 frames/s: 100 frames take 6.6 s
  vid = KorVideoInput(3, '320x240');
  vid.FramesPerTrigger = 100;
  start(vid);
  tic;
  kt_error_id(@() getdata(vid, 101), 'KorVideoInput:notEnoughFrames', '101 of 100');
  kt_true(toc < 3, 'refused at once, not at the end of the run (%g s)', toc);
  kt_equal(vid.Running, true, 'the run goes on');
  stop(vid);
  vid.FramesPerTrigger = 100000;
  start(vid);
  kt_error_id(@() getdata(vid, 200000), 'KorVideoInput:notEnoughFrames', '2e5 of 1e5');
  stop(vid);
  vid.FramesPerTrigger = 5;
  start(vid);
  kt_equal(size(getdata(vid, 2), 4), 2);
  kt_error_id(@() getdata(vid, 4), 'KorVideoInput:notEnoughFrames', '4 of the 3 still to come');
  kt_equal(size(getdata(vid, 3), 4), 3, 'the rest');
  delete(vid);
end

function interrupted_waits()
% A second Octave waits; SIGINT (Ctrl-C) must end the wait within a slice
% and leave the object consistent (the cleanup stops it).
  fresh();
  build = fileparts(which('korvideoinput'));
  code = fileparts(which('KorVideoInput'));
  for waiting = {'getdata(v, 100000)', 'wait(v, Inf)'}
    out = [tempname() '.txt'];
    script = sprintf(['addpath(''%s'', ''%s''); v = KorVideoInput(1, ''640x480''); v.FramesPerTrigger = 100000; ' ...
                      'start(v); unwind_protect; disp(''waiting''); fflush(stdout); %s; ' ...
                      'unwind_protect_cleanup; stop(v); printf(''stopped %%d\\n'', v.Running); ' ...
                      'end_unwind_protect'], build, code, waiting{1});
    [~, pid] = system(sprintf(['octave-cli --norc --no-history --quiet --no-window-system --eval "%s" ' ...
                               '> %s 2>&1 & echo $!'], script, out));
    pid = strtrim(pid);
    unwind_protect
      kt_true(wait_for_text(out, 'waiting', 60), '%s: the second Octave never got to wait: %s', waiting{1}, ...
              fileread(out));
      pause(1);
      system(['kill -INT ' pid]);
      ended = false;
      t = tic;
      while toc(t) < 20 && ~ended
        pause(0.2);
        ended = system(['kill -0 ' pid ' 2>/dev/null']) ~= 0;
      end
      kt_true(ended, '%s: Ctrl-C did not end the wait within 20 s', waiting{1});
      kt_true(~isempty(strfind(fileread(out), 'stopped 0')), '%s: the object stopped: %s', waiting{1}, ...
              fileread(out));
    unwind_protect_cleanup
      system(['kill -9 ' pid ' 2>/dev/null']);
      delete(out);
    end_unwind_protect
  end
end

function found = wait_for_text(file, text, seconds)
  found = false;
  t = tic;
  while ~found && toc(t) < seconds
    pause(0.2);
    found = exist(file, 'file') && ~isempty(strfind(fileread(file), text));
  end
end

function source_without_cycle()
  fresh();
  korcamsim('pace', true);
  vid = KorVideoInput(1, '640x480');
  src = getselectedsource(vid);
  vid.FramesPerTrigger = 1000000;
  start(vid);
  clear vid src;
  kt_equal(korvideoinput('objects'), 0, 'object and source cleared together');
  s = korcamsim('state', 1);
  kt_equal([s.open s.fastFrames], [false false], 'camera released, acquisition ended');
  make_locals();
  kt_equal(korvideoinput('objects'), 0, 'a function''s locals go with it');
  kt_equal(korcamsim('state', 1).open, false);

  vid = KorVideoInput(1, '640x480');
  src = getselectedsource(vid);
  delete(vid);
  kt_error_id(@() src.Exposure, 'KorVideoInput:deleted', 'a source outliving its object');
end

function make_locals()
  vid = KorVideoInput(1, '640x480');
  src = getselectedsource(vid);
  src.Exposure = 20;
  vid.FramesPerTrigger = 1000000;
  start(vid);
end

function reattached_camera()
  fresh();
  korcamsim('pace', true);
  vid = KorVideoInput(1, '320x240');
  vid.FramesPerTrigger = 100000;
  start(vid);
  pause(0.3);
  korcamsim('reattach');                  % every handle is gone, the camera is back
  try
    wait(vid, 5);
    error('no error raised');
  catch err
    kt_equal(err.identifier, 'KorvixAdaptor:acquisitionThread');
  end
  d = diagnostics(vid);
  kt_equal(d.Open, false, 'the object closed the camera after the error');
  lines = strsplit(err.message, "\n");
  kt_true(~isempty(strfind(d.ClosedAfter, lines{1})), 'diagnostics say why: %s', d.ClosedAfter);
  vid.FramesPerTrigger = 3;
  start(vid);
  kt_equal(size(getdata(vid), 4), 3, 'the next start opens the camera again');
  kt_equal(diagnostics(vid).Reopened, 1);
  kt_equal(size(getsnapshot(vid)), [240 320 3]);

  % Re-attached while the object was idle: its next run fails, the one after works.
  korcamsim('reattach');
  kt_error_id(@() getsnapshot(vid), 'KorvixAdaptor:acquisitionThread', 'the stale handle');
  kt_equal(size(getsnapshot(vid)), [240 320 3], 'opened again');
  kt_equal(diagnostics(vid).Reopened, 2);
  delete(vid);
  kt_equal(korcamsim('state', 1).open, false);
end

function incomplete_device()
  fresh();
  korcamsim('fail', 'KorcamPropertyRange', 5, 1, 0);
  try
    KorVideoInput(1);
    error('no error raised');
  catch err
    kt_equal(err.identifier, 'KorVideoInput:createFailed');
    kt_true(~isempty(strfind(err.message, 'Cannot get exposure range. Error 5')), 'the adaptor''s reason: %s', ...
            err.message);
  end
  kt_equal(korvideoinput('objects'), 0);
  vid = KorVideoInput(1);                 % the camera answers again
  src = getselectedsource(vid);
  src.Exposure = 20;
  kt_equal(src.Exposure, 20, 'a whole object');
  delete(vid);

  % The same warning made an error by the user leaves no object either.
  korcamsim('fail', 'KorcamPropertyRange', 5, 1, 0);
  warning('error', 'KorvixImaq:getDeviceAttributes');
  unwind_protect
    try
      KorVideoInput(1);
      error('no error raised');
    catch err
      kt_true(any(strcmp(err.identifier, {'KorVideoInput:createFailed', 'KorvixImaq:getDeviceAttributes'})), ...
              'raised %s', err.identifier);
    end
  unwind_protect_cleanup
    warning('on', 'KorvixImaq:getDeviceAttributes');
  end_unwind_protect
  kt_equal(korvideoinput('objects'), 0, 'no object kept without a handle');
end

function failures_warn()
  fresh();
  vid = KorVideoInput(1, '320x240');
  korcamsim('fail', 'KorcamDisableFastFrames', 87, 1, 0);
  lastwarn('');
  frame = getsnapshot(vid);
  [text, id] = lastwarn();
  kt_equal({id, text}, {'KorvixAdaptor:acquisitionThread', 'Cannot disable fast frames.'});
  kt_equal(size(frame), [240 320 3], 'the frame came');
  kt_equal(korcamsim('state', 1).fastFrames, false, 'the camera is not left in fast-frame mode');
  kt_equal(size(getsnapshot(vid)), [240 320 3], 'the next snapshot');

  korcamsim('fail', 'KorcamCameraClose', 6, 1, 0);
  lastwarn('');
  delete(vid);
  [text, id] = lastwarn();
  kt_equal({id, text}, {'KorvixAdaptor:closeDevice', 'Cannot close camera 1. Error: 6'});
  kt_equal(korvideoinput('objects'), 0);
end
