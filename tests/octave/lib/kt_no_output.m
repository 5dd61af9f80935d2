function kt_no_output(varargin)
% KT_NO_OUTPUT(CODE, ...) calls KorDispatcher with an output requested and
% checks that the command succeeds without assigning one.
  assigned = true;
  try
    out = KorDispatcher(varargin{:});
  catch err
    assigned = false;
    kt_true(~isempty(strfind(err.message, 'undefined')), 'code %d raised "%s"', varargin{1}, err.message);
  end
  kt_true(~assigned, 'code %d assigned an output', varargin{1});
end
