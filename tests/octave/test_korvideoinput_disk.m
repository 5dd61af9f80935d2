function cases = test_korvideoinput_disk()
% KorVideoInput recording to disk against the virtual cameras: the files as
% readers that are not ours see them, each refusal, the memory warning, a
% failing and a slow disk (through korvideoinput's test hook 'diskfaults'),
% deleting or unloading while writing, and many short runs.
  cases = {
    'disk&memory: libtiff, tifffile and imread read what getdata returns', @files_equal_getdata
    'disk: getdata refused, wait returns with every frame written',        @disk_only
    'each refusal of the disk settings and of start',                     @refusals
    'exceedsMemoryLimit at start in memory mode only',                    @memory_warning
    'a failed write: diskWriteFailed, the pages before readable',          @write_failure
    'a slow disk: diskLoggerBehind, the frames queued before written',     @slow_disk
    'delete and clear while writing finish the file, no thread left',      @delete_while_writing
    '100 start/stop rounds, each file valid',                              @many_rounds
  };
end

% ---------------------------------------------------------------------------
% Helpers

function fresh()
  clear -f korvideoinput;
  korcamsim('reset');
end

function set_prop(obj, name, value)
  obj.(name) = value;
end

function vid = recorder(file, mode, frames)
  vid = KorVideoInput(1, '640x480');
  vid.LoggingMode = mode;
  vid.DiskLogger = file;
  vid.FramesPerTrigger = frames;
end

% The figures of a disk failure: FramesAcquired = DiskLoggerFrameCount + the
% frames the message names as not written.
function not_written = check_accounted(vid, err)
  figures = regexp(err.message, 'FramesAcquired (\d+) = DiskLoggerFrameCount (\d+) \+ (\d+) frames not written', ...
                   'tokens', 'once');
  kt_true(~isempty(figures), 'the message gives the figures: %s', err.message);
  figures = str2double(figures);
  kt_equal(figures(1), vid.FramesAcquired, 'FramesAcquired named');
  kt_equal(figures(2), vid.DiskLoggerFrameCount, 'DiskLoggerFrameCount named');
  kt_equal(figures(1), figures(2) + figures(3), 'the counts add up');
  not_written = figures(3);
end

% The readers run without what this Octave preloads (the error spy, and the
% sanitizer runtime in that build).
function prefix = outside()
  prefix = 'env -u LD_PRELOAD';
end

function n = threads()
  n = numel(dir(sprintf('/proc/%d/task', getpid()))) - 2;
end

% libtiff's tiffinfo -D and tiffdump accept the file without a word of
% warning, tifffile reads PAGES BigTIFF pages without one; its pixels are
% DATA's when given.
function check_readers(file, pages, data)
  for tool = {'tiffinfo -D', 'tiffdump'}
    [status, out] = system(sprintf('%s %s "%s" 2>&1', outside, tool{1}, file));
    kt_equal(status, 0, '%s %s', tool{1}, file);
    kt_true(isempty(regexpi(out, 'warning|error', 'once')), '%s says: %s', tool{1}, out(1:min(end, 2000)));
  end
  script = fullfile(fileparts(fileparts(mfilename('fullpath'))), 'videoinput', 'read_tiff.py');
  raw = [tempname() '.raw'];
  cleanup = onCleanup(@() delete(raw));
  [status, out] = system(sprintf('%s /usr/bin/python3 "%s" "%s" "%s" 2>&1', outside, script, file, raw));
  kt_equal(status, 0, 'tifffile: %s', out);
  lines = strsplit(strtrim(out), "\n");
  kt_equal(lines{1}, 'bigtiff 1', 'tifffile sees BigTIFF');
  kt_true(~any(strncmp(lines, 'warning', 7)), 'tifffile warns: %s', out);
  kt_equal(sum(strncmp(lines, 'page ', 5)), pages, 'tifffile pages');
  fid = fopen(file, 'r');
  header = fread(fid, 4, 'uint8')';
  fclose(fid);
  kt_equal(header, [73 73 43 0], 'little-endian BigTIFF header');
  if nargin >= 3
    fid = fopen(raw, 'r');
    bytes = fread(fid, Inf, 'uint8=>uint8');
    fclose(fid);
    [h, w, bands, n] = size(data);
    % Rows top first, samples interleaved.
    kt_equal(permute(reshape(bytes, bands, w, h, n), [3 2 1 4]), data, 'tifffile''s pixels');
  end
end

% ---------------------------------------------------------------------------
% Cases

function files_equal_getdata()
  fresh();
  s = kt_scratch_folder();
  % Colour and grey, each uncompressed and deflated, with a region.
  combos = {'rgb', 'none'; 'grayscale', 'deflate'; 'rgb', 'deflate'; 'grayscale', 'none'};
  for k = 1:rows(combos)
    file = fullfile(s.path, sprintf('run%d.tif', k));
    vid = recorder(file, 'disk&memory', 4);
    vid.ROIPosition = [8 16 320 200];
    vid.ReturnedColorSpace = combos{k, 1};
    vid.DiskLoggerCompression = combos{k, 2};
    vid.Name = 'bench run';
    vid.Tag = sprintf('combo %d', k);
    src = getselectedsource(vid);
    src.Gain = 2;
    start(vid);
    wait(vid);
    kt_equal(vid.DiskLoggerFrameCount, 4, '%s pages', file);
    [data, t, meta] = getdata(vid);
    check_readers(file, 4, data);
    [fdata, ft, fmeta] = KorVideoInput.readLog(file);
    kt_equal(fdata, data, '%s: imread''s pixels', file);
    kt_equal(ft, t, '%s: times', file);
    kt_equal(fmeta, meta, '%s: metadata', file);
    [tt, tmeta] = KorVideoInput.readLog(file, 'times');
    kt_equal({tt, tmeta}, {t, meta}, '%s: times and metadata alone', file);
    [pdata, pt] = KorVideoInput.readLog(file, [2 4]);
    kt_equal(pdata, data(:, :, :, [2 4]), '%s: pages 2 and 4', file);
    kt_equal(pt, t([2 4]), '%s: their times', file);
    info = KorVideoInput.readLog(file, 'info');
    kt_equal({info.Name, info.Tag, info.Pages}, {'bench run', sprintf('combo %d', k), 4}, 'Name, Tag, pages');
    kt_equal(info.Camera.DeviceID, 1, 'camera id');
    kt_true(ischar(info.Camera.Name) && ~isempty(info.Camera.Name), 'camera name');
    kt_equal({info.VideoFormat, info.ReturnedColorSpace}, {'640x480', combos{k, 1}}, 'format, colour space');
    kt_equal(info.ROIPosition(:)', [8 16 320 200], 'ROI');
    kt_equal(info.FrameGrabInterval, 1, 'grab interval');
    kt_equal({info.Trigger.TriggerType, info.Trigger.FramesPerTrigger}, {'immediate', 4}, 'trigger');
    kt_equal(info.DeviceProperties.Gain, 2, 'a device property at start');
    kt_equal(numel(info.StartTime), 6, 'start time as a clock vector');
    delete(vid);
  end
end

function disk_only()
  fresh();
  s = kt_scratch_folder();
  file = fullfile(s.path, 'disk.tif');
  vid = recorder(file, 'disk', 10);
  korvideoinput('diskfaults', 0.2);  % slower than the camera: frames wait in the queue
  start(vid);
  wait(vid, 10, 'logging');
  stop(vid);                         % returns while frames still wait for the disk
  kt_true(vid.DiskLoggerFrameCount < 10, 'frames still queued after stop: %d written', vid.DiskLoggerFrameCount);
  kt_error_id(@() getdata(vid), 'KorVideoInput:notLoggingToMemory');
  kt_error_id(@() peekdata(vid, 1), 'KorVideoInput:notLoggingToMemory');
  kt_equal(vid.FramesAvailable, 0, 'nothing held in memory');
  wait(vid, 30);
  kt_equal([vid.FramesAcquired, vid.DiskLoggerFrameCount], [10 10], 'every frame written when wait returns');
  check_readers(file, 10);
  [~, ~, meta] = KorVideoInput.readLog(file);
  kt_equal([meta.RelativeFrame], 1:10, 'pages in logging order');
  d = diagnostics(vid);
  kt_equal(d.DiskFramesNotWritten, 0, 'none lost');
  kt_true(d.DiskQueueLargest > 1, 'frames queued: %d', d.DiskQueueLargest);
  kt_equal(d.MemoryUsed, 0, 'the queue''s frames released');
  delete(vid);
end

function refusals()
  fresh();
  s = kt_scratch_folder();
  vid = KorVideoInput(1, '640x480');
  vid.FramesPerTrigger = 3;
  for bad = {'run.png', 'run', 'run.tif.bak'}
    kt_error_id(@() set_prop(vid, 'DiskLogger', bad{1}), 'KorVideoInput:badDiskLogger', 'DiskLogger %s', bad{1});
  end
  kt_error_id(@() set_prop(vid, 'DiskLogger', 5), 'KorVideoInput:badValue', 'DiskLogger 5');
  kt_error_id(@() set_prop(vid, 'LoggingMode', 'file'), 'KorVideoInput:badValue', 'LoggingMode');
  kt_error_id(@() set_prop(vid, 'DiskLoggerCompression', 'lzw'), 'KorVideoInput:badValue', 'compression');
  vid.DiskLogger = fullfile(s.path, 'UPPER.TIFF');  % any case
  vid.DiskLogger = '';
  for mode = {'disk', 'disk&memory'}
    vid.LoggingMode = mode{1};
    kt_error_id(@() start(vid), 'KorVideoInput:noDiskLogger', mode{1});
  end
  existing = fullfile(s.path, 'last.tif');
  fid = fopen(existing, 'w');
  fwrite(fid, 'last run');
  fclose(fid);
  vid.DiskLogger = existing;
  err = kt_error_id(@() start(vid), 'KorVideoInput:fileExists');
  kt_true(~isempty(strfind(err.message, existing)), 'names the file: %s', err.message);
  kt_equal(fileread(existing), 'last run', 'the file is left as it was');
  vid.DiskLogger = fullfile(s.path, 'missing', 'run.tif');
  err = kt_error_id(@() start(vid), 'KorVideoInput:cannotCreateFile');
  kt_true(~isempty(strfind(err.message, 'No such file or directory')), 'the system''s reason: %s', err.message);
  kt_equal(vid.Running, false, 'a refused start leaves the object idle');
  vid.DiskLogger = fullfile(s.path, 'run.tif');
  vid.FramesPerTrigger = Inf;
  start(vid);
  for change = {{'LoggingMode', 'memory'}, {'DiskLogger', fullfile(s.path, 'b.tif')}, ...
                {'DiskLoggerCompression', 'deflate'}}
    kt_error_id(@() set_prop(vid, change{1}{:}), 'KorVideoInput:readOnlyWhileRunning', change{1}{1});
  end
  % A file that ends with no page is removed: the run must log a frame first.
  started = tic();
  while vid.FramesAcquired < 1 && toc(started) < 10
    pause(0.05);
  end
  stop(vid);
  wait(vid);
  kt_error_id(@() start(vid), 'KorVideoInput:fileExists', 'each start writes a file of its own');
  delete(vid);
end

function memory_warning()
  fresh();
  s = kt_scratch_folder();
  limit = KorVideoInput.memoryLimit();
  restore = onCleanup(@() KorVideoInput.memoryLimit(limit));
  KorVideoInput.memoryLimit(10 * 640 * 480 * 3);
  vid = KorVideoInput(1, '640x480');
  cases = {'memory', 11, true; 'memory', 10, false; 'memory', Inf, true; 'disk', 11, false; 'disk&memory', 11, false};
  for k = 1:rows(cases)
    vid.LoggingMode = cases{k, 1};
    vid.DiskLogger = fullfile(s.path, sprintf('w%d.tif', k));
    vid.FramesPerTrigger = cases{k, 2};
    lastwarn('', '');
    start(vid);
    stop(vid);
    wait(vid);
    [text, id] = lastwarn();
    if cases{k, 3}
      kt_equal(id, 'KorVideoInput:exceedsMemoryLimit', '%s, %d frames', cases{k, 1}, cases{k, 2});
      kt_true(~isempty(strfind(text, 'holds only 10 of them')) && ~isempty(strfind(text, 'LoggingMode = ''disk''')), ...
              'names the frames that fit and the disk: %s', text);
    else
      kt_equal(id, '', '%s, %d frames: no warning', cases{k, 1}, cases{k, 2});
    end
  end
  delete(vid);
end

function write_failure()
  fresh();
  s = kt_scratch_folder();
  for mode = {'disk', 'disk&memory'}
    file = fullfile(s.path, ['failed-' strrep(mode{1}, '&', '-') '.tif']);
    vid = recorder(file, mode{1}, 20);
    korvideoinput('diskfaults', 0, 6, 'No space left on device');
    start(vid);
    err = kt_error_id(@() wait(vid, 30), 'KorVideoInput:diskWriteFailed', mode{1});
    for part = {file, 'Frame 6 ', 'No space left on device'}
      kt_true(~isempty(strfind(err.message, part{1})), 'the message names %s: %s', part{1}, err.message);
    end
    kt_true(check_accounted(vid, err) >= 1, 'frame 6 is among those not written');
    kt_equal(vid.DiskLoggerFrameCount, 5, 'pages before the failure');
    kt_equal(vid.Running, false, 'the acquisition stopped');
    check_readers(file, 5);
    events = vid.EventLog;
    kt_true(any(strcmp({events.Type}, 'Error')), 'the event log has the error');
    delete(vid);
  end
end

function slow_disk()
  fresh();
  s = kt_scratch_folder();
  limit = KorVideoInput.memoryLimit();
  restore = onCleanup(@() KorVideoInput.memoryLimit(limit));
  KorVideoInput.memoryLimit(4 * 640 * 480 * 3);  % four frames may wait for the disk
  file = fullfile(s.path, 'behind.tif');
  vid = recorder(file, 'disk', Inf);
  korvideoinput('diskfaults', 0.3);
  start(vid);
  err = kt_error_id(@() wait(vid, 60), 'KorVideoInput:diskLoggerBehind');
  kt_true(~isempty(strfind(err.message, file)), 'names the file: %s', err.message);
  kt_equal(check_accounted(vid, err), 1, 'only the frame that found the queue full is not written');
  kt_true(vid.DiskLoggerFrameCount >= 4, 'the queued frames are written: %d', vid.DiskLoggerFrameCount);
  kt_equal(vid.Running, false, 'the acquisition stopped');
  check_readers(file, vid.DiskLoggerFrameCount);
  out = evalc('disp(vid)');
  kt_true(~isempty(strfind(out, sprintf('%d frames written, 1 not written', vid.DiskLoggerFrameCount))), ...
          'disp shows the figures: %s', out);
  kt_equal(diagnostics(vid).MemoryUsed, 0, 'the queue''s frames released');
  delete(vid);
end

function delete_while_writing()
  fresh();
  s = kt_scratch_folder();
  % The adaptor library's own threads, once loaded, stay.
  warm = recorder(fullfile(s.path, 'warm.tif'), 'disk', 1);
  start(warm);
  wait(warm);
  delete(warm);
  before = threads();
  for how = {'delete', 'clear'}
    file = fullfile(s.path, [how{1} '.tif']);
    vid = recorder(file, 'disk', Inf);
    korvideoinput('diskfaults', 0.1);
    start(vid);
    while vid.FramesAcquired < 6
      pause(0.05);
    end
    acquired = vid.FramesAcquired;
    if strcmp(how{1}, 'delete')
      delete(vid);
    else
      clear -f korvideoinput;  % unloads the MEX file: every object goes
    end
    info = imfinfo(file);
    kt_true(numel(info) >= acquired, '%s: every frame queued is written (%d of at least %d)', how{1}, ...
            numel(info), acquired);
    check_readers(file, numel(info));
    % Unloading the MEX file also ends the adaptor library's threads.
    kt_true(threads() <= before, '%s: no thread left (%d, %d before)', how{1}, threads(), before);
  end
end

function many_rounds()
  fresh();
  s = kt_scratch_folder();
  vid = KorVideoInput(1, '640x480');
  vid.LoggingMode = 'disk';
  vid.FramesPerTrigger = Inf;
  vid.ROIPosition = [0 0 64 48];
  vid.DiskLoggerCompression = 'deflate';
  korcamsim('pace', false);
  files = cell(1, 100);
  pages = zeros(1, 100);
  for k = 1:100
    files{k} = fullfile(s.path, sprintf('round%03d.tif', k));
    vid.DiskLogger = files{k};
    start(vid);
    while vid.FramesAcquired < 1
      pause(0.005);
    end
    stop(vid);
    wait(vid);
    pages(k) = vid.DiskLoggerFrameCount;
    kt_equal(pages(k), vid.FramesAcquired, 'round %d: every frame written', k);
  end
  delete(vid);
  [status, out] = system([outside ' tiffinfo ' strjoin(strcat('"', files, '"'), ' ') ' 2>&1 >/dev/null']);
  kt_equal(status, 0, 'tiffinfo accepts the files');
  kt_true(isempty(out), 'tiffinfo says: %s', out);
  for k = 1:100
    kt_equal(numel(imfinfo(files{k})), pages(k), 'round %d: the pages', k);
  end
end
