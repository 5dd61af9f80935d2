function cases = test_matlab_code()
% The code under matlab/ runs in MATLAB as well as in Octave: no function,
% keyword or syntax that only Octave knows, outside a branch that tests for
% Octave (if exist('OCTAVE_VERSION', 'builtin') ... else/end).
  cases = {
    'no Octave-only code outside an Octave branch', @no_octave_only_code
    'the check finds what it looks for',           @check_finds_octave_code
  };
end

function no_octave_only_code()
  root = fileparts(fileparts(which('KorCamera')));
  files = [dir(fullfile(root, 'matlab', '*.m')); dir(fullfile(root, 'matlab', 'private', '*.m'))];
  kt_true(numel(files) >= 3, 'files found: %d', numel(files));
  for i = 1:numel(files)
    file = fullfile(files(i).folder, files(i).name);
    found = octave_only(fileread(file));
    kt_true(isempty(found), '%s: %s', files(i).name, strjoin(found, '; '));
  end
end

function check_finds_octave_code()
  t = {
    'printf(''%d\n'', 1);',               1
    'n = rows(a) + columns(a);',          2
    'if a, b = 1; endif',                 1
    'x = "text";',                        1
    'a += 1;',                            1
    'if a != b, end',                     1
    '# a comment',                        1
    'unwind_protect, a = 1; unwind_protect_cleanup, end_unwind_protect', 3
    'fprintf(''rows columns printf\n''); % printf here', 0
    sprintf('if exist(''OCTAVE_VERSION'', ''builtin'')\n  printf(''x'');\nelse\n  fprintf(''x'');\nend'), 0
    sprintf('if exist(''OCTAVE_VERSION'', ''builtin'')\n  a = 1;\nelse\n  printf(''x'');\nend'), 1
  };
  for i = 1:rows(t)
    kt_equal(numel(octave_only(t{i, 1})), t{i, 2}, 'row %d: %s', i, t{i, 1});
  end
end

% Octave-only words and syntax in SOURCE, outside Octave branches; each as
% 'line N: what'.
function found = octave_only(source)
  words = {'printf', 'puts', 'fputs', 'fdisp', 'rows', 'columns', 'endif', 'endfor', 'endwhile', ...
           'endfunction', 'endswitch', 'end_try_catch', 'unwind_protect', 'unwind_protect_cleanup', ...
           'end_unwind_protect', 'confirm_recursive_rmdir', 'unsetenv', 'make_absolute_filename', ...
           'canonicalize_file_name', 'print_usage', 'isargout', 'numfields', 'program_name', 'mkoctfile', ...
           'available_graphics_toolkits', 'have_window_system', 'octave_core_file_options'};
  lines = regexp(source, '\r?\n', 'split');
  found = {};
  octaveBranch = false;   % inside the Octave side of an Octave branch
  branchIndent = -1;      % indentation of the branch's if, -1 outside one
  for n = 1:numel(lines)
    line = lines{n};
    indent = numel(regexp(line, '^\s*', 'match', 'once'));
    code = strip_strings_and_comments(line);
    if branchIndent >= 0 && indent == branchIndent
      if ~isempty(regexp(code, '^\s*end\>', 'once'))
        branchIndent = -1;
        octaveBranch = false;
        continue;
      elseif ~isempty(regexp(code, '^\s*(else|elseif)\>', 'once'))
        octaveBranch = false;
        continue;
      end
    end
    if octaveBranch
      continue;
    end
    if ~isempty(regexp(line, '^\s*if\s+exist\(''OCTAVE_VERSION'', ''builtin''\)\s*$', 'once'))
      branchIndent = indent;
      octaveBranch = true;
      continue;
    end
    for w = words
      if ~isempty(regexp(code, ['(?<![\w.])' w{1} '(?!\w)'], 'once'))
        found{end + 1} = sprintf('line %d: %s', n, w{1}); %#ok<AGROW>
      end
    end
    if ~isempty(regexp(line, '^\s*#', 'once'))
      found{end + 1} = sprintf('line %d: # comment', n); %#ok<AGROW>
    end
    if ~isempty(regexp(code, '"', 'once'))
      found{end + 1} = sprintf('line %d: double-quoted string', n); %#ok<AGROW>
    end
    if ~isempty(regexp(code, '(\+=|-=|\*=|/=|\+\+|--(?!-)|!=|!(?!=))', 'once'))
      found{end + 1} = sprintf('line %d: Octave operator', n); %#ok<AGROW>
    end
  end
end

% The line with its single-quoted strings emptied and its comment removed.
function code = strip_strings_and_comments(line)
  code = '';
  inString = false;
  i = 1;
  while i <= numel(line)
    c = line(i);
    if inString
      if c == ''''
        if i < numel(line) && line(i + 1) == ''''
          i = i + 1;
        else
          inString = false;
          code(end + 1) = '''';
        end
      end
    elseif c == '%'
      break;
    elseif c == '''' && (i == 1 || isempty(regexp(line(i - 1), '[\w\)\]\}\.'']', 'once')))
      inString = true;
      code(end + 1) = '''';
    else
      code(end + 1) = c;
    end
    i = i + 1;
  end
end
