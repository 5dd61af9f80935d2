function cases = test_camera_info()
% Camera information and enumeration: count (37), enumerate (38), and the
% queries of one connected camera (57 to 60).
  cases = {
    'count is the SDK''s, -1 included',            @count_cameras
    'enumerate lists every camera in SDK order',   @enumerate_cameras
    'enumerate refusals and failures',             @enumerate_failures
    'enumerate sizes its array without overflow',  @enumerate_huge_counts
    'software versions of one camera',             @query_versions
    'interface, id and pixel depth',               @query_values
    'SDK failures raise each command''s message',  @sdk_failures
    'camera guard of every command',               @camera_guard
  };
end

% Three cameras whose versions probe the formats: high bytes of firmware and
% FPGA, bytes above 127, a negative serial number, the reserved field in hex.
function versions_rig()
  korcamsim('rig', struct( ...
    'firmware', {hex2dec('00000105'), hex2dec('FFFF0203'), 0}, ...
    'fpga',     {hex2dec('00010203'), hex2dec('000080FF'), 0}, ...
    'api',      {hex2dec('01020304'), hex2dec('FF00807F'), 0}, ...
    'driver',   {hex2dec('0A000102'), hex2dec('02010007'), 0}, ...
    'serial',   {hex2dec('FFFFFFFF'), hex2dec('80000000'), 2147483647}, ...
    'reserved', {255, hex2dec('DEADBEEF'), 0}));
end

% Texts of the three cameras of versions_rig, in struct field order.
function t = versions_expected()
  t = {
    '1.2.3.4',     '10.0.1.2', '1.5',  '2.3',     '-1',          '0x000000ff'
    '255.0.128.127', '2.1.0.7', '2.3', '128.255', '-2147483648', '0xdeadbeef'
    '0.0.0.0',     '0.0.0.0',  '0.0',  '0.0',     '2147483647',  '0x00000000'
  };
end

