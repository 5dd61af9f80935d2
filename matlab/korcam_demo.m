function korcam_demo(outdir)
% KORCAM_DEMO(OUTDIR) walks through the camera gateway on the attached (or
% virtual) cameras and prints what it does; pictures go to OUTDIR.
  if nargin < 1, outdir = 'out'; end
  n = KorDispatcher(37);
  printf('Cameras attached: %d\n', n);

  for cam = 1:min(2, n)
    KorDispatcher(-1, cam);
    printf('Connected camera %d: %s\n', cam, yesno(KorDispatcher(6, cam)));
  end

  KorDispatcher(0, 1);
  printf('Live preview of camera 1 started\n');
  KorDispatcher(1, 1);
  printf('Live preview of camera 1 stopped\n');

  for cam = 1:min(2, n)
    KorDispatcher(-2, cam);
    printf('Disconnected camera %d; connected now: %s\n', cam, yesno(KorDispatcher(6, cam)));
  end
end

function s = yesno(flag)
  if flag, s = 'yes'; else, s = 'no'; end
end
