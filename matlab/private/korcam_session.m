function token = korcam_session(renew)
% KORCAM_SESSION  Token of the gateway's current slot table, as KorCamera knows it.
%   TOKEN = KORCAM_SESSION() returns the token; KORCAM_SESSION('renew') makes
%   a new one, after KorCamera.reset() unloaded the gateway. An object
%   disconnects its camera only within the session in which it connected it:
%   after a reset the camera number may belong to a newer object.
  persistent current
  if isempty(current) || (nargin > 0 && strcmp(renew, 'renew'))
    current = sprintf('%.0f-%.0f', now() * 86400000, floor(rand() * 1e9));
  end
  token = current;
end
