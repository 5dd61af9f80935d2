function cases = test_help()
% Help of the two MEX files, read by HELP from the help files beside them,
% while the MEX files themselves run.
  cases = {
    'help KorDispatcher: every command code',  @gateway_help
    'help korcamsim: every command',           @korcamsim_help
    'help korcamsim: every operation of fail', @korcamsim_operations
    'the help files never run in their place', @help_files_do_not_shadow
    'help KorVideoInput: every method and property', @videoinput_help
  };
end

function videoinput_help()
  methods_ = {'start', 'stop', 'trigger', 'triggerconfig', 'triggerinfo', 'wait', 'isrunning', 'islogging', ...
              'getdata', 'peekdata', 'flushdata', 'getsnapshot', 'getselectedsource', 'get', 'disp', 'readLog'};
  for i = 1:numel(methods_)
    text = get_help_text(['KorVideoInput.' methods_{i}]);
    kt_true(~isempty(strfind(text, upper(methods_{i}))), 'help KorVideoInput.%s describes it', methods_{i});
  end
  % Every property, by the class's own list of names (what get(vid) returns),
  % at the start of a line of the class's help.
  text = get_help_text('KorVideoInput');
  source = fileread(which('KorVideoInput'));
  block = regexp(source, 'function names = propertyNames\(\)(.*?)\n    end', 'tokens', 'once');
  names = regexp(block{1}, '''(\w+)''', 'tokens');
  kt_true(numel(names) >= 25, 'property names found: %d', numel(names));
  for i = 1:numel(names)
    kt_true(~isempty(regexp(text, ['(^|\n)\s+' names{i}{1} '\s'], 'once')), 'help KorVideoInput lists %s', ...
            names{i}{1});
  end
end

function gateway_help()
  text = get_help_text('KorDispatcher');
  kt_true(~isempty(strfind(text, 'KORDISPATCHER  Camera commands')), 'help found');
  % every code of the gateway's command table, -2 to 74 and the grey captures
  source = fileread(fullfile(fileparts(mfilename('fullpath')), '..', '..', 'gateway', 'dispatcher.cpp'));
  rows = regexp(source, '^\s*\{(-?\d+), ', 'tokens', 'lineanchors');
  codes = cellfun(@(row) str2double(row{1}), rows);
  kt_equal(numel(codes), 80, 'rows of the command table');
  for code = codes
    kt_true(~isempty(regexp(text, sprintf('(?<![-\\d])%d(?!\\d)', code), 'once')), 'help names code %d', code);
  end
end

function korcamsim_help()
  text = get_help_text('korcamsim');
  printed = strsplit(strtrim(evalc('korcamsim')), "\n");
  kt_true(numel(printed) > 20, 'korcamsim prints its commands');
  for i = 2:numel(printed)
    kt_true(~isempty(strfind(text, strtrim(printed{i}))), 'help has: %s', strtrim(printed{i}));
  end
end

% Every SDK operation of the virtual cameras but KorcamGetLastError can be
% made to fail, and the help names each one.
function korcamsim_operations()
  text = get_help_text('korcamsim');
  source = fileread(fullfile(fileparts(mfilename('fullpath')), '..', '..', 'sim', 'operations.h'));
  names = cellfun(@(t) ['Korcam' t{1}], regexp(source, '^\s*X\((\w+)\)', 'tokens', 'lineanchors'), ...
                  'UniformOutput', false);
  kt_equal(numel(names), 42, 'operations of the SDK');
  for name = setdiff(names, {'KorcamGetLastError'})
    kt_true(~isempty(regexp(text, ['(?<!\w)' name{1} '(?!\w)'], 'once')), 'help names %s', name{1});
    korcamsim('fail', name{1}, 1);
  end
  korcamsim('fail');
end

function help_files_do_not_shadow()
  kt_true(~isempty(regexp(which('KorDispatcher'), '\.mex$', 'once')), 'KorDispatcher runs as the MEX file');
  kt_true(~isempty(regexp(which('korcamsim'), '\.mex$', 'once')), 'korcamsim runs as the MEX file');
  kt_equal(KorDispatcher(37), 3, 'the gateway answers');
end
