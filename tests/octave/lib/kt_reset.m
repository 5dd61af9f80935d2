function kt_reset()
% KT_RESET unloads the gateway (its exit hook closes what it held, and the next
% call loads a fresh slot table) and puts the virtual cameras back to the
% default rig with no faults, an empty call log and pacing on (a case that
% wants frames as fast as they are drawn turns it off itself).
  clear -f KorDispatcher;
  korcamsim('reset');
end
