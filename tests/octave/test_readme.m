function cases = test_readme()
% README.md runs as written: its matlab blocks in order as one Octave session
% on the virtual cameras, without a display, from a copy of the project
% folder whose build folder is this build; the lines of its sh blocks that
% start a built program (octave ..., build/...) too, and its python blocks.
% Blocks marked "matlab bench" need MATLAB on Windows and are left out. The
% guide's long recording runs for a few seconds here (shortened below).
  cases = {
    'every block of the guide runs as written', @guide_runs
    'the blocks are found as the guide says',   @blocks_found
  };
end

function guide_runs()
  [blocks, root] = readme_blocks();
  here = pwd();
  saved = path();
  scratch = project_copy(root);
  restore = onCleanup(@() leave(here, saved, scratch));
  % Only the paths the guide itself adds: the copy's build and matlab.
  rmpath(fileparts(which('KorDispatcher')));
  rmpath(fullfile(root, 'matlab'));
  clear -f KorDispatcher;
  setenv('DISPLAY', '');
  % The compiler that build_korcam starts gets neither the error spy nor the
  % sanitizer runtime; the sh lines get the runtime alone (sanitizer_preload).
  preload = getenv('LD_PRELOAD');
  unsetenv('LD_PRELOAD');
  restorePreload = onCleanup(@() setenv('LD_PRELOAD', preload));
  cd(scratch.path);
  run_session(blocks, sanitizer_preload());
  path(saved);
  cd(here);
  % The guide leaves no camera connected.
  for n = 1:3
    kt_equal(KorDispatcher(6, n), false, 'camera %d left connected', n);
  end
  kt_true(exist(fullfile(scratch.path, 'camera1.png'), 'file') == 2, 'the first session saved its picture');
end

function blocks_found()
  blocks = readme_blocks();
  kinds = {blocks.kind};
  kt_true(sum(strcmp(kinds, 'matlab')) >= 4, 'matlab blocks: %d', sum(strcmp(kinds, 'matlab')));
  kt_true(sum(strcmp(kinds, 'matlab bench')) >= 2, 'bench blocks: %d', sum(strcmp(kinds, 'matlab bench')));
  kt_true(any(cellfun(@(b) any(strncmp(b, 'octave ', 7)), {blocks.lines})), 'an octave line');
  % Every block is of a kind this test knows.
  kt_true(any(strcmp(kinds, 'python')), 'a python block');
  unknown = setdiff(kinds, {'matlab', 'matlab bench', 'sh', 'python'});
  kt_true(isempty(unknown), 'unknown kinds: %s', strjoin(unknown, ', '));
end

% The guide's blocks run in this function's workspace, one after the other,
% so that each sees what the ones before it made. The names of this
% function's own variables end in an underscore to keep out of the guide's
% way.
function run_session(blocks_, preload_)
  for k_ = 1:numel(blocks_)
    block_ = blocks_(k_);
    switch block_.kind
      case 'matlab'
        printf('-- README block %d (line %d)\n', k_, block_.line);
        try
          eval(strjoin(block_.lines, "\n"));
        catch err_
          error('README block %d (line %d) failed: %s', k_, block_.line, err_.message);
        end
      case 'python'
        printf('-- README block %d (line %d)\n', k_, block_.line);
        script_ = [tempname() '.py'];
        fid_ = fopen(script_, 'w');
        fprintf(fid_, '%s\n', block_.lines{:});
        fclose(fid_);
        [status_, output_] = system(['/usr/bin/python3 ' script_ ' 2>&1']);
        delete(script_);
        printf('%s', output_);
        kt_equal(status_, 0, 'README block %d (line %d)', k_, block_.line);
      case 'sh'
        for j_ = 1:numel(block_.lines)
          command_ = block_.lines{j_};
          if isempty(regexp(command_, '^(octave |build/)', 'once'))
            continue;
          end
          printf('-- README line %d: %s\n', block_.line + j_, command_);
          [status_, output_] = system(['LD_PRELOAD=' preload_ ' ' command_ ' 2>&1']);
          printf('%s', output_);
          kt_equal(status_, 0, 'README line %d: %s', block_.line + j_, command_);
        end
    end
  end
end

% The fenced blocks of README.md: kind (the info string), first line number
% and lines.
function [blocks, root] = readme_blocks()
  % Not through KorCamera: the class must first be loaded from the guide's
  % own folder.
  root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
  lines = regexp(fileread(fullfile(root, 'README.md')), '\n', 'split');
  blocks = struct('kind', {}, 'line', {}, 'lines', {});
  n = 1;
  while n <= numel(lines)
    fence = regexp(lines{n}, '^```(.*)$', 'tokens', 'once');
    if isempty(fence)
      n = n + 1;
      continue;
    end
    last = n + 1;
    while last <= numel(lines) && ~strncmp(lines{last}, '```', 3)
      last = last + 1;
    end
    kt_true(last <= numel(lines), 'the block at line %d is closed', n);
    blocks(end + 1) = struct('kind', strtrim(fence{1}), 'line', n, 'lines', {lines(n + 1:last - 1)});
    n = last + 1;
  end
  blocks = shortened(blocks);
end

% Lines of the guide that run too long for a test, and what runs instead;
% each must be found once.
function blocks = shortened(blocks)
  changes = {'seconds = 60;', 'seconds = 3;'};
  for c = 1:rows(changes)
    found = 0;
    for b = 1:numel(blocks)
      hit = strcmp(strtrim(blocks(b).lines), changes{c, 1});
      blocks(b).lines(hit) = strrep(blocks(b).lines(hit), changes{c, 1}, changes{c, 2});
      found = found + sum(hit);
    end
    kt_equal(found, 1, 'the guide''s line "%s"', changes{c, 1});
  end
end

% A copy of the project folder for the guide to run in: matlab/ copied (so
% that build_korcam finds the copy's build folder), the other sources linked,
% and build a link to this build.
function s = project_copy(root)
  s = kt_scratch_folder();
  for entry = {'gateway', 'pixels', 'mexentry', 'sdk', 'kit', 'sim', 'adaptor', 'engine', 'videoinput', 'tools', 'docs', 'tests', 'bench'}
    link(fullfile(root, entry{1}), fullfile(s.path, entry{1}));
  end
  link(fileparts(which('KorDispatcher')), fullfile(s.path, 'build'));
  copyfile(fullfile(root, 'matlab'), fullfile(s.path, 'matlab'));
end

function link(target, name)
  [status, message] = symlink(target, name);
  kt_equal(status, 0, 'link %s: %s', name, message);
end

% The sanitizer runtime, which a program of a sanitizer build needs first;
% the error spy stays out of the programs the guide starts.
function preload = sanitizer_preload()
  preload = getenv('KORCAM_PRELOAD_SANITIZER');
  preload = ['"' preload '"'];
end

function leave(here, saved, scratch)
  path(saved);
  cd(here);
  % What the guide built in the build folder goes with the copy.
  built = fullfile(scratch.path, 'build', 'build_korcam');
  if exist(built, 'dir')
    confirm_recursive_rmdir(false, 'local');
    rmdir(built, 's');
  end
end
