function cases = test_readme_videoinput()
% Every MATLAB block of the README's KorVideoInput section, run as written in
% a scratch folder, with 'build' standing for the build under test.
  cases = {
    'README: KorVideoInput blocks run as written', @readme_blocks
  };
end

function readme_blocks()
  clear -f korvideoinput;
  korcamsim('reset');
  here = fileparts(mfilename('fullpath'));
  root = fileparts(fileparts(here));
  build = fileparts(which('korvideoinput'));
  blocks = readme_section_blocks(fullfile(root, 'README.md'), '## Frame sequences without the toolbox');
  kt_true(numel(blocks) >= 2, 'the section has its blocks (%d found)', numel(blocks));
  scratch = tempname();
  mkdir(scratch);
  old = cd(scratch);
  unwind_protect
    for i = 1:numel(blocks)
      code = strrep(blocks{i}, 'addpath(''build'', ''matlab'')', ...
                    sprintf('addpath(''%s'', ''%s'')', build, fullfile(root, 'matlab')));
      run_block(code, i);
    end
    first = imread(fullfile(scratch, 'first.png'));
    kt_equal(size(first), [480 640 3], 'first.png');
    kt_equal(size(imread(fullfile(scratch, 'last.png'))), [480 640 3], 'last.png');
  unwind_protect_cleanup
    cd(old);
    confirm_recursive_rmdir(false, 'local');
    rmdir(scratch, 's');
  end_unwind_protect
  kt_equal(korvideoinput('objects'), 0, 'the blocks delete what they make');
end

function run_block(code, index)
% Each block in a workspace of its own, its output kept out of the log.
  try
    evalc(code);
  catch err
    error('block %d failed: %s\n%s', index, err.message, code);
  end
end

function blocks = readme_section_blocks(file, heading)
  text = fileread(file);
  start = strfind(text, [heading]);
  kt_true(numel(start) == 1, 'README has the heading "%s"', heading);
  rest = text(start:end);
  next = regexp(rest(3:end), '\n## ', 'once');
  if ~isempty(next)
    rest = rest(1:next + 2);
  end
  blocks = regexp(rest, '```matlab\n(.*?)```', 'tokens');
  blocks = cellfun(@(c) c{1}, blocks, 'UniformOutput', false);
end
