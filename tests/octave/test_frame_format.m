function cases = test_frame_format()
% The whole frame format and rate as one structure (codes 62 and 63).
  cases = {
    'camera guard of both commands',                 @camera_guard
    'read: fields, order, class and values',         @read_structure
    'read: every field as its unsigned value',       @read_unsigned
    'write back unchanged sets the same format',     @round_trip
    'write converts each field as its width says',   @field_conversions
    'write refuses a malformed structure',           @malformed_structure
    'write reads element 1 and logical fields',      @structure_arrays_and_logical_fields
    'SDK failures',                                  @sdk_failures
    'write leaves preview and snapshot settings alone', @no_side_effects
  };
end

function camera_guard()
  f = struct('width', 1);
  t = {
    62, {},  'Cannot get current frame format, camera %d is not connected.'
    63, {f}, 'Cannot set new frame format, camera %d is not connected.'
  };
  for i = 1:rows(t)
    [code, args, pattern] = t{i, :};
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(code, 11, args{:}), 'Invalid camera nubmer.', 'code %d', code);
    kt_equal(numel(kt_calls()), 0, 'code %d: no SDK call for camera 11', code);
    kt_error(@() KorDispatcher(code, 4, args{:}), 'Not enough cameras connected.', 'code %d', code);
    kt_error(@() KorDispatcher(code, -1, args{:}), 'Invalid camera nubmer.', 'code %d camera -1', code);
    % the guard comes before the structure is looked at
    kt_error(@() KorDispatcher(code, 3, args{:}), sprintf(pattern, 3), 'code %d', code);
    kt_equal(unique({kt_calls().op}), {'KorcamNumCameras'}, 'code %d: only the count asked', code);
  end
  kt_error(@() KorDispatcher(63, 'a', f), 'Parameters 1 must be an integer.');
end

function read_structure()
  KorDispatcher(-1, 2);
  korcamsim('calls', 'clear');
  f = KorDispatcher(62, 2);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamGetFormat'});
  kt_equal(fieldnames(f)', {'width', 'height', 'xOffset', 'yOffset', 'xBinSub', 'yBinSub', ...
                            'xFlags', 'yFlags', 'pixelFormat', 'frameRate'}, 'field order');
  kt_equal(size(f), [1 1]);
  values = struct2cell(f);
  kt_true(all(cellfun(@(v) isa(v, 'double') && isscalar(v) && isreal(v), values)), 'real double scalars');
  kt_equal([values{:}], [2048 1536 0 0 1 1 0 0 0 15], 'the camera''s power-up format');
  % subsampling, offsets, 16 bits and a rate below 1, all as the camera reports them
  g = f;
  g.width = 1024; g.height = 768; g.xOffset = 100; g.yOffset = 50;
  g.xBinSub = 2; g.yBinSub = 4; g.pixelFormat = 1; g.frameRate = 3.75;
  KorDispatcher(63, 2, g);
  kt_equal(KorDispatcher(62, 2), g);
  s = korcamsim('state', 2);
  kt_equal([s.xBinSub s.yBinSub s.pixelFormat s.frameRate], [2 4 1 3.75]);
end

function read_unsigned()
  odd = struct('width', 4294967295, 'height', 2147483648, 'xOffset', 3e9, 'yOffset', 1, ...
               'xBinSub', 65535, 'yBinSub', 32768, 'xFlags', 65535, 'yFlags', 32769, 'pixelFormat', 4294967295);
  korcamsim('format', 3, odd);
  KorDispatcher(-1, 3);
  f = KorDispatcher(62, 3);
  odd.frameRate = 15;
  kt_equal(f, odd);
end

function round_trip()
  KorDispatcher(-1, 1);
  KorDispatcher(2, 1, 640, 480);
  KorDispatcher(9, 1, 10, 20);
  KorDispatcher(3, 1, 7.5);
  before = korcamsim('state', 1);
  f = KorDispatcher(62, 1);
  korcamsim('calls', 'clear');
  KorDispatcher(63, 1, f);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamSetFormat'});
  after = korcamsim('state', 1);
  fields = {'width', 'height', 'xOffset', 'yOffset', 'xBinSub', 'yBinSub', 'xFlags', 'yFlags', ...
            'pixelFormat', 'frameRate'};
  for i = 1:numel(fields)
    kt_equal(after.(fields{i}), before.(fields{i}), fields{i});
  end
  kt_equal(KorDispatcher(62, 1), f);
  % code 63 assigns no output, also on success
  assigned = true;
  try, x = KorDispatcher(63, 1, f); catch, assigned = false; end
  kt_true(~assigned, 'no output to assign');
end

