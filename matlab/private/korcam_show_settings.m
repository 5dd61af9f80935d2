function korcam_show_settings(values, storedSetHere)
% KORCAM_SHOW_SETTINGS  Print the settings structure of a camera, one line each.
%   STOREDSETHERE tells whether SnapshotExposure and SnapshotGain are values
%   the object set (else they are the connect defaults); either way they are
%   marked, since the gateway cannot read them back.
  names = fieldnames(values);
  width = max(cellfun(@numel, names));
  for i = 1:numel(names)
    name = names{i};
    text = value_text(values.(name));
    switch name
      case 'SnapshotExposure'
        text = [text stored_note(storedSetHere(1))];
      case 'SnapshotGain'
        text = [text stored_note(storedSetHere(2))];
    end
    fprintf('    %-*s  %s\n', width, name, text);
  end
end

function note = stored_note(setHere)
  if setHere
    note = '  (as last set here; the gateway cannot read it back)';
  else
    note = '  (connect default; the gateway cannot read it back)';
  end
end

function text = value_text(value)
  if ischar(value)
    text = ['''' value ''''];
  elseif isstruct(value)
    parts = cellfun(@(f) sprintf('%s %g', f, value.(f)), fieldnames(value), 'UniformOutput', false);
    text = strjoin(parts', ', ');
  elseif islogical(value) && isscalar(value)
    text = 'false';
    if value
      text = 'true';
    end
  elseif isscalar(value)
    text = sprintf('%g', value);
  else
    text = ['[' strtrim(sprintf('%g ', value)) ']'];
  end
end
