function cases = test_fuzz()
% Random calls of KorDispatcher against rigs of small virtual cameras, mixed
% with injected SDK faults, camera count overrides and unloads of the module.
% The host must survive every call, every error must be one of the gateway's
% own texts (taken from its sources), and the slot table must stay sound.
% KORCAM_FUZZ_SEED and KORCAM_FUZZ_CALLS choose the run; the seed is printed
% so that a failing run can be replayed exactly.
  cases = {
    'the texts taken from the gateway sources', @known_texts
    'random calls, faults and unloads',         @fuzz_run
  };
end

% The extraction itself: a few texts every build raises must be recognised,
% with their %d filled in, and near misses must not.
function known_texts()
  texts = gateway_texts();
  for good = {"Invalid camera nubmer.", "Camera 7 already connected.", ...
              "An error has occured while opening a connection to the camera.\n", ...
              "Error 4294967295 occured while attempting to take a fast frame with camera 3.", ...
              "Pixel format 2 of camera 10 cannot be captured: only formats 0 (8 bits) and 1 (16 bits) can.", ...
              "The frame format structure has no field \"xFlags\".", "Parameter 4 must be a number."}
    kt_true(is_gateway_text(texts, good{1}), 'recognised: %s', good{1});
  end
  for bad = {"Invalid camera number.", "Camera x already connected.", "Camera 7 already connected", ...
             "An error has occured while opening a connection to the camera.", "", "%s", "API"}
    kt_true(~is_gateway_text(texts, bad{1}), 'not a gateway text: %s', bad{1});
  end
end

function fuzz_run()
  seed = environment_number('KORCAM_FUZZ_SEED', 1);
  total = environment_number('KORCAM_FUZZ_CALLS', 100000);
  printf('        seed %d, %d calls (replay: KORCAM_FUZZ_SEED=%d KORCAM_FUZZ_CALLS=%d)\n', seed, total, seed, total);
  rand('twister', seed);
  % Unpaced: a hundred thousand calls, and a triggered snapshot times out at
  % once instead of waiting out its timeout.
  korcamsim('pace', false);

  ctx.texts = gateway_texts();
  ctx.operations = sdk_operations();
  ctx.pool = value_pool();
  ctx.kinds = parameter_kinds();
  ctx.output = false(1, 77);
  ctx.output([4 6 7 8 11 12 13 14 16 19 21 23 25 27 29 31 32 33 34 37 38 39 41 43 45 47 49 51:60 62 74] + 3) = true;
  ctx.seed = seed;
  ctx.rates = [3.75 7.5 15 30 60];
  ctx.extremes = {0, -0, -1, 2.5, -2.7, 255, 256, 65535, 65536, 2^31 - 1, 2^31, -2^31, -2^31 - 1, 2^32, ...
                  2^53, 1e300, -1e300, realmax, -realmax, realmin, 3.5e38, NaN, Inf, -Inf};
  ctx.classes = {@double, @single, @int8, @uint8, @int16, @uint16, @int32, @uint32, @int64, @uint64};

  stats = struct('ok', 0, 'errors', 0, 'faults', 0, 'counts', 0, 'reloads', 0, 'checks', 0, ...
                 'stalePreviews', 0, 'orphanStreams', 0, 'leakedHandles', 0);
  % The texts raised in one block of calls are checked together at its end,
  % each distinct text once; the block keeps each raising call's arguments.
  block = 5000;
  raised = struct('text', {cell(1, block)}, 'call', zeros(1, block), 'args', {cell(1, block)}, 'count', 0);
  cameras = new_rig();
  [~, spied] = mexspy();
  for i = 1:total
    if rand() < 0.02
      [cameras, stats] = disturb(ctx, cameras, stats, i);
      [~, spied] = mexspy();
    end
    [args, nout] = random_call(ctx, cameras);
    failed = false;
    try
      if nout
        out = KorDispatcher(args{:});
      else
        KorDispatcher(args{:});
      end
    catch
      failed = true;
    end
    if ~failed
      stats.ok += 1;
      if nout && ~(isnumeric(out) || islogical(out) || ischar(out) || isstruct(out))
        fuzz_fail(i, seed, args, 'an output of class %s', class(out));
      end
    else
      [text, count] = mexspy();
      if count == spied
        fuzz_fail(i, seed, args, 'an error that did not come from the gateway: "%s"', strrep(lasterr(), "\n", '\n'));
      end
      spied = count;
      k = raised.count + 1;
      raised.text{k} = text;
      raised.call(k) = i;
      raised.args{k} = args;
      raised.count = k;
    end
    if mod(i, 1000) == 0
      korcamsim('calls', 'clear');  % keeps the log small; nothing here reads it
    end
    if mod(i, block) == 0 || i == total
      [ctx.texts, stats, raised] = check_texts(ctx.texts, stats, raised, seed);
      stats = check_slots(cameras, i == total, stats, i, seed);
      [~, spied] = mexspy();
    end
    if mod(i, 25000) == 0
      printf('        %d calls\n', i);
      fflush(stdout);
    end
  end
  printf(['        %d returned, %d raised; %d injected faults, %d count overrides, %d unloads, %d checks\n' ...
          '        seen at checks: %d previews stopped in the SDK but not in the slot, %d streams the slot ' ...
          'does not know of; %d handles the gateway had lost by an unload\n'], ...
         stats.ok, stats.errors, stats.faults, stats.counts, stats.reloads, stats.checks, ...
         stats.stalePreviews, stats.orphanStreams, stats.leakedHandles);
