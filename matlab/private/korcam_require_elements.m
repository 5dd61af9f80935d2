function korcam_require_elements(value, count, name, shape)
% KORCAM_REQUIRE_ELEMENTS  Refuse a vector property value with the wrong element count.
%   The gateway takes the elements as separate parameters, so their count
%   is checked here; each element's type is left to the gateway.
  if numel(value) ~= count
    error('KorCamera:elementCount', '%s takes %d elements, %s.', name, count, shape);
  end
end
