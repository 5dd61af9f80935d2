function cases = test_build_korcam()
% build_korcam: the gateway built by Octave's own mkoctfile, into a temporary
% folder, against the virtual cameras of this build and against an SDK folder,
% then called.
  cases = {
    'refuses bad options before compiling',               @bad_options
    'builds against the build folder''s virtual cameras', @build_against_build_folder
    'builds against an SDK folder',                       @build_against_sdk_folder
    'a failed compile reports the compiler''s output',    @failed_compile
    'default output of its own; CMake''s gateway kept',   @cmake_gateway_kept
  };
end

function bad_options()
  build = build_folder();
  empty = kt_scratch_folder();
  t = {
    {fullfile(empty.path, 'missing')},          'build_korcam:noBuild'
    {build, 'sdk', empty.path},                 'build_korcam:noHeader'
    {'sdk'},                                    'build_korcam:usage'
    {build, 'colour', empty.path},              'build_korcam:usage'
    {build, 'output', 5},                       'build_korcam:usage'
    {build, 'sdk', ''},                         'build_korcam:usage'
  };
  for i = 1:rows(t)
    try
      build_korcam(t{i, 1}{:});
      error('row %d: accepted', i);
    catch err
      kt_equal(err.identifier, t{i, 2}, 'row %d: %s', i, err.message);
    end
  end
  % an SDK folder with the header but without the Win32 layer outside Windows
  copyfile(fullfile(source_root(), 'sdk', 'korcam.h'), empty.path);
  try
    build_korcam('sdk', empty.path);
    error('an SDK folder without libkorwin32.so was accepted');
  catch err
    kt_equal(err.identifier, 'build_korcam:noWin32', err.message);
  end
end

function build_against_build_folder()
  build = build_folder();
  out = kt_scratch_folder();
  here = pwd();
  file = quiet_build(build, 'output', fullfile(out.path, 'mex'));
  kt_equal(file, fullfile(out.path, 'mex', 'KorDispatcher.mex'), 'file returned');
  kt_equal(pwd(), here, 'current folder unchanged');
  kt_equal(numel(dir(fullfile(here, '*.o'))), 0, 'no object files left in the current folder');
  exercise_built_gateway(file);
end

function build_against_sdk_folder()
  build = build_folder();
  sdk = kt_scratch_folder();
  % The SDK folder as a maker would ship it: the header and the library
  % (here the virtual cameras', linked, so that korcamsim and the gateway
  % drive one rig), and outside Windows the Win32 layer.
  copyfile(fullfile(source_root(), 'sdk', 'korcam.h'), sdk.path);
  for name = {'libkorcamapi.so', 'libkorwin32.so'}
    [status, message] = symlink(fullfile(build, name{1}), fullfile(sdk.path, name{1}));
    kt_equal(status, 0, 'link %s: %s', name{1}, message);
  end
  out = kt_scratch_folder();
  here = pwd();
  cd(out.path);
  back = onCleanup(@() cd(here));
  % Without 'output' the file goes to the current folder; the SDK folder may
  % be given relative to it.
  [~, sdkName] = fileparts(sdk.path);
  file = quiet_build('sdk', fullfile('..', sdkName));
  kt_equal(file, fullfile(pwd(), 'KorDispatcher.mex'), 'file returned');
  clear back;
  exercise_built_gateway(file);
end

function failed_compile()
  sdk = kt_scratch_folder();
  fid = fopen(fullfile(sdk.path, 'korcam.h'), 'w');
  fprintf(fid, '#error "not the SDK header"\n');
  fclose(fid);
  symlink(fullfile(build_folder(), 'libkorwin32.so'), fullfile(sdk.path, 'libkorwin32.so'));
  out = kt_scratch_folder();
  try
    quiet_build('sdk', sdk.path, 'output', out.path);
    error('a broken SDK header was accepted');
  catch err
    kt_equal(err.identifier, 'build_korcam:failed', err.message);
    kt_true(~isempty(strfind(err.message, 'not the SDK header')), 'compiler output in the message: %s', err.message);
  end
  kt_true(~exist(fullfile(out.path, 'KorDispatcher.mex'), 'file'), 'nothing built');
end

