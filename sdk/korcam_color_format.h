// What the colour format property (KORCAM_PROP_COLOR_FORMAT) says of a
// sensor, which korcam.h leaves unsaid: a monochrome sensor reads exactly 0,
// a colour (Bayer) sensor the non-zero code of its pattern.
#pragma once

namespace korcam {

inline bool isMonochromeColorFormat(float value) { return value == 0.0f; }

}  // namespace korcam
