function kt_error(fn, expected, varargin)
% KT_ERROR(FN, EXPECTED) calls FN and checks that it raises, through
% mexErrMsgTxt, exactly the text EXPECTED (final line feed included: the
% spy sees the text before Octave strips the line feed and adds the prefix).
  where = kt_label(varargin{:});
  [err, raw, fromMex] = kt_raised(fn, expected, where);
  if ~fromMex
    error('%serror did not come from a MEX file: "%s"; expected "%s"', where, err.message, kt_show(expected));
  end
  if ~strcmp(raw, expected)
    error('%sgot "%s"\n expected "%s"', where, kt_show(raw), kt_show(expected));
  end
  shown = regexprep(expected, '\n$', '');
  if numel(err.message) < numel(shown) || ~strcmp(err.message(end-numel(shown)+1:end), shown)
    error('%sOctave reported "%s"', where, err.message);
  end
end

function s = kt_show(text)
  s = strrep(text, "\n", '\n');
end
