function varargout = mex(varargin)
% MEX  Stand-in of MATLAB's mex command for the test of build_korcam's MATLAB
% branch: records its arguments in the global KORCAM_MATLAB_HOST and writes
% an empty file where MATLAB would write the MEX file (-output, -outdir).
%
% mex.getCompilerConfigurations(...) is a package function in MATLAB; here
% mex with one output and no input answers a structure whose field of that
% name is a function, so the same expression reads the configured compiler.
  global KORCAM_MATLAB_HOST
  if nargin == 0 && nargout == 1
    varargout{1} = struct('getCompilerConfigurations', @compiler_configurations);
    return
  end
  KORCAM_MATLAB_HOST.calls{end + 1} = varargin;
  name = value_after(varargin, '-output');
  folder = value_after(varargin, '-outdir');
  if isempty(name) || isempty(folder)
    error('mex:usage', 'The stand-in expects -output and -outdir.');
  end
  fid = fopen(fullfile(folder, [name '.' mexext()]), 'w');
  fclose(fid);
end

function cc = compiler_configurations(language, which)
  global KORCAM_MATLAB_HOST
  if ~strcmp(language, 'C++') || ~strcmp(which, 'Selected')
    error('mex:usage', 'The stand-in answers only (''C++'', ''Selected'').');
  end
  cc = struct('ShortName', KORCAM_MATLAB_HOST.compiler, 'Language', 'C++');
end

function value = value_after(args, option)
  value = '';
  k = find(strcmp(args, option), 1);
  if ~isempty(k) && k < numel(args)
    value = args{k + 1};
  end
end
