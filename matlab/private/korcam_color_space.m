function name = korcam_color_space(value)
% KORCAM_COLOR_SPACE  'rgb' or 'grayscale' from a ReturnedColorSpace value in any letter case.
%   Anything else is refused (KorCamera:invalidColorSpace).
  if ischar(value) && any(strcmpi(value, {'rgb', 'grayscale'}))
    name = lower(value);
  else
    error('KorCamera:invalidColorSpace', ...
          'ReturnedColorSpace must be ''rgb'' or ''grayscale'' (one grey page per image).');
  end
end