function check_versions(v, expected, label)
  kt_equal(fieldnames(v)', {'API', 'Driver', 'Firmware', 'FPGA', 'SN', 'Reserved'}, '%s: fields', label);
  names = fieldnames(v);
  for i = 1:numel(v)
    for f = 1:numel(names)
      kt_equal(v(i).(names{f}), expected{i, f}, '%s: element %d %s', label, i, names{f});
    end
  end
end

function count_cameras()
  korcamsim('calls', 'clear');
  kt_equal(KorDispatcher(37), 3, 'default rig');
  kt_equal({kt_calls().op}, {'KorcamNumCameras'});
  for n = [0, -1, 2, 7]
    korcamsim('count', n);
    kt_equal(KorDispatcher(37), n, 'count %d', n);
  end
end

function enumerate_cameras()
  versions_rig();
  korcamsim('calls', 'clear');
  v = KorDispatcher(38);
  kt_equal(size(v), [3 1], 'a column');
  kt_true(isstruct(v), 'a struct array');
  check_versions(v, versions_expected(), 'enumerate');
  kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamEnumCameras'});
  kt_equal(kt_calls('KorcamEnumCameras').args, 3, 'capacity = count');
  % the count decides how many: cameras above it are unplugged
  korcamsim('count', 1);
  v = KorDispatcher(38);
  kt_equal(size(v), [1 1], 'one camera');
  check_versions(v, versions_expected()(1, :), 'one camera');
  % no camera connected, and none changed by enumerating
  kt_equal(KorDispatcher(6, 1), false, 'camera 1 not connected');
end

function enumerate_failures()
  korcamsim('count', 0);
  kt_error(@() KorDispatcher(38), 'No cameras attached to computer.');
  korcamsim('count', -1);
  kt_error(@() KorDispatcher(38), 'Failed to enumerate all the cameras.');
  korcamsim('count');
  % fewer records filled than counted
  korcamsim('count', 5);
  kt_error(@() KorDispatcher(38), 'Failed to enumerate all the cameras.', 'count above the attached');
  korcamsim('count');
  korcamsim('fail', 'KorcamEnumCameras', 31, 1, 0);
  kt_error(@() KorDispatcher(38), 'Failed to enumerate all the cameras.', 'enumeration fails');
  kt_equal(size(KorDispatcher(38)), [3 1], 'works once the fault is gone');
end

function enumerate_huge_counts()
  % 24 bytes per record: beyond 2^31 - 1 bytes no 32-bit process gets the
  % array, and beyond 32 bits the product would wrap (178956971 records to
  % 8 bytes)
  for n = [89478486, 178956970, 178956971, 2147483647]
    korcamsim('count', n);
    korcamsim('calls', 'clear');
    kt_error(@() KorDispatcher(38), 'Failed to allocate memory.', 'count %d', n);
    kt_equal(numel(kt_calls('KorcamEnumCameras')), 0, 'count %d: no enumeration', n);
  end
end

function query_versions()
  versions_rig();
  expected = versions_expected();
  for cam = 1:3
    KorDispatcher(-1, cam);
    korcamsim('calls', 'clear');
    v = KorDispatcher(57, cam);
    kt_equal(size(v), [1 1], 'camera %d: one struct', cam);
    check_versions(v, expected(cam, :), sprintf('camera %d', cam));
    kt_equal({kt_calls().op}, {'KorcamNumCameras', 'KorcamQueryVersion'}, 'camera %d calls', cam);
    kt_equal(kt_calls('KorcamQueryVersion').camera, cam, 'camera %d asked', cam);
  end
  all = KorDispatcher(38);
  kt_equal(KorDispatcher(57, 2), all(2), 'same texts as enumerate');
end

function query_values()
  % interface, id, pixel depth of each camera; expected interface text
  big = 4294967295;
  t = {
    2,   hex2dec('80000000'), 12,  'USB2'
    0,   big,                 0,   'USB1'
    1,   0,                   big, 'USB1'
    3,   hex2dec('91'),       16,  'USB1'
    big, 1,                   8,   'USB1'
  };
  korcamsim('rig', struct('interface', t(:, 1)', 'id', t(:, 2)', 'pixelDepth', t(:, 3)'));
  ops = {58, 'KorcamQueryExternInterface'; 59, 'KorcamGetCameraId'; 60, 'KorcamGetTruePixelDepth'};
  for cam = 1:rows(t)
    KorDispatcher(-1, cam);
    expected = {t{cam, 4}, t{cam, 2}, t{cam, 3}};
    for i = 1:rows(ops)
      korcamsim('calls', 'clear');
      kt_equal(KorDispatcher(ops{i, 1}, cam), expected{i}, 'camera %d code %d', cam, ops{i, 1});
      kt_equal({kt_calls().op}, {'KorcamNumCameras', ops{i, 2}}, 'camera %d code %d calls', cam, ops{i, 1});
    end
  end
end

function sdk_failures()
  KorDispatcher(-1, 1);
  t = {
    57, 'KorcamQueryVersion',         'Failed to query software version information.'
    58, 'KorcamQueryExternInterface', 'Failed to query external interface.'
    59, 'KorcamGetCameraId',          'Failed to get camera ID.'
    60, 'KorcamGetTruePixelDepth',    'Failed to get pixel depth.'
  };
  for i = 1:rows(t)
    korcamsim('fail', t{i, 2}, 31);
    kt_error(@() KorDispatcher(t{i, 1}, 1), t{i, 3}, 'code %d', t{i, 1});
    korcamsim('fail');
  end
end

function camera_guard()
  t = {
    57, 'Cannot query software version information, camera %d is not connected.'
    58, 'Cannot query USB interface, camera %d is not connected.'
    59, 'Cannot get camera ID, camera %d is not connected.'
    60, 'Cannot get pixel depth, camera %d is not connected.'
  };
  KorDispatcher(-1, 1);
  korcamsim('calls', 'clear');
  for i = 1:rows(t)
    [code, pattern] = t{i, :};
    for cam = 2:3
      kt_error(@() KorDispatcher(code, cam), sprintf(pattern, cam), 'code %d camera %d', code, cam);
    end
    kt_error(@() KorDispatcher(code, 11), 'Invalid camera nubmer.', 'code %d', code);
    kt_error(@() KorDispatcher(code, 4), 'Not enough cameras connected.', 'code %d', code);
    kt_error(@() KorDispatcher(code, 0), 'Invalid camera nubmer.', 'code %d', code);
  end
  ops = {kt_calls().op};
  kt_true(all(strcmp(ops, 'KorcamNumCameras')), 'only the count was asked');
  % an unplugged camera fails the guard even when connected
  korcamsim('count', 0);
  kt_error(@() KorDispatcher(59, 1), 'Not enough cameras connected.');
end