% The default output is a folder of the build folder's own; the gateway
% CMake built there is never written over unless asked; and the build
% leaves the current folder alone, so a relative folder on the path
% (addpath('matlab') as a user types it) raises no warnings.
function cmake_gateway_kept()
  real = build_folder();
  build = kt_scratch_folder();
  for name = {'libkorcamapi.so', 'libkorwin32.so'}
    symlink(fullfile(real, name{1}), fullfile(build.path, name{1}));
  end
  cmake = fullfile(build.path, 'KorDispatcher.mex');
  write_text(fullfile(build.path, 'CMakeCache.txt'), '# CMake');
  write_text(cmake, 'built by CMake');
  here = pwd();
  back = onCleanup(@() cd(here));
  cd(build.path);
  mkdir('relative');
  addpath('relative');
  remove = onCleanup(@() rmpath('relative'));
  lastwarn('');
  [file, output] = quiet_build(build.path);
  kt_equal(file, fullfile(build.path, 'build_korcam', 'KorDispatcher.mex'), 'default output');
  [text, id] = lastwarn();
  kt_equal(text, '', 'no warning (%s)', id);
  kt_true(isempty(strfind(output, 'warning')), 'no warning printed: %s', output);
  kt_equal(fileread(cmake), 'built by CMake', 'CMake''s gateway untouched');

  try
    quiet_build(build.path, 'output', build.path);
    error('CMake''s gateway was written over');
  catch err
    kt_equal(err.identifier, 'build_korcam:cmakeOutput', err.message);
    kt_true(~isempty(strfind(err.message, '''force''')), 'the message names the way: %s', err.message);
  end
  kt_equal(fileread(cmake), 'built by CMake', 'CMake''s gateway untouched');
  % 'force' gets past the refusal (to a compile that fails at once here).
  sdk = kt_scratch_folder();
  write_text(fullfile(sdk.path, 'korcam.h'), '#error "not the SDK header"');
  symlink(fullfile(real, 'libkorwin32.so'), fullfile(sdk.path, 'libkorwin32.so'));
  for force = [false true]
    try
      quiet_build('sdk', sdk.path, 'output', build.path, 'force', force);
      error('a broken SDK header was accepted');
    catch err
      wanted = {'build_korcam:cmakeOutput', 'build_korcam:failed'};
      kt_equal(err.identifier, wanted{force + 1}, err.message);
    end
  end
end

function write_text(file, text)
  fid = fopen(file, 'w');
  fprintf(fid, '%s', text);
  fclose(fid);
end

% Calls the gateway built as FILE: it must be the KorDispatcher found on the
% path, drive the virtual cameras and reach the Win32 layer (code 5).
function exercise_built_gateway(file)
  folder = fileparts(file);
  addpath(folder);
  restore = onCleanup(@() leave_built_gateway(folder));
  kt_equal(which('KorDispatcher'), file, 'the built gateway is the one called');
  kt_true(exist(fullfile(folder, 'KorDispatcher.m'), 'file') == 2, 'its help file beside it');
  kt_equal(KorDispatcher(37), 3, 'count attached cameras');
  KorDispatcher(-1, 1);
  kt_equal(KorDispatcher(6, 1), true, 'connected');
  kt_true(korcamsim('state', 1).open, 'the virtual camera is open');
  KorDispatcher(5, 1);
  kt_equal(numel(kt_calls('KorcamDisplayPropertyPage')), 1, 'property page over the foreground window');
  kt_equal(size(KorDispatcher(13, 1)), [1024 1280 3], 'snapshot');
  KorDispatcher(-2, 1);
end

function leave_built_gateway(folder)
  clear -f KorDispatcher;
  rmpath(folder);
end

% build_korcam with its progress line kept out of the test log. The compiler
% runs without the sanitizer runtime and the error spy that the test runner
% preloads into Octave: neither belongs in gcc.
function [file, output] = quiet_build(varargin)
  preload = getenv('LD_PRELOAD');
  unsetenv('LD_PRELOAD');
  restore = onCleanup(@() setenv('LD_PRELOAD', preload));
  output = evalc('file = build_korcam(varargin{:});');
end

% The CMake build folder this test runs from: the one that holds the
% KorDispatcher the test runner put on the path.
function folder = build_folder()
  folder = fileparts(which('KorDispatcher'));
  kt_true(~isempty(folder), 'KorDispatcher on the path');
end

function root = source_root()
  root = fileparts(fileparts(which('build_korcam')));
end