end

function [texts, stats, raised] = check_texts(texts, stats, raised, seed)
  [distinct, first] = unique(raised.text(1:raised.count), 'first');
  for k = 1:numel(distinct)
    [known, texts] = is_gateway_text(texts, distinct{k});
    if ~known
      fuzz_fail(raised.call(first(k)), seed, raised.args{first(k)}, 'not one of the gateway''s texts: "%s"', ...
                strrep(distinct{k}, "\n", '\n'));
    end
  end
  stats.errors += raised.count;
  raised.count = 0;
end

% ---------------------------------------------------------------------------
% One random call

% A command code (mostly inside the table, connection commands favoured so
% that cameras get connected and previewing), a parameter count (mostly the
% right one) and parameters (mostly of the kind the command expects).
function [args, nout] = random_call(ctx, cameras)
  u = rand();
  if u < 0.03
    code = one_of(ctx.extremes) + 75 * (rand() < 0.3);
  elseif u < 0.05
    code = one_of(ctx.pool);
  elseif u < 0.25
    connection = [-2 -1 -1 0 0 1 6 13 32];
    code = one_of(connection);
  else
    code = between(-2, 74);
  end
  known = isnumeric(code) && isscalar(code) && isreal(code) && ~issparse(code) && code >= -2 && code < 75;
  kinds = '';
  if known
    kinds = ctx.kinds{fix(double(code)) + 3};
    u = rand();
    if u < 0.1 && code ~= 0
      code = double(code) + sign(double(code)) * 0.6 * rand();  % truncated toward zero
    elseif u < 0.2
      convert = one_of(ctx.classes);
      same = convert(code);
      if double(same) == code
        code = same;
      end
    end
  end
  count = numel(kinds);
  if known && fix(double(code)) == 32
    count = between(0, 3);
  elseif rand() < 0.08
    count = between(0, 11);
  end
  args = cell(1, count + 1);
  args{1} = code;
  if rand() < 0.002
    args = {};
    count = 0;
  end
  for k = 1:count
    kind = 'x';
    if k <= numel(kinds) && rand() < 0.93
      kind = kinds(k);
    end
    args{k + 1} = random_parameter(ctx, kind, cameras);
  end
  % An output is asked for only where the command gives one.
  nout = double(known && ctx.output(fix(double(code)) + 3) && rand() < 0.7);
end

