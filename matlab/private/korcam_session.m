function token = korcam_session(renew)
% KORCAM_SESSION  Token of the gateway's current slot table, as KorCamera knows it.
%   TOKEN = KORCAM_SESSION() returns the token; KORCAM_SESSION('renew') makes
%   a new one, after KorCamera.reset() unloaded the gateway. An object
%   disconnects its camera only within the session in which it connected it:
%   after a reset the camera number may belong to a newer object. The token
%   holds the time it was made, so that one made after this function was
%   cleared differs from every earlier one (and the random number generator
%   is left alone).
  persistent current renewals
  if isempty(renewals)
    renewals = 0;
  end
  if isempty(current) || (nargin > 0 && strcmp(renew, 'renew'))
    renewals = renewals + 1;
    current = sprintf('%d-%.9f', renewals, now());
  end
  token = current;
end
