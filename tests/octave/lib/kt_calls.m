function calls = kt_calls(op)
% KT_CALLS(OP) the logged SDK calls named OP since the last clear (all calls
% without OP), as a struct array with fields op, camera, args.
  calls = korcamsim('calls');
  if nargin > 0 && ~isempty(calls)
    calls = calls(strcmp({calls.op}, op));
  end
end
