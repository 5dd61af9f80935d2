function korcam_check_sync_depths()
% KORCAM_CHECK_SYNC_DEPTHS  Refuse a synchronous snapshot that asks a camera for samples it lacks.
%   The SDK refuses to enable synchronous snapshots when one camera's stored
%   format asks for 16-bit samples its sensor cannot give, and the gateway
%   then says only "Failed to enable synchronous snapshots.". Cameras whose
%   state cannot be read are left to the gateway to report.
  try
    count = KorDispatcher(37);
  catch
    return;
  end
  for n = 1:min(count, 10)
    try
      wanted = KorDispatcher(6, n) && KorDispatcher(19, n);
      depth = 0;
      if wanted
        depth = KorDispatcher(60, n);
      end
    catch
      continue;
    end
    if wanted && depth <= 8
      error('KorCamera:no16BitSamples', ...
            ['Camera %d cannot take a 16-bit synchronous snapshot: its SyncSnapshot16Bit is true, but its ' ...
             'sensor has %d-bit samples and no 16-bit mode. Set SyncSnapshot16Bit of camera %d to false ' ...
             '(cam.SyncSnapshot16Bit = false).'], n, depth, n);
    end
  end
end
