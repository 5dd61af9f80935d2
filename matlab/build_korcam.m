function file = build_korcam(varargin)
% BUILD_KORCAM  Build the KorDispatcher MEX gateway with this host's own mex command.
%
%   BUILD_KORCAM() builds KorDispatcher against the virtual cameras of the
%   project's CMake build folder ../build (libkorcamapi and, outside Windows,
%   libkorwin32, which stands in for the one Win32 function the gateway uses),
%   into the folder build_korcam inside it: the gateway that CMake built in
%   the build folder itself stays as it is. BUILD_KORCAM(BUILDDIR) uses the
%   virtual cameras of BUILDDIR instead.
%
%   BUILD_KORCAM(..., 'sdk', SDKDIR) builds against the camera maker's SDK:
%   SDKDIR holds its header korcam.h and its library (korcamapi.lib for
%   MATLAB on Windows, libkorcamapi.so elsewhere). This is the build for real
%   cameras; no build folder is needed.
%
%   BUILD_KORCAM(..., 'output', OUTDIR) writes the MEX file into OUTDIR
%   (created if missing) instead of BUILDDIR/build_korcam, or of the current
%   folder when building against an SDK. A CMake build folder (one holding
%   CMakeCache.txt) keeps its CMake-built gateway: writing over it is
%   refused unless BUILD_KORCAM(..., 'force', true) is given, since CMake
%   would then never rebuild the newer file.
%
%   FILE = BUILD_KORCAM(...) returns the full name of the MEX file built.
%
%   MATLAB compiles with mex (on Windows it links user32 for
%   GetForegroundWindow); Octave with mkoctfile --mex. The sources are those
%   of the gateway and pixels folders next to this one, the SDK header that of the sdk
%   folder unless 'sdk' is given. Put the SDK's korcamapi.dll (Windows) on
%   the system path, or beside the MEX file, before calling KorDispatcher.
%
%   BUILD_KORCAM builds KorDispatcher only. KorVideoInput's MEX file
%   korvideoinput, with the acquisition engine and the adaptor beside it, and
%   the adaptor korviximaq.dll for the Image Acquisition Toolbox are built
%   with CMake: the project's build here (make build), and on Windows the
%   bench build in cmake/bench (README, "Building on the bench").
%
%   Examples:
%     build_korcam()                                    % Octave, virtual cameras, into build/build_korcam
%     build_korcam('sdk', 'C:\Korcam\SDK', 'output', 'C:\Korcam\mex')
%     addpath('C:\Korcam\mex'); KorDispatcher(37)       % cameras attached

  [buildDir, sdkDir, outDir, force] = parse_options(varargin);
  root = fileparts(fileparts(mfilename('fullpath')));
  gatewayDir = fullfile(root, 'gateway');
  pixelsDir = fullfile(root, 'pixels');
  onWindows = ispc();

  [header, libDir, outDir] = sdk_folders(root, buildDir, sdkDir, outDir);
  % korwin32.h is windows.h itself on Windows and the project's portable
  % Win32 layer elsewhere.
  % The SDK's header first: the project's sdk folder adds only its own
  % headers beside it (korcam.h there stands in for the maker's).
  includes = {gatewayDir, pixelsDir, fullfile(root, 'mexentry'), fullfile(root, 'kit', 'win32'), header, ...
              fullfile(root, 'sdk')};
  libraries = link_libraries(sdkDir, onWindows);
  sources = [folder_sources(gatewayDir), folder_sources(pixelsDir)];
  if ~exist(outDir, 'dir')
    mkdir(outDir);
  end
  outDir = absolute_folder(outDir);
  libDir = absolute_folder(libDir);

  file = compile(includes, libDir, libraries, sources, outDir, force, onWindows);
  % HELP KorDispatcher reads the help file beside the MEX file.
  copyfile(fullfile(gatewayDir, 'KorDispatcher.m'), fullfile(outDir, 'KorDispatcher.m'));
  fprintf('Built %s\n', file);
  fprintf(['KorVideoInput (korvideoinput) and the toolbox adaptor are built with CMake: ' ...
           'see cmake/bench and README, "Building on the bench".\n']);
end

% The folder of the SDK header, that of the libraries, and the output folder
% (the one given, or the default of the build or SDK folder).
function [header, libDir, outDir] = sdk_folders(root, buildDir, sdkDir, outDir)
  if isempty(sdkDir)
    % The project's virtual cameras: the shared SDK header and the libraries
    % the CMake build produced.
    if ~exist(buildDir, 'dir')
      error('build_korcam:noBuild', ...
            'Build folder %s not found: run "make build" (or cmake) first, or give the folder or an SDK folder.', ...
            buildDir);
    end
    header = fullfile(root, 'sdk');
    libDir = buildDir;
    if isempty(outDir), outDir = fullfile(buildDir, 'build_korcam'); end
  else
    if ~exist(fullfile(sdkDir, 'korcam.h'), 'file')
      error('build_korcam:noHeader', 'The SDK folder %s has no korcam.h.', sdkDir);
    end
    % Absolute: Octave compiles from a scratch folder.
    sdkDir = absolute_folder(sdkDir);
    header = sdkDir;
    libDir = sdkDir;
    if isempty(outDir), outDir = pwd(); end
  end
end

function libraries = link_libraries(sdkDir, onWindows)
  libraries = {'korcamapi'};
  if onWindows
    libraries{end + 1} = 'user32';
  else
    % Outside Windows the gateway's GetForegroundWindow comes from the
    % project's portable Win32 layer.
    if ~isempty(sdkDir) && ~exist(fullfile(sdkDir, 'libkorwin32.so'), 'file')
      error('build_korcam:noWin32', 'The SDK folder %s has no libkorwin32.so, which the gateway needs outside Windows.', ...
            sdkDir);
    end
    libraries{end + 1} = 'korwin32';
  end
end

% Octave's mkoctfile or MATLAB's mex; the full name of the MEX file made.
function file = compile(includes, libDir, libraries, sources, outDir, force, onWindows)
  if is_octave()
    file = fullfile(outDir, 'KorDispatcher.mex');
    refuse_cmake_output(file, force);
    args = [{'--mex'}, strcat('-I', includes), {['-L' libDir]}, ...
            strcat('-l', libraries), {['-Wl,-rpath,' libDir]}, sources, {'-o', file}];
    run_mkoctfile(args);
  else
    file = fullfile(outDir, ['KorDispatcher.' mexext()]);
    refuse_cmake_output(file, force);
    args = [strcat('-I', includes), {['-L' libDir]}, strcat('-l', libraries), ...
            {cxx17_flags(onWindows)}, array_dims_flag(), sources, {'-output', 'KorDispatcher', '-outdir', outDir}];
    mex(args{:});
  end
  if ~exist(file, 'file')
    error('build_korcam:failed', 'The build reported success but %s is missing.', file);
  end
end

function [buildDir, sdkDir, outDir, force] = parse_options(args)
  root = fileparts(fileparts(mfilename('fullpath')));
  buildDir = fullfile(root, 'build');
  sdkDir = '';
  outDir = '';
  force = false;
  if ~isempty(args) && ~is_option_name(args{1})
    buildDir = args{1};
    args = args(2:end);
  end
  if mod(numel(args), 2) ~= 0
    error('build_korcam:usage', 'Options come in pairs: ''sdk'', SDKDIR, ''output'', OUTDIR and ''force'', TF.');
  end
  for k = 1:2:numel(args)
    value = args{k + 1};
    if ischar(args{k}) && strcmpi(args{k}, 'force')
      if ~(islogical(value) || isnumeric(value)) || ~isscalar(value)
        error('build_korcam:usage', 'The value of ''force'' must be true or false.');
      end
      force = logical(value);
      continue;
    end
    if ~ischar(value) || isempty(value)
      error('build_korcam:usage', 'The value of ''%s'' must be a folder name.', args{k});
    end
    switch lower(args{k})
      case 'sdk'
        sdkDir = value;
      case 'output'
        outDir = value;
      otherwise
        error('build_korcam:usage', 'Unknown option ''%s'': use ''sdk'', ''output'' or ''force''.', args{k});
    end
  end
  if ~ischar(buildDir)
    error('build_korcam:usage', 'The build folder must be a folder name.');
  end
end

function tf = is_option_name(arg)
  tf = ischar(arg) && any(strcmpi(arg, {'sdk', 'output', 'force'}));
end

function refuse_cmake_output(file, force)
  % CMake rebuilds its gateway only when a source is newer than the file:
  % one written over it here would hide later source changes from CMake.
  folder = fileparts(file);
  if ~force && exist(file, 'file') && exist(fullfile(folder, 'CMakeCache.txt'), 'file')
    error('build_korcam:cmakeOutput', ...
          ['%s was built by CMake: give another ''output'' folder (the default is build_korcam inside ' ...
           'the build folder), or ''force'', true to write over it.'], file);
  end
end

function tf = is_octave()
  tf = exist('OCTAVE_VERSION', 'builtin') ~= 0;
end

function folder = absolute_folder(folder)
  if is_octave()
    % Without changing the current folder: Octave would look up a relative
    % folder of its path (addpath('matlab')) from there and warn.
    folder = feval('make_absolute_filename', folder);
    return;
  end
  here = pwd();
  back = onCleanup(@() cd(here));
  cd(folder);
  folder = pwd();
end

function flag = cxx17_flags(onWindows)
  % The gateway is C++17; MATLAB's compiler configurations differ in how they
  % take the standard.
  cc = mex.getCompilerConfigurations('C++', 'Selected');
  if onWindows && ~isempty(cc) && ~isempty(strfind(lower(cc.ShortName), 'msvc'))
    flag = 'COMPFLAGS=$COMPFLAGS /std:c++17';
  else
    flag = 'CXXFLAGS=$CXXFLAGS -std=c++17';
  end
end

function flag = array_dims_flag()
  % 64-bit MATLAB: mwSize as wide as a pointer, which the gateway's size
  % computations assume (the default only since R2018a). 32-bit MATLAB has
  % no other choice.
  if isempty(strfind(mexext(), '64'))
    flag = {};
  else
    flag = {'-largeArrayDims'};
  end
end

function run_mkoctfile(args)
  % The gateway is C++17; older compilers default to an earlier standard.
  previous = getenv('CXXFLAGS');
  restore = onCleanup(@() restore_variable('CXXFLAGS', previous));
  setenv('CXXFLAGS', strtrim([previous ' -std=c++17 -O2']));
  % Octave's mkoctfile function keeps only the standard output; the
  % compiler's diagnostics go to the standard error, which is wanted here.
  % (feval keeps the Octave-only name from MATLAB's parser.)
  bindir = feval('__octave_config_info__', 'bindir');
  % mkoctfile writes its object files into the folder it runs in: a scratch
  % folder keeps them out of the user's way and apart from other builds.
  % Only the shell changes to it; Octave's own current folder stays, so that
  % relative folders of its path stay valid.
  scratch = tempname();
  mkdir(scratch);
  cleanup = onCleanup(@() remove_scratch(scratch));
  command = ['cd "' scratch '" && "' fullfile(bindir, 'mkoctfile') '"', sprintf(' "%s"', args{:}), ' 2>&1'];
  [status, output] = system(command);
  if status ~= 0
    error('build_korcam:failed', 'mkoctfile failed (status %d):\n%s', status, output);
  end
  if ~isempty(strtrim(output))
    fprintf('%s\n', strtrim(output));
  end
end

function remove_scratch(scratch)
  if exist('OCTAVE_VERSION', 'builtin')
    confirm_recursive_rmdir(false, 'local');
  end
  rmdir(scratch, 's');
end

function restore_variable(name, previous)
  if exist('OCTAVE_VERSION', 'builtin')
    if isempty(previous)
      unsetenv(name);
      return;
    end
  end
  setenv(name, previous);
end

% The C++ sources of FOLDER, full names, sorted.
function sources = folder_sources(folder)
  listed = dir(fullfile(folder, '*.cpp'));
  sources = cellfun(@(name) fullfile(folder, name), sort({listed.name}), 'UniformOutput', false);
end
