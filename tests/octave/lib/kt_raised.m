function [err, raw, fromMex] = kt_raised(fn, expected, where)
% [ERR, RAW, FROMMEX] = KT_RAISED(FN, EXPECTED, WHERE) calls FN, which must
% raise an error (else the test fails, WHERE and EXPECTED naming what was
% wanted). ERR is the error, RAW the last text the error spy saw raised
% through mexErrMsgTxt, FROMMEX whether FN's call raised one at all.
  [~, before] = mexspy();
  raised = false;
  try
    fn();
  catch err
    raised = true;
  end
  if ~raised
    error('%sno error raised; expected "%s"', where, strrep(expected, "\n", '\n'));
  end
  [raw, after] = mexspy();
  fromMex = after > before;
end
