function kt_reset()
% KT_RESET unloads the gateway (its exit hook closes what it held, and the next
% call loads a fresh slot table) and puts the virtual cameras back to the
% default rig with no faults and an empty call log.
  clear -f KorDispatcher;
  korcamsim('reset');
end
