#include "commands.h"
#include "pending.h"

namespace kor {

mxArray* getProperty(const Params&) { notAvailableYet(); }
mxArray* setProperty(const Params&) { notAvailableYet(); }
mxArray* getGamma(const Params&) { notAvailableYet(); }
mxArray* setGamma(const Params&) { notAvailableYet(); }
mxArray* getContrast(const Params&) { notAvailableYet(); }
mxArray* setContrast(const Params&) { notAvailableYet(); }
mxArray* getBrightness(const Params&) { notAvailableYet(); }
mxArray* setBrightness(const Params&) { notAvailableYet(); }
mxArray* getHue(const Params&) { notAvailableYet(); }
mxArray* setHue(const Params&) { notAvailableYet(); }
mxArray* getSaturation(const Params&) { notAvailableYet(); }
mxArray* setSaturation(const Params&) { notAvailableYet(); }
mxArray* getPropertyRange(const Params&) { notAvailableYet(); }
mxArray* getGammaRange(const Params&) { notAvailableYet(); }
mxArray* getContrastRange(const Params&) { notAvailableYet(); }
mxArray* getBrightnessRange(const Params&) { notAvailableYet(); }
mxArray* getHueRange(const Params&) { notAvailableYet(); }
mxArray* getSaturationRange(const Params&) { notAvailableYet(); }

}  // namespace kor
