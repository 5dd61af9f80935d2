function cases = test_korvideoinput_triggers()
% KorVideoInput's experiments against the virtual cameras: manual and
% repeated triggers, acquisitions without end, peeking and flushing, grey
% frames, the event log, Timeout, the object's own properties and each
% refusal of the trigger commands.
  cases = {
    'manual triggers, TriggerRepeat 4: frames, indices, times',     @manual_triggers
    'frames without end until stop',                                @endless_frames
    'peekdata: the newest frames, the log untouched',               @peek_newest
    'flushdata: every frame, or the oldest trigger''s',             @flush_both_ways
    'grayscale: camera 2''s own samples, colour luminance',         @grey_frames
    'TriggerFrameDelay and FrameGrabInterval leave FrameNumber gaps', @frame_gaps
    'each refusal of the trigger commands and properties',         @refusals
    'Timeout governs getdata and wait; wait for logging',           @timeouts
    'configuration, Name, Tag, UserData, get and disp',             @object_and_display
    '500 trigger/getdata rounds: every FrameNumber once',           @many_rounds
  };
end

% ---------------------------------------------------------------------------
% Helpers

function fresh(paced)
  clear -f korvideoinput;
  korcamsim('reset');
  korcamsim('pace', paced);
end

function set_prop(obj, name, value)
  obj.(name) = value;
end

function value = get_prop(obj, name)
  value = obj.(name);
end

% A manual acquisition of PER frames per trigger and REPEAT further triggers.
function vid = manual(cam, format, per, repeat)
  vid = KorVideoInput(cam, format);
  triggerconfig(vid, 'manual');
  vid.FramesPerTrigger = per;
  vid.TriggerRepeat = repeat;
end

% The frames of one trigger: fired, then waited for until logged.
function fire_and_wait(vid)
  trigger(vid);
  wait(vid, 10, 'logging');
end

% ---------------------------------------------------------------------------
% Cases

