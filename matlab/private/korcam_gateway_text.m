function text = korcam_gateway_text(err)
% KORCAM_GATEWAY_TEXT  The text the gateway raised, from the error the host made of it.
%   Octave puts the MEX file's name and a colon in front of a MEX error;
%   MATLAB shows the text as raised.
  text = err.message;
  if exist('OCTAVE_VERSION', 'builtin')
    text = regexprep(text, '^KorDispatcher\w*: ', '', 'once');
  end
end
