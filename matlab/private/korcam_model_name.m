function name = korcam_model_name(id)
% KORCAM_MODEL_NAME  The maker's model name of a camera id, or '' when the id is not a known model.
%   The same table of camera ids as the acquisition adaptor's catalogue, in
%   the same order: the first row holding the id names it.
  models = {
    hex2dec('91'),  'KX-A01';  hex2dec('95'),  'KX-A02';  hex2dec('93'),  'KX-A03';  hex2dec('8C'),  'KX-A04'
    hex2dec('18C'), 'KX-A05';  hex2dec('85'),  'KX-A06';  hex2dec('92'),  'KX-A07';  hex2dec('94'),  'KX-A08'
    hex2dec('96'),  'KX-A09';  hex2dec('9A'),  'KX-A10';  hex2dec('19A'), 'KX-A11';  hex2dec('8A'),  'KX-A12'
    hex2dec('18A'), 'KX-A13';  hex2dec('9E'),  'KX-A14';  hex2dec('82'),  'KX-A15';  hex2dec('97'),  'KX-A16'
    hex2dec('180'), 'KX-A17';  hex2dec('8D'),  'KX-A18';  hex2dec('1CD'), 'KX-A19';  hex2dec('9B'),  'KX-A20'
    hex2dec('19B'), 'KX-A21';  hex2dec('8B'),  'KX-A22';  hex2dec('186'), 'KX-A23';  hex2dec('1C8'), 'KX-A24'
    hex2dec('A0'),  'KX-A25';  hex2dec('A1'),  'KX-A26';  hex2dec('A3'),  'KX-A27';  hex2dec('1A6'), 'KX-A28'
    hex2dec('A2'),  'KX-A29';  hex2dec('1A2'), 'KX-A30';  hex2dec('1A7'), 'KX-A31';  hex2dec('A4'),  'KX-A32'
    hex2dec('1A4'), 'KX-A33';  hex2dec('1A5'), 'KX-A34'
  };
  name = '';
  row = find([models{:, 1}] == id, 1);
  if ~isempty(row)
    name = models{row, 2};
  end
end