function v = random_parameter(ctx, kind, cameras)
  u = rand();
  switch kind
    case 'c'  % camera number
      if u < 0.85
        v = pick(cameras);
      elseif u < 0.95
        v = between(-1, 12);
      else
        v = one_of(ctx.extremes);
      end
      v = vary_class(ctx, v);
    case 'i'  % integer
      if u < 0.5
        v = between(0, 64);
      elseif u < 0.65
        v = between(-5, 5);
      elseif u < 0.8
        v = between(0, 300);
      else
        v = one_of(ctx.extremes);
      end
      v = vary_class(ctx, v);
    case 'd'  % double
      if u < 0.3
        v = one_of(ctx.rates);
      elseif u < 0.6
        v = 100 * rand();
      elseif u < 0.8
        v = between(0, 10);
      else
        v = double(one_of(ctx.extremes));
      end
    case 'l'  % logical
      if u < 0.85
        v = rand() < 0.5;
      else
        v = rand(1, pick(4)) < 0.5;
      end
    case 's'  % frame format structure
      v = random_format_structure(ctx);
    case 'u'  % unchecked number
      if u < 0.7
        v = between(-10, 300);
      elseif u < 0.8
        v = one_of(ctx.extremes);
      else
        v = one_of(ctx.pool);
      end
    otherwise  % anything at all
      v = one_of(ctx.pool);
  end
end

function v = vary_class(ctx, v)
  if rand() < 0.1
    convert = one_of(ctx.classes);
    v = convert(v);
  elseif rand() < 0.05
    v = v + 0.9 * rand() * sign(v);
  end
end

% Mostly a format a small camera accepts; sometimes one it refuses, a field
% missing, of the wrong kind or a structure of the wrong shape.
function s = random_format_structure(ctx)
  s = struct('width', pick(64), 'height', pick(48), 'xOffset', between(0, 8), 'yOffset', between(0, 8), ...
             'xBinSub', 1, 'yBinSub', 1, 'xFlags', 0, 'yFlags', 0, 'pixelFormat', 0, ...
             'frameRate', one_of(ctx.rates));
  if rand() < 0.3
    s.xBinSub = between(0, 3);
    s.yBinSub = between(0, 3);
    s.pixelFormat = between(0, 3);
  end
  u = rand();
  names = fieldnames(s);
  if u < 0.05
    s = rmfield(s, one_of(names));
  elseif u < 0.1
    s.(one_of(names)) = one_of(ctx.pool);
  elseif u < 0.13
    s.(one_of(names)) = one_of(ctx.extremes);
  elseif u < 0.15
    s = [s s];
  elseif u < 0.17
    s.extra = 1;
  end
end

% ---------------------------------------------------------------------------
% Disturbances between calls: SDK faults, camera counts, unloads, odd states

function [cameras, stats] = disturb(ctx, cameras, stats, i)
  u = rand();
  if u < 0.35
    op = one_of(ctx.operations);
    codes = [2 5 6 9 19 21 22 31 87 1 4294967295];
    code = one_of(codes);
    counts = [1 1 2 3 Inf];
    korcamsim('fail', op, code, one_of(counts), between(0, 3));
    stats.faults += 1;
  elseif u < 0.5
    korcamsim('fail');
  elseif u < 0.58
    korcamsim('count', between(-1, cameras + 1));
    stats.counts += 1;
  elseif u < 0.75
    korcamsim('count');
  elseif u < 0.8
    % A camera left in a mode the gateway would not choose: a small odd
    % one, or one whose frame alone exceeds what a 32-bit process can hold
    % (refused before any buffer is obtained, so nothing large is drawn).
    if rand() < 0.8
      f = struct('width', pick(96), 'height', pick(64), 'xBinSub', between(0, 3), 'yBinSub', between(0, 3), ...
                 'pixelFormat', between(0, 4));
    else
      sides = [65536 2^31 2^32 - 1];
      f = struct('width', one_of(sides), 'height', one_of(sides), 'xBinSub', 1, 'yBinSub', 1, ...
                 'pixelFormat', between(0, 1));
    end
    korcamsim('format', pick(cameras), f);
  elseif u < 0.85
    flags = [0 2147483648];
    korcamsim('set', pick(cameras), 80, double(rand() < 0.7), flags(pick(2)));
  elseif u < 0.9
    korcamsim('foreground', rand() < 0.7);
  elseif u < 0.96
    % Unload and reload on a fresh rig. After the deep check every camera is
    % connected, so the exit hook must close exactly one handle of each.
    % Handles the gateway lost earlier stay open: a close the SDK refused
    % (its result is ignored). A connect whose format query failed keeps
    % its handle in the slot until the next connect closes it, or the
    % unload does.
    stats = check_slots(cameras, true, stats, i, ctx.seed);
    before = open_handles(cameras);
    clear -f KorDispatcher;
    after = open_handles(cameras);
    if any(after ~= before - 1)
      fuzz_fail(i, ctx.seed, {}, 'the unload left %s handles open of %s', mat2str(after), mat2str(before));
    end
    stats.reloads += 1;
    stats.leakedHandles += sum(after);
    cameras = new_rig();
  else
    korcamsim('calls', 'clear');
  end
