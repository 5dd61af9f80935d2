function korcam_show_cameras(cameras, count)
% KORCAM_SHOW_CAMERAS  Print the rows of KorCamera.info() as a table.
  if count < 0
    fprintf('  The camera SDK could not count the attached cameras.\n');
    return;
  end
  if isempty(cameras)
    fprintf('  No camera attached.\n');
    return;
  end
  table = {'Camera', 'Id', 'Model', 'Sensor', 'Colour', 'Depth', 'Connected'};
  notes = {};
  for i = 1:numel(cameras)
    c = cameras(i);
    row = {sprintf('%d', c.Number), '?', '?', '?', '?', '?', yes_no(c.Connected)};
    if ~isempty(c.CameraId)
      row{2} = sprintf('0x%X', c.CameraId);
      row{3} = c.Model;
      if isempty(c.Model)
        row{3} = 'unknown model';
      end
    end
    if ~isempty(c.SensorSize)
      row{4} = sprintf('%d x %d', c.SensorSize(1), c.SensorSize(2));
    end
    if ~isempty(c.Color)
      row{5} = 'colour';
      if ~c.Color
        row{5} = 'mono';
      end
    end
    if ~isempty(c.PixelDepth)
      row{6} = sprintf('%d-bit', c.PixelDepth);
    end
    table(end + 1, :) = row;
    if ~isempty(c.Note)
      notes{end + 1} = sprintf('  Camera %d: %s', c.Number, c.Note);
    end
  end
  korcam_print_table(table);
  for i = 1:numel(notes)
    fprintf('%s\n', notes{i});
  end
  if count > 10
    fprintf('  %d cameras attached; the gateway reaches the first 10.\n', count);
  end
end

function text = yes_no(flag)
  if flag
    text = 'yes';
  else
    text = 'no';
  end
end
