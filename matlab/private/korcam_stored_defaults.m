function stored = korcam_stored_defaults()
% KORCAM_STORED_DEFAULTS  The snapshot exposure and gain the gateway stores at connect (1 and 1).
  stored = struct('exposure', 1, 'gain', 1, 'setHere', [false false]);
end
