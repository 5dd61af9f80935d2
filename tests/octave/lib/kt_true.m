function kt_true(condition, varargin)
% KT_TRUE(CONDITION, FMT, ...) fails with the formatted label unless CONDITION holds.
  if ~(islogical(condition) || isnumeric(condition)) || isempty(condition) || ~all(condition(:))
    error('%scondition false', kt_label(varargin{:}));
  end
end
