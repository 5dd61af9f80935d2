function cases = test_build_korcam_matlab()
% build_korcam's MATLAB branch, run in Octave with stand-ins of MATLAB's mex,
% mexext and ispc (tests/octave/matlab_host) that record the command line
% MATLAB would run instead of compiling.
  cases = {
    'the mex command line of 32- and 64-bit MATLAB on Windows', @windows_command_lines
    'MATLAB outside Windows links the portable Win32 layer',    @command_line_outside_windows
  };
end

function windows_command_lines()
  root = fileparts(fileparts(which('build_korcam')));
  scratch = kt_scratch_folder();
  gateway = dir(fullfile(root, 'gateway', '*.cpp'));
  gateway = sort({gateway.name});
  pixels = dir(fullfile(root, 'pixels', '*.cpp'));
  pixels = sort({pixels.name});
  kt_true(all(ismember({'dispatcher.cpp', 'capture.cpp'}, gateway)), 'gateway sources found');
  kt_true(ismember('pixels_ssse3.cpp', pixels), 'pixels sources found');
  sources = [strcat([fullfile(root, 'gateway') filesep], gateway), strcat([fullfile(root, 'pixels') filesep], pixels)];
  msvc = 'COMPFLAGS=$COMPFLAGS /std:c++17';
  gcc = 'CXXFLAGS=$CXXFLAGS -std=c++17';
  %   mexext    compiler     against  flags
  t = {
    'mexw32', 'MSVCPP170', 'build', {msvc}
    'mexw32', 'mingw32',   'sdk',   {gcc}
    'mexw64', 'MSVCPP170', 'sdk',   {msvc, '-largeArrayDims'}
    'mexw64', 'mingw64',   'build', {gcc, '-largeArrayDims'}
  };
  for i = 1:rows(t)
    [ext, compiler, against, flags] = t{i, :};
    libs = fullfile(scratch.path, sprintf('row%d', i));
    mkdir(libs);
    out = fullfile(libs, 'out');   % created by the build
    if strcmp(against, 'build')
      options = {libs, 'output', out};
      header = fullfile(root, 'sdk');
    else
      fclose(fopen(fullfile(libs, 'korcam.h'), 'w'));
      options = {'sdk', libs, 'output', out};
      header = libs;
    end
    host = struct('mexext', ext, 'compiler', compiler, 'windows', true);
    [file, calls] = build_as_matlab(host, options{:});
    label = sprintf('%s, %s, %s', ext, compiler, against);
    kt_equal(file, fullfile(out, ['KorDispatcher.' ext]), '%s: file returned', label);
    kt_equal(numel(calls), 1, '%s: one mex call', label);
    expected = [{['-I' fullfile(root, 'gateway')], ['-I' fullfile(root, 'pixels')], ['-I' fullfile(root, 'mexentry')], ...
                 ['-I' fullfile(root, 'kit', 'win32')], ['-I' header], ['-I' fullfile(root, 'sdk')], ...
                 ['-L' libs], '-lkorcamapi', '-luser32'}, flags, sources, {'-output', 'KorDispatcher', '-outdir', out}];
    kt_equal(calls{1}, expected, '%s: mex arguments', label);
  end
end

function command_line_outside_windows()
  scratch = kt_scratch_folder();
  folder = scratch.path;
  host = struct('mexext', 'mexa64', 'compiler', 'g++', 'windows', false);
  [~, calls] = build_as_matlab(host, folder, 'output', folder);
  args = calls{1};
  kt_equal(args(8:11), {'-lkorcamapi', '-lkorwin32', 'CXXFLAGS=$CXXFLAGS -std=c++17', '-largeArrayDims'}, ...
           'libraries and flags');
  fclose(fopen(fullfile(folder, 'korcam.h'), 'w'));
  try
    build_as_matlab(host, 'sdk', folder);
    error('an SDK folder without libkorwin32.so was accepted');
  catch err
    kt_equal(err.identifier, 'build_korcam:noWin32', err.message);
  end
end

% build_korcam as the MATLAB described by HOST would run it: the stand-ins
% on the path for the call only (they shadow Octave's own functions).
function [file, calls] = build_as_matlab(host, varargin)
  global KORCAM_MATLAB_HOST
  KORCAM_MATLAB_HOST = host;
  KORCAM_MATLAB_HOST.calls = {};
  folder = fullfile(fileparts(mfilename('fullpath')), 'matlab_host');
  state = warning('off', 'Octave:shadowed-function');
  addpath(folder);
  restore = onCleanup(@() leave_matlab_host(folder, state));
  evalc('file = build_korcam(varargin{:});');
  calls = KORCAM_MATLAB_HOST.calls;
end

function leave_matlab_host(folder, state)
  rmpath(folder);
  warning(state);
  clear -global KORCAM_MATLAB_HOST
end
