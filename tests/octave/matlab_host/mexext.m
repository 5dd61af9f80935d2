function ext = mexext()
% MEXEXT  Stand-in: the extension of the MATLAB the test pretends to be.
  global KORCAM_MATLAB_HOST
  ext = KORCAM_MATLAB_HOST.mexext;
end