function field_conversions()
  KorDispatcher(-1, 2);
  base = KorDispatcher(62, 2);
  base.width = 1024;
  base.height = 768;
  KorDispatcher(63, 2, base);
  % field, value given, value the camera receives
  t = {
    'width',       640.9,           640
    'width',       2^32 + 640,      640
    'height',      int16(480),      480
    'xOffset',     uint8(200),      200
    'yOffset',     single(16.5),    16
    'xBinSub',     65537,           1
    'yBinSub',     int32(2),        2
    'xFlags',      -1,              65535
    'yFlags',      2^16 + 3,        3
    'pixelFormat', uint16(1),       1
    'frameRate',   single(7.5),     7.5
    'frameRate',   int8(30),        30
  };
  for i = 1:rows(t)
    [name, given, expected] = t{i, :};
    f = base;
    f.(name) = given;
    korcamsim('calls', 'clear');
    KorDispatcher(63, 2, f);
    g = KorDispatcher(62, 2);
    kt_equal(g.(name), expected, '%s from %s %g', name, class(given), double(given));
    KorDispatcher(63, 2, base);
  end
  % the rate is rounded to the nearest float
  f = base;
  f.frameRate = 0.1;
  korcamsim('calls', 'clear');
  kt_error(@() KorDispatcher(63, 2, f), 'Failed to set new frame format.', 'a rate the camera does not offer');
  kt_equal(kt_calls('KorcamSetFormat').args(1), double(single(0.1)), 'rate as a float');
  % the camera judges the converted values: a width that wraps to 2^32 - 1 is refused
  f = base;
  f.width = -1;
  kt_error(@() KorDispatcher(63, 2, f), 'Failed to set new frame format.');
  kt_equal(KorDispatcher(62, 2), base, 'format unchanged');
end

function malformed_structure()
  KorDispatcher(-1, 1);
  good = KorDispatcher(62, 1);
  names = fieldnames(good);
  % parameter 2, message
  t = {
    5,                          'Parameter 2 must be a frame format structure.'
    'width',                    'Parameter 2 must be a frame format structure.'
    {good},                     'Parameter 2 must be a frame format structure.'
    [],                         'Parameter 2 must be a frame format structure.'
    repmat(good, 0, 1),         'Parameter 2 must be a 1x1 frame format structure.'
    struct(),                   'The frame format structure has no field "width".'
  };
  for i = 1:numel(names)
    t(end + 1, :) = {rmfield(good, names{i}), sprintf('The frame format structure has no field "%s".', names{i})};
  end
  bad_values = {'640', [], [640 480], {640}, 640 + 1i, struct('a', 1), int8([1; 2]), logical([1 0])};
  for i = 1:numel(names)
    for j = 1:numel(bad_values)
      f = good;
      f.(names{i}) = bad_values{j};
      t(end + 1, :) = {f, sprintf('Field "%s" of the frame format structure must be a real numeric scalar.', names{i})};
    end
  end
  for i = 1:rows(t)
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(63, 1, t{i, 1}), t{i, 2}, 'case %d', i);
    kt_equal(numel(kt_calls('KorcamSetFormat')), 0, 'case %d: nothing set', i);
  end
  % the first bad field in structure order is named; extra fields are ignored
  f = good;
  f.pixelFormat = 'x';
  f.height = [];
  kt_error(@() KorDispatcher(63, 1, f), 'Field "height" of the frame format structure must be a real numeric scalar.');
  f = good;
  f.comment = 'kept aside';
  f.width = 640;
  KorDispatcher(63, 1, f);
  kt_equal(KorDispatcher(12, 1), [640; 1024]);
end

% Element 1 of a structure array is the format, as the one element of a 1x1
% structure is; logical fields count as 0 and 1.
function structure_arrays_and_logical_fields()
  KorDispatcher(-1, 1);
  first = KorDispatcher(62, 1);
  first.width = 640;
  first.height = 480;
  second = first;
  second.width = 320;
  KorDispatcher(63, 1, [first second]);
  kt_equal(KorDispatcher(12, 1), [640; 480], 'element 1 of a 1x2 array');
  KorDispatcher(63, 1, [second; first]);
  kt_equal(KorDispatcher(12, 1), [320; 480], 'element 1 of a 2x1 array');
  first.xFlags = true;
  first.xOffset = true;
  KorDispatcher(63, 1, first);
  g = KorDispatcher(62, 1);
  kt_equal([g.xFlags g.xOffset g.width], [1 1 640], 'logical fields by value');
end

function sdk_failures()
  KorDispatcher(-1, 1);
  f = KorDispatcher(62, 1);
  korcamsim('fail', 'KorcamGetFormat', 31, 1, 0);
  kt_error(@() KorDispatcher(62, 1), 'Failed to get frame format.');
  korcamsim('fail');
  korcamsim('fail', 'KorcamSetFormat', 31, 1, 0);
  f.width = 640;
  kt_error(@() KorDispatcher(63, 1, f), 'Failed to set new frame format.');
  korcamsim('fail');
  kt_equal(KorDispatcher(12, 1), [1280; 1024], 'format unchanged');
  % the camera refuses a region beyond its sensor
  f.width = 1281;
  kt_error(@() KorDispatcher(63, 1, f), 'Failed to set new frame format.');
end

function no_side_effects()
  KorDispatcher(0, 1);
  KorDispatcher(-1, 2);
  f = KorDispatcher(62, 1);
  f.width = 640; f.height = 480; f.xOffset = 8;
  korcamsim('calls', 'clear');
  KorDispatcher(63, 1, f);
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamSetFormat'}, 'no pause of the preview');
  kt_true(korcamsim('state', 1).streaming, 'still streaming');
  % the snapshot settings keep the format of the connect
  KorDispatcher(32);
  s = korcamsim('state', 1).snapshot.format;
  kt_equal([s.width s.height s.xOffset], [1280 1024 0], 'snapshot format untouched');
end
