function name = korcam_model_name(id)
% KORCAM_MODEL_NAME  The maker's model name of a camera id, or '' when the id is not a known model.
%   The table is the acquisition adaptor's own, adaptor/camera_models.def
%   beside this folder, read once: the first row holding the id names it.
  persistent ids names
  if isempty(ids)
    [ids, names] = read_models();
  end
  name = '';
  row = find(ids == id, 1);
  if ~isempty(row)
    name = names{row};
  end
end

function [ids, names] = read_models()
  root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
  file = fullfile(root, 'adaptor', 'camera_models.def');
  if ~exist(file, 'file')
    error('KorCamera:noModelTable', ['The camera model table %s is missing: keep the matlab folder beside ' ...
                                     'the adaptor folder of the project, as the repository has it.'], file);
  end
  entries = regexp(fileread(file), 'KORCAM_CAMERA_MODEL\((0x[0-9A-Fa-f]+), *"([^"]*)"\)', 'tokens');
  ids = zeros(1, numel(entries));
  names = cell(1, numel(entries));
  for k = 1:numel(entries)
    ids(k) = hex2dec(entries{k}{1}(3:end));
    names{k} = entries{k}{2};
  end
end
