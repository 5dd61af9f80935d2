function kt_main(name)
% KT_MAIN(NAME) runs every case of the test file NAME (a function returning a
% cell array of {label, handle} rows), each on a freshly loaded gateway and the
% default virtual rig, and exits with status 1 when one fails.
  cases = feval(name);
  failures = 0;
  for i = 1:rows(cases)
    label = cases{i, 1};
    kt_reset();
    try
      cases{i, 2}();
      printf('  ok    %s\n', label);
    catch err
      failures = failures + 1;
      printf('  FAIL  %s\n        %s\n', label, strrep(err.message, "\n", "\n        "));
      for s = err.stack(:)'
        printf('        at %s line %d\n', s.name, s.line);
      end
    end
  end
  kt_reset();
  printf('%s: %d of %d cases passed\n', name, rows(cases) - failures, rows(cases));
  if failures > 0
    exit(1);
  end
  exit(0);
end
