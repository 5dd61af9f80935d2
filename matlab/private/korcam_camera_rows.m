function cameras = korcam_camera_rows(count)
% KORCAM_CAMERA_ROWS  What KorCamera.info() reports of the first COUNT attached cameras.
%   Cameras not connected are connected for the reading and disconnected
%   again; a connected camera is only read.
  cameras = struct('Number', {}, 'CameraId', {}, 'Model', {}, 'SensorSize', {}, 'Color', {}, ...
                   'PixelDepth', {}, 'Connected', {}, 'Note', {});
  cameras = cameras(:);
  for n = 1:min(count, 10)
    row = struct('Number', n, 'CameraId', [], 'Model', '', 'SensorSize', [], 'Color', [], ...
                 'PixelDepth', [], 'Connected', false, 'Note', '');
    try
      row.Connected = logical(KorDispatcher(6, n));
      opened = false;
      if ~row.Connected
        KorDispatcher(-1, n);
        opened = true;
      end
    catch err
      row.Note = strtrim(korcam_gateway_text(err));
      cameras(end + 1, 1) = row;
      continue;
    end
    try
      row = read_camera(row);
    catch err
      row.Note = strtrim(korcam_gateway_text(err));
    end
    if opened
      try
        KorDispatcher(-2, n);
      catch err
        row.Note = strtrim([row.Note ' ' korcam_gateway_text(err)]);
      end
    end
    cameras(end + 1, 1) = row;
  end
end

function row = read_camera(row)
  n = row.Number;
  row.CameraId = KorDispatcher(59, n);
  row.Model = korcam_model_name(row.CameraId);
  color = KorDispatcher(39, n, 80);
  % The SDK's colour format property reads exactly 0 for a monochrome sensor.
  row.Color = color(1) ~= 0;
  width = KorDispatcher(39, n, 81);
  height = KorDispatcher(39, n, 82);
  row.SensorSize = [width(1); height(1)];
  row.PixelDepth = KorDispatcher(60, n);
end
