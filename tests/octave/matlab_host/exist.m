function n = exist(varargin)
% EXIST  Stand-in that hides Octave's own marker, so that code asking
% exist('OCTAVE_VERSION', 'builtin') takes its MATLAB branch; every other
% question goes to the built-in function. (Variables cannot be asked about
% through it: they would be looked up here.)
  if nargin == 2 && strcmp(varargin{1}, 'OCTAVE_VERSION') && strcmp(varargin{2}, 'builtin')
    n = 0;
  else
    n = builtin('exist', varargin{:});
  end
end
