function kt_equal(actual, expected, varargin)
% KT_EQUAL(ACTUAL, EXPECTED) checks value, size and class.
  if ~isequal(class(actual), class(expected)) || ~isequal(size(actual), size(expected)) || ...
     ~isequaln(actual, expected)
    error('%sgot %s %s: %s\n expected %s %s: %s', kt_label(varargin{:}), class(actual), ...
          mat2str(size(actual)), kt_text(actual), class(expected), mat2str(size(expected)), kt_text(expected));
  end
end

function s = kt_text(v)
  if ischar(v)
    s = ['"' v '"'];
  elseif (isnumeric(v) || islogical(v)) && numel(v) <= 16
    s = mat2str(v);
  elseif isstruct(v) && numel(v) == 1
    s = disp(v);
  else
    s = sprintf('<%d elements>', numel(v));
  end
end
