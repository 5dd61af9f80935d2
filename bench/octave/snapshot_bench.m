function results = snapshot_bench(reps)
% SNAPSHOT_BENCH  Times 2048x1536 snapshots through KorDispatcher (code 13)
% against the rearrangement a user would otherwise write in Octave for the
% same picture: rows reversed, samples split into pages, pages reordered.
%
%   results = snapshot_bench()      5 timed repetitions after one warm-up
%   results = snapshot_bench(reps)
%
% Needs KorDispatcher and korcamsim on the path. Each row of the printed
% table: the whole snapshot call (capture by the virtual camera included),
% the Octave rearrangement of the picture alone, and their ratio (how many
% times longer the Octave rearrangement takes than the whole call).
  if nargin < 1
    reps = 5;
  end
  korcamsim('reset');
  % Camera 2 of the default rig is monochrome, 16-bit capable, little-endian.
  colour_rig = struct('color', true, 'maxWidth', 2048, 'maxHeight', 1536, 'bits16', true);
  big_endian_rig = struct('color', false, 'maxWidth', 2048, 'maxHeight', 1536, 'bits16', true, ...
                          'littleEndian', false);
  cases = {
    % label                            rig (camera 1), or [] for camera 2   colour  little-endian  16 bits
    'monochrome 8-bit (camera 2)',     [],                                  false,  true,          false
    'monochrome 16-bit (camera 2)',    [],                                  false,  true,          true
    'monochrome 16-bit, byte-swapped', big_endian_rig,                      false,  false,         true
    'colour 8-bit',                    colour_rig,                          true,   false,         false
    'colour 16-bit',                   colour_rig,                          true,   false,         true
  };
  results = struct('label', {}, 'dispatcher', {}, 'octave', {}, 'ratio', {});
  printf('%-30s %14s %14s %8s\n', 'snapshot 2048x1536', 'KorDispatcher', 'Octave', 'ratio');
  for k = 1:rows(cases)
    [label, rig, colour, little, sixteen] = cases{k, :};
    korcamsim('reset');
    % Frames as fast as they can be drawn: the pixel work is timed, not a frame rate.
    korcamsim('pace', false);
    cam = 2;
    if ~isempty(rig)
      korcamsim('rig', rig);
      cam = 1;
    end
    KorDispatcher(-1, cam);
    KorDispatcher(2, cam, 2048, 1536);
    KorDispatcher(10, cam, sixteen);
    KorDispatcher(13, cam);                          % warm-up
    dispatcher = median(time_calls(@() KorDispatcher(13, cam), reps));
    img = KorDispatcher(13, cam);

    % The same picture as a user would get it: the raw frame (monochrome)
    % or the library's blue, green, red conversion (colour).
    [raw, w, h, pf] = korcamsim('lastframe', cam);
    if colour
      bgr = korcamsim('convert', cam, raw, w, h, pf);
      rearrange = @() colour_in_octave(bgr, w, h);
    else
      rearrange = @() mono_in_octave(raw, w, h, pf, little);
    end
    mine = rearrange();
    if ~isequal(mine, img)
      error('snapshot_bench: the Octave rearrangement differs from KorDispatcher''s image (%s)', label);
    end
    octave = median(time_calls(rearrange, reps));
    KorDispatcher(-2, cam);

    results(end + 1) = struct('label', label, 'dispatcher', dispatcher, 'octave', octave, ...
                              'ratio', octave / dispatcher);
    printf('%-30s %11.2f ms %11.2f ms %8.2f\n', label, 1000 * dispatcher, 1000 * octave, octave / dispatcher);
  end
  korcamsim('reset');
end

function t = time_calls(f, reps)
  t = zeros(1, reps);
  for r = 1:reps
    start = tic;
    x = f(); %#ok<NASGU>
    t(r) = toc(start);
  end
end

function img = colour_in_octave(bgr, w, h)
  img = flipud(permute(reshape(bgr, 3, w, h), [3 2 1]));
  img = img(:, :, [3 2 1]);
end

function img = mono_in_octave(raw, w, h, pf, little)
  if pf == 0
    samples = raw;
  else
    samples = typecast(raw(:), 'uint16');
    if ~little
      samples = swapbytes(samples);
    end
    samples = bitand(samples, uint16(65520));
  end
  page = flipud(reshape(samples, w, h).');
  img = cat(3, page, page, page);
end
