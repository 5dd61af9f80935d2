function err = kt_error_id(fn, id, varargin)
% ERR = KT_ERROR_ID(FN, ID, ...) calls FN, which must raise an error with
% the identifier ID and a message of its own (not prefixed with the name of
% the MEX file that raised it); the optional label (as for kt_label) names
% the case.
  try
    fn();
  catch err
    if ~strcmp(err.identifier, id)
      error('%sraised %s ("%s"); expected %s', kt_label(varargin{:}), err.identifier, err.message, id);
    end
    if strncmp(err.message, 'korvideoinput:', 14)
      error('%sthe message carries the MEX file''s name: "%s"', kt_label(varargin{:}), err.message);
    end
    return;
  end
  error('%sno error raised; expected %s', kt_label(varargin{:}), id);
end