function manual_triggers()
  fresh(true);
  vid = manual(1, '320x240', 3, 4);
  start(vid);
  kt_equal([vid.Running vid.Logging islogging(vid)], [true false false], 'waiting for the first trigger');
  kt_equal(vid.InitialTriggerTime, [], 'no trigger yet');
  kt_error_id(@() getsnapshot(vid), 'KorVideoInput:noFrame', 'a snapshot before any trigger');
  kt_error_id(@() getdata(vid, 16), 'KorVideoInput:notEnoughFrames', '16 of 5 x 3 frames');
  pause(1);
  kt_equal(vid.FramesAcquired, 0, 'frames taken while waiting are neither logged nor counted');
  meta = [];
  fired = zeros(5, 6);
  for k = 1:5
    fired(k, :) = clock();
    trigger(vid);
    kt_equal(vid.Logging, true, 'logging after trigger %d', k);
    [data, time, m] = getdata(vid, 3);
    kt_equal(size(data), [240 320 3 3]);
    kt_true(all(arrayfun(@(f) etime(f.AbsTime, fired(k, :)) >= 0, m)), 'frames of trigger %d stamped after it', k);
    if k == 1
      kt_true(time(1) >= 0 && time(1) < 0.9, 'time counts from the first trigger, not from start: %g', time(1));
    end
    meta = [meta; m];                                            %#ok<AGROW>
    if k < 5
      pause(0.2);
      kt_equal(vid.FramesAvailable, 0, 'frames between triggers are not logged (%d)', k);
    end
  end
  wait(vid);
  kt_equal(vid.Running, false, 'ends by itself after 5 x 3 frames');
  kt_equal(vid.FramesAcquired, 15);
  kt_equal(vid.TriggersExecuted, 5);
  kt_equal([meta.TriggerIndex], kron(1:5, [1 1 1]));
  kt_equal([meta.RelativeFrame], repmat(1:3, 1, 5));
  numbers = [meta.FrameNumber];
  kt_true(all(diff(numbers) > 0), 'frame numbers increase: %s', mat2str(numbers));
  kt_true(all(diff(numbers(3:3:end)) > 3), 'gaps between triggers: %s', mat2str(numbers));
  kt_true(etime(vid.InitialTriggerTime, fired(1, :)) >= 0 && etime(vid.InitialTriggerTime, fired(2, :)) < 0, ...
          'InitialTriggerTime is the first trigger''s');
  events = vid.EventLog;
  kt_equal({events.Type}, [{'Start'}, repmat({'Trigger'}, 1, 5), {'Stop'}]);
  data = [events.Data];
  kt_equal([data(2:6).TriggerIndex], 1:5);
  kt_true(all(diff([data(2:6).FrameNumber]) > 0), 'triggers at increasing frame numbers');
  kt_equal(fieldnames(data(1))', {'AbsTime', 'FrameNumber', 'RelativeFrame', 'TriggerIndex'});
  delete(vid);
end

function endless_frames()
  fresh(true);
  vid = KorVideoInput(3, '320x240');
  vid.FramesPerTrigger = Inf;
  kt_equal(vid.FramesPerTrigger, Inf);
  start(vid);
  frames = getdata(vid, 12);
  kt_equal(size(frames, 4), 12);
  kt_equal(vid.Running, true, 'still running after more frames than the default ten');
  pause(0.2);
  stop(vid);
  acquired = vid.FramesAcquired;
  pause(0.2);
  kt_equal(vid.FramesAcquired, acquired, 'nothing after stop');
  held = vid.FramesAvailable;
  kt_equal(held, acquired - 12);
  kt_equal(size(getdata(vid), 4), held, 'getdata(vid) takes what is held');

  % Endless immediate triggers: each follows the previous one's frames.
  vid.FramesPerTrigger = 2;
  vid.TriggerRepeat = Inf;
  start(vid);
  [~, ~, meta] = getdata(vid, 7);
  stop(vid);
  kt_equal([meta.TriggerIndex], [1 1 2 2 3 3 4]);
  kt_equal(diff([meta.FrameNumber]), ones(1, 6), 'immediate triggers lose no frame');
  kt_equal(vid.TriggerRepeat, Inf);
  delete(vid);
end

function peek_newest()
  fresh(false);
  vid = manual(1, '320x240', 3, Inf);
  start(vid);
  lastwarn('');
  empty = peekdata(vid, 1);
  kt_equal(size(empty, 4), 0, 'nothing logged yet');
  [~, id] = lastwarn();
  kt_equal(id, 'KorVideoInput:peekdataFewer');
  fire_and_wait(vid);
  kt_equal(vid.Running, true, 'running, waiting for the next trigger');
  [data, time, meta] = peekdata(vid, 2);
  kt_equal(vid.FramesAvailable, 3, 'peekdata leaves FramesAvailable alone');
  kt_equal([meta.RelativeFrame], [2 3], 'the newest, oldest first');
  [all3, all_time, all_meta] = getdata(vid, 3);
  kt_equal(data, all3(:, :, :, 2:3));
  kt_equal(time, all_time(2:3));
  kt_equal([meta.FrameNumber], [all_meta(2:3).FrameNumber]);
  fire_and_wait(vid);
  lastwarn('');
  kt_equal(size(peekdata(vid, 5), 4), 3, 'fewer when fewer are logged');
  [text, id] = lastwarn();
  kt_equal(id, 'KorVideoInput:peekdataFewer', text);
  kt_equal(vid.FramesAvailable, 3);
  kt_error_id(@() peekdata(vid, 0), 'KorVideoInput:badValue');
  stop(vid);
  delete(vid);
end

function flush_both_ways()
  fresh(false);
  vid = manual(3, '320x240', 2, Inf);
  start(vid);
  fire_and_wait(vid);
  fire_and_wait(vid);
  fire_and_wait(vid);
  kt_equal(vid.FramesAvailable, 6);
  flushdata(vid, 'triggers');
  kt_equal(vid.FramesAvailable, 4, 'the oldest trigger''s frames go');
  [~, ~, meta] = getdata(vid, 2);
  kt_equal([meta.TriggerIndex], [2 2]);
  flushdata(vid);
  kt_equal(vid.FramesAvailable, 0, 'every frame goes');
  kt_equal(vid.FramesAcquired, 6, 'FramesAcquired stays');
  fire_and_wait(vid);
  [~, ~, meta] = getdata(vid, 2);
  kt_equal([meta.TriggerIndex], [4 4], 'logging goes on after a flush');
  kt_error_id(@() flushdata(vid, 'frames'), 'KorVideoInput:badValue');
  stop(vid);
  delete(vid);
end

function grey_frames()
  fresh(false);
  KorVideoInput.memoryLimit(2^30);
  vid = KorVideoInput(2, '640x480');
  vid.FramesPerTrigger = 1;
  vid.ReturnedColorSpace = 'grayscale';
  kt_equal(vid.ReturnedColorSpace, 'grayscale');
  start(vid);
  wait(vid);
  kt_equal(diagnostics(vid).MemoryUsed, 640 * 480, 'one page per frame against the memory limit');
  img = getdata(vid);
  [raw, w, h] = korcamsim('lastframe', 2);
  kt_equal([size(img, 1) size(img, 2) size(img, 3)], [480 640 1], 'one page');
  kt_equal(img, reshape(raw, w, h)(:, end:-1:1)', 'camera 2''s own samples, exactly');
  kt_equal(size(getsnapshot(vid)), [480 640], 'a grey snapshot');
  delete(vid);

  vid = KorVideoInput(1, '320x240');
  vid.FramesPerTrigger = 1;
  vid.ReturnedColorSpace = 'grayscale';
  start(vid);
  img = getdata(vid);
  [raw, w, h, pf] = korcamsim('lastframe', 1);
  bgr = double(reshape(korcamsim('convert', 1, raw, w, h, pf), 3, w, h));
  luma = round(0.298936021293775 * bgr(3, :, :) + 0.587043074451121 * bgr(2, :, :) + ...
               0.114020904255103 * bgr(1, :, :));
  kt_equal(img, uint8(squeeze(luma)(:, end:-1:1)'), 'a colour camera''s luminance');
  vid.ReturnedColorSpace = 'rgb';
  start(vid);
  kt_equal(size(getdata(vid)), [240 320 3], 'rgb again');
  kt_error_id(@() set_prop(vid, 'ReturnedColorSpace', 'ycbcr'), 'KorVideoInput:badValue');
  delete(vid);
end

function frame_gaps()
  fresh(false);
  vid = KorVideoInput(3, '320x240');
  vid.FramesPerTrigger = 3;
  vid.TriggerRepeat = 1;
  vid.TriggerFrameDelay = 2;
  start(vid);
  [~, time, meta] = getdata(vid, 6);
  kt_equal([meta.FrameNumber], [3 4 5 8 9 10], 'two frames skipped after each trigger');
  kt_equal([meta.TriggerIndex], [1 1 1 2 2 2]);
  kt_true(time(1) > 0, 'times count from the trigger');
  vid.TriggerFrameDelay = 1;
  vid.FrameGrabInterval = 2;
  vid.TriggerRepeat = 0;
  start(vid);
  [~, ~, meta] = getdata(vid, 3);
  kt_equal([meta.FrameNumber], [2 4 6]);
  delete(vid);
end

function refusals()
  fresh(true);
  vid = KorVideoInput(1, '320x240');
  err = kt_error_id(@() trigger(vid), 'KorVideoInput:notRunning', 'before start');
  kt_true(~isempty(strfind(err.message, 'not running')), 'names the state: %s', err.message);
  vid.FramesPerTrigger = Inf;
  start(vid);
  err = kt_error_id(@() trigger(vid), 'KorVideoInput:notManualTrigger', 'immediate and logging');
  kt_true(~isempty(strfind(err.message, '''immediate''')), 'names the trigger type: %s', err.message);
  kt_error_id(@() triggerconfig(vid, 'manual'), 'KorVideoInput:readOnlyWhileRunning');
  names = {'TriggerRepeat', 'TriggerFrameDelay', 'ReturnedColorSpace', 'FramesPerTrigger'};
  values = {2, 1, 'grayscale', 3};
  for i = 1:numel(names)
    kt_error_id(@() set_prop(vid, names{i}, values{i}), 'KorVideoInput:readOnlyWhileRunning', names{i});
  end
  vid.Timeout = 20;
  kt_equal(vid.Timeout, 20, 'Timeout is settable while running');
  stop(vid);
  kt_error_id(@() trigger(vid), 'KorVideoInput:notRunning', 'after stop');

  triggerconfig(vid, 'manual');
  vid.FramesPerTrigger = 30;
  start(vid);
  trigger(vid);
  err = kt_error_id(@() trigger(vid), 'KorVideoInput:alreadyLogging');
  kt_true(~isempty(strfind(err.message, 'logging')), 'names the state: %s', err.message);
  stop(vid);

  for bad = {{'hardware'}, {'bogus'}, {'manual', 'risingEdge', 'none'}, {'manual', 'none', 'extern'}, ...
             {struct('TriggerType', 'manual')}, {3}}
    err = kt_error_id(@() triggerconfig(vid, bad{1}{:}), 'KorVideoInput:badTrigger');
    kt_true(~isempty(strfind(err.message, '''immediate'', ''none'', ''none''')) && ...
            ~isempty(strfind(err.message, '''manual'', ''none'', ''none''')), 'lists the valid ones: %s', err.message);
  end
  bad_values = {'TriggerRepeat', {-1, 1.5, NaN, 'a'}; 'TriggerFrameDelay', {-1, Inf, 0.5}; ...
                'Timeout', {0, -1, NaN, 'a'}; 'FramesPerTrigger', {0, -Inf}};
  for i = 1:rows(bad_values)
    for v = bad_values{i, 2}
      kt_error_id(@() set_prop(vid, bad_values{i, 1}, v{1}), 'KorVideoInput:badValue', bad_values{i, 1});
    end
  end
  err = kt_error_id(@() get_prop(vid, 'Shutter'), 'KorVideoInput:noProperty', 'an unknown name read');
  kt_true(~isempty(strfind(err.message, 'TriggerRepeat')) && ~isempty(strfind(err.message, 'FramesPerTrigger')), ...
          'lists the valid names: %s', err.message);
  kt_error_id(@() set_prop(vid, 'Shutter', 'open'), 'KorVideoInput:noProperty', 'an unknown name set');
  kt_error_id(@() get(vid, 'Shutter'), 'KorVideoInput:noProperty', 'through get');
  kt_error_id(@() wait(vid, 1, 'sleeping'), 'KorVideoInput:badValue');
  delete(vid);
end

function timeouts()
  fresh(true);
  vid = manual(1, '320x240', 2, 0);
  vid.Timeout = 0.5;
  start(vid);
  began = tic;
  err = kt_error_id(@() getdata(vid, 1), 'KorVideoInput:timeout', 'no trigger');
  kt_true(toc(began) < 5, 'getdata gave up after Timeout, not the old 10 s');
  kt_true(~isempty(strfind(err.message, 'trigger(vid)')), 'says to trigger: %s', err.message);
  kt_error_id(@() wait(vid), 'KorVideoInput:timeout', 'wait defaults to Timeout');
  trigger(vid);
  wait(vid, 5, 'logging');
  kt_equal(vid.FramesAvailable, 2, 'wait for logging returns once the trigger''s frames are in');
  delete(vid);

  % No frame at all: the advice is to start.
  fresh(false);
  vid = KorVideoInput(3, '320x240');
  err = kt_error_id(@() getdata(vid), 'KorVideoInput:notEnoughFrames', 'never started');
  kt_true(~isempty(strfind(err.message, 'start(vid)')) && isempty(strfind(err.message, 'at most 0')), ...
          'advice that works: %s', err.message);
  delete(vid);
end

function object_and_display()
  fresh(true);
  vid = KorVideoInput(1, '320x240');
  kt_equal(triggerconfig(vid), struct('TriggerType', 'immediate', 'TriggerCondition', 'none', 'TriggerSource', 'none'));
  info = triggerinfo(vid);
  kt_equal({info.TriggerType}, {'immediate', 'manual'});
  kt_equal(unique({info.TriggerCondition, info.TriggerSource}), {'none'});
  c = triggerconfig(vid, struct('TriggerType', 'manual', 'TriggerCondition', 'none', 'TriggerSource', 'none'));
  kt_equal(c.TriggerType, 'manual');
  triggerconfig(vid, 'immediate', 'none', 'none');
  kt_equal(vid.TriggerType, 'immediate');
  kt_equal({vid.Name, vid.Tag, vid.UserData}, {'320x240-korviximaq-1', '', []});
  kt_equal([vid.TriggerRepeat vid.TriggerFrameDelay vid.Timeout], [0 0 10]);
  vid.Name = 'left eye';
  vid.Tag = 'trial';
  vid.UserData = struct('subject', 7);
  kt_equal({vid.Name, vid.Tag, vid.UserData.subject}, {'left eye', 'trial', 7});
  s = get(vid);
  kt_true(all(isfield(s, {'Name', 'Tag', 'UserData', 'TriggerType', 'TriggerRepeat', 'TriggerFrameDelay', ...
                          'Logging', 'InitialTriggerTime', 'Timeout', 'ReturnedColorSpace', 'EventLog', ...
                          'FramesPerTrigger', 'ROIPosition'})), 'every property');
  kt_equal(get(vid, 'Tag'), 'trial');

  text = evalc('vid');
  kt_true(~isempty(strfind(text, 'Waiting for START.')), 'before start: %s', text);
  kt_true(~isempty(strfind(text, 'camera 1')) && ~isempty(strfind(text, '320x240')), 'camera and format');
  triggerconfig(vid, 'manual');
  vid.TriggerRepeat = 4;
  vid.FramesPerTrigger = 20;
  start(vid);
  kt_true(~isempty(strfind(evalc('disp(vid)'), 'Waiting for TRIGGER 1 of 5.')), 'waiting for the first');
  trigger(vid);
  text = evalc('disp(vid)');
  kt_true(~isempty(strfind(text, 'Logging data.')), 'logging: %s', text);
  kt_true(~isempty(strfind(text, '20 per trigger')) && ~isempty(strfind(text, '''manual''')), 'settings: %s', text);
  wait(vid, 10, 'logging');
  kt_true(~isempty(strfind(evalc('disp(vid)'), 'Waiting for TRIGGER 2 of 5.')), 'waiting for the second');
  stop(vid);
  text = evalc('disp(vid)');
  kt_true(~isempty(strfind(text, 'Not running.')) && ~isempty(strfind(text, '20 frames acquired')), text);
  delete(vid);
end

function many_rounds()
  fresh(false);
  vid = manual(1, '320x240', 2, Inf);
  start(vid);
  rounds = 500;
  numbers = zeros(1, 2 * rounds);
  triggers = zeros(1, 2 * rounds);
  relative = zeros(1, 2 * rounds);
  for k = 1:rounds
    trigger(vid);
    [~, ~, meta] = getdata(vid, 2);
    numbers(2 * k - 1:2 * k) = [meta.FrameNumber];
    triggers(2 * k - 1:2 * k) = [meta.TriggerIndex];
    relative(2 * k - 1:2 * k) = [meta.RelativeFrame];
  end
  stop(vid);
  kt_equal(numel(unique(numbers)), 2 * rounds, 'every FrameNumber once');
  kt_true(all(diff(numbers) > 0), 'in the order taken');
  kt_equal(triggers, kron(1:rounds, [1 1]));
  kt_equal(relative, repmat([1 2], 1, rounds));
  kt_equal([vid.FramesAcquired vid.FramesAvailable vid.TriggersExecuted], [2 * rounds 0 rounds]);
  kt_equal(diagnostics(vid).LateFrames, 0);
  delete(vid);
end
