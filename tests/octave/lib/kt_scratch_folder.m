function s = kt_scratch_folder()
% S = KT_SCRATCH_FOLDER() makes a temporary folder S.path, removed with its
% contents when S goes.
  s.path = tempname();
  mkdir(s.path);
  s.cleanup = onCleanup(@() remove_folder(s.path));
end

function remove_folder(path)
  confirm_recursive_rmdir(false, 'local');
  if exist(path, 'dir')
    rmdir(path, 's');
  end
end