end

% One to ten small cameras of mixed kinds, so that snapshots stay cheap; now
% and then a line and a column sensor (with a small camera or not), whose
% synchronous snapshot array is too large to create though each frame is small.
function cameras = new_rig()
  if rand() < 0.9
    cameras = pick(10);
    widths = [64 32 80 16];
    heights = [48 24 60 12];
  else
    cameras = between(2, 3);
    widths = [65536 1 16];
    heights = [1 65536 12];
  end
  rates = [3.75 7.5 15 30];
  specs = struct('id', {}, 'color', {}, 'maxWidth', {}, 'maxHeight', {}, 'bits16', {}, 'littleEndian', {}, ...
                 'strobeDuration', {}, 'frameRates', {}, 'serial', {}, 'interface', {});
  for n = 1:cameras
    k = pick(numel(widths));
    if numel(widths) == 3
      k = n;
    end
    chosen = rates(rand(1, 4) < 0.7);
    if isempty(chosen) && rand() < 0.7
      chosen = 15;
    end
    specs(n) = struct('id', between(0, 65535), 'color', rand() < 0.6, 'maxWidth', widths(k), ...
                      'maxHeight', heights(k), 'bits16', rand() < 0.5, 'littleEndian', rand() < 0.5, ...
                      'strobeDuration', rand() < 0.7, 'frameRates', chosen, 'serial', between(0, 99999), ...
                      'interface', between(1, 2));
  end
  korcamsim('fail');
  korcamsim('count');
  korcamsim('foreground', true);
  korcamsim('rig', specs);
end

% ---------------------------------------------------------------------------
% The slot table's invariants, seen from outside

% With faults and count overrides cleared, for each camera of the rig: query
% connection true implies the camera is open in the SDK. Whether the slot
% believes it is previewing is seen through take video frame, which refuses
% with "Cannot capture a frame, not previewing." before any SDK call when it
% is not. A deep check also connects every camera that is not connected: a
% slot that is not connected must not be previewing either.
function stats = check_slots(cameras, deep, stats, i, seed)
  korcamsim('fail');
  korcamsim('count');
  korcamsim('foreground', true);
  stats.checks += 1;
  for n = 1:cameras
    state = korcamsim('state', n);
    connected = KorDispatcher(6, n);
    if connected
      if ~state.open
        fuzz_fail(i, seed, {}, 'camera %d is connected in the slot table but not open in the SDK', n);
      end
      previewing = slot_previewing(n);
      stats.stalePreviews += previewing && ~state.streaming;
      stats.orphanStreams += ~previewing && state.streaming;
    elseif deep
      KorDispatcher(-1, n);
      if slot_previewing(n)
        fuzz_fail(i, seed, {}, 'camera %d was previewing in the slot table while not connected', n);
      end
    end
  end
end

function handles = open_handles(cameras)
  handles = zeros(1, cameras);
  for n = 1:cameras
    handles(n) = korcamsim('state', n).handles;
  end
end

function previewing = slot_previewing(n)
  try
    KorDispatcher(7, n);
    previewing = true;
  catch
    previewing = ~strcmp(mexspy(), 'Cannot capture a frame, not previewing.');
  end
end

% ---------------------------------------------------------------------------
% Fixed material of the run

