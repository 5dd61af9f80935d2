function tf = korcam_connected(number)
% KORCAM_CONNECTED  Whether the gateway holds camera NUMBER connected; false when it cannot say.
  try
    tf = KorDispatcher(6, number);
  catch
    tf = false;
  end
end
