function tf = ispc()
% ISPC  Stand-in: whether the MATLAB the test pretends to be runs on Windows.
  global KORCAM_MATLAB_HOST
  tf = KORCAM_MATLAB_HOST.windows;
end