% Every string literal of gateway/*.cpp and *.h that reads like a message
% (adjacent literals joined, escapes resolved), as an exact text or, where it
% holds printf conversions, as a pattern. Texts matched by a pattern join the
% exact ones, so that a repeated message costs one comparison.
function texts = gateway_texts()
  root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
  files = [dir(fullfile(root, 'gateway', '*.cpp')); dir(fullfile(root, 'gateway', '*.h'))];
  exact = {};
  patterns = {};
  for f = files'
    for text = message_literals(fileread(fullfile(f.folder, f.name)))
      if isempty(regexp(text{1}, '[A-Za-z]+ [A-Za-z0-9]', 'once'))
        continue;  % a format of numbers, a field name, a file name: not a message
      end
      if isempty(regexp(text{1}, '%', 'once'))
        exact{end + 1} = text{1};
      else
        patterns{end + 1} = format_pattern(text{1});
      end
    end
  end
  if numel(exact) < 100 || numel(patterns) < 50
    error('only %d texts and %d patterns found in %s/gateway', numel(exact), numel(patterns), root);
  end
  texts.seen = unique(exact);
  texts.patterns = unique(patterns);
end

% The string literals of a C++ source, comments and character literals
% skipped, adjacent literals joined and escapes resolved.
function texts = message_literals(source)
  token = '"(?:[^"\\\n]|\\.)*"|//[^\n]*|/\*.*?\*/|''(?:[^''\\\n]|\\.)*''';
  [tokens, first, last] = regexp(source, token, 'match', 'start', 'end');
  texts = {};
  previous = -1;
  for k = 1:numel(tokens)
    if tokens{k}(1) ~= '"'
      previous = -1;
      continue;
    end
    text = unescape(tokens{k}(2:end - 1));
    if previous > 0 && all(isspace(source(previous + 1:first(k) - 1)))
      texts{end} = [texts{end} text];
    else
      texts{end + 1} = text;
    end
    previous = last(k);
  end
end

function text = unescape(literal)
  text = regexprep(literal, '\\(["\\''?])', '$1');
  text = strrep(text, '\n', "\n");
  text = strrep(text, '\t', "\t");
end

% A printf format as an anchored regular expression.
function pattern = format_pattern(format)
  conversions = '%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|z|j|t)?[diuxXsc%]';
  [pieces, specs] = regexp(format, conversions, 'split', 'match');
  pattern = '^';
  for k = 1:numel(pieces)
    pattern = [pattern regexptranslate('escape', pieces{k})];
    if k <= numel(specs)
      switch specs{k}(end)
        case {'d', 'i'}, pattern = [pattern '-?[0-9]+'];
        case 'u',        pattern = [pattern '[0-9]+'];
        case {'x', 'X'}, pattern = [pattern '[0-9a-fA-F]+'];
        case 'c',        pattern = [pattern '.'];
        case '%',        pattern = [pattern '%'];
        otherwise,       pattern = [pattern '.*'];
      end
    end
  end
  pattern = [pattern '$'];
end

function [yes, texts] = is_gateway_text(texts, text)
  yes = any(strcmp(text, texts.seen));
  if yes || isempty(text)
    return;
  end
  for k = 1:numel(texts.patterns)
    if ~isempty(regexp(text, texts.patterns{k}, 'once'))
      texts.seen{end + 1} = text;
      yes = true;
      return;
    end
  end
end

% The SDK operations faults can be injected into: every operation of
% sdk/korcam.h but KorcamGetLastError, which cannot fail.
function ops = sdk_operations()
  root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
  header = fileread(fullfile(root, 'sdk', 'korcam.h'));
  names = regexp(header, 'KORCAM_API\s+\w+\s+(Korcam\w+)\s*\(', 'tokens');
  ops = setdiff(cellfun(@(t) t{1}, names, 'UniformOutput', false), {'KorcamGetLastError'});
  if numel(ops) < 40
    error('only %d SDK operations found in sdk/korcam.h', numel(ops));
  end
end

% Parameter kinds per command code (-2 to 74) in parameter order: c camera
% number, i integer, d double, l logical, s frame format structure, u a
% parameter no check covers.
function kinds = parameter_kinds()
  kinds = repmat({'c'}, 1, 77);
  kinds([2 9] + 3) = {'cii'};
  kinds(3 + 3) = {'cd'};
  kinds([15 17 24 28 30 42 44 46 48 50 72] + 3) = {'cd'};
  kinds([10 18 22 26 69] + 3) = {'cl'};
  kinds([20] + 3) = {'cdddd'};
  kinds([35 36 61] + 3) = {'cu'};
  kinds([32 37 38] + 3) = {''};
  kinds([39 51] + 3) = {'ci'};
  kinds(40 + 3) = {'cdiu'};
  kinds(63 + 3) = {'cs'};
  kinds([64 70] + 3) = {'ciiiii'};
  kinds([65 67] + 3) = {'ciiii'};
  kinds([66 68] + 3) = {'cddiiii'};
  kinds(71 + 3) = {'ciiiiiiiii'};
end

% Values of every kind MATLAB code could pass by mistake.
function pool = value_pool()
  numbers = {0, 1, 2, 3, 10, 11, -1, 2.9, -2.7, 0.5, 1e9, -1e9, 2^31, -2^31 - 1, 2^32, 2^53, 1e300, ...
             -1e300, realmax, NaN, Inf, -Inf, -0, eps};
  classes = {@double, @single, @int8, @uint8, @int16, @uint16, @int32, @uint32, @int64, @uint64};
  pool = {};
  for c = classes
    for v = numbers
      pool{end + 1} = c{1}(v{1});
    end
  end
  pool = [pool, {true, false, logical([1 0]), logical([0 1 1]), logical([]), false(2, 2), true(1, 0), ...
                 'a', '1', 'abc', '', char(0), ['ab'; 'cd'], ...
                 struct(), struct('a', 1), struct('a', {1, 2}), struct('width', 'x'), struct([]), ...
                 {}, {1}, {1, 2}, {'a'}, ...
                 1 + 2i, 1i, complex(1, 0), single(2 - 1i), [1i 2], ...
                 [], zeros(0, 3), zeros(1, 0), single([]), int8([]), uint64([]), ...
                 [1 2], [1; 2], ones(3, 3), 1:100, int16([1 2 3]), rand(2, 2, 2), single([NaN Inf]), ...
                 zeros(1, 1, 0), sparse(0), sparse(2.5), sparse(true), sparse(false), sparse([1 2]), ...
                 sparse(zeros(0, 1)), @sin, uint8(1:10), NaN(1, 3)}];
end

% ---------------------------------------------------------------------------

% Uniform choices: randi is far slower than the arithmetic.
function k = pick(n)
  k = floor(rand() * n) + 1;
end

function v = between(low, high)
  v = low + floor(rand() * (high - low + 1));
end

function v = one_of(list)
  if iscell(list)
    v = list{floor(rand() * numel(list)) + 1};
  else
    v = list(floor(rand() * numel(list)) + 1);
  end
end

function v = environment_number(name, fallback)
  text = getenv(name);
  v = fallback;
  if ~isempty(text)
    v = str2double(text);
    if ~(isfinite(v) && v == fix(v) && v >= 0)
      error('%s must be a whole number, not "%s"', name, text);
    end
  end
end

function fuzz_fail(i, seed, args, varargin)
  parts = cellfun(@describe, args, 'UniformOutput', false);
  error('call %d of the run with KORCAM_FUZZ_SEED=%d: %s\n  KorDispatcher(%s)', i, seed, ...
        sprintf(varargin{:}), strjoin(parts, ', '));
end

function text = describe(v)
  if (isnumeric(v) || islogical(v) || ischar(v)) && numel(v) <= 8 && ndims(v) == 2 && ~issparse(v)
    text = sprintf('%s(%s)', class(v), mat2str(v));
  elseif isstruct(v) && isscalar(v)
    fields = fieldnames(v);
    values = cellfun(@(f) describe(v.(f)), fields, 'UniformOutput', false);
    text = ['struct(' strjoin(strcat('''', fields, ''', ', values)', ', ') ')'];
  else
    text = sprintf('<%s %s>', class(v), mat2str(size(v)));
  end
end
