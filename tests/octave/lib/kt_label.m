function where = kt_label(varargin)
% KT_LABEL(FMT, ...) formats an optional case label for failure messages.
  if isempty(varargin)
    where = '';
  else
    where = [sprintf(varargin{:}) ': '];
  end
end
