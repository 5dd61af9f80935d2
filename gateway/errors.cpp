#include "errors.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kor {

GatewayError::GatewayError(const char* text) { std::snprintf(text_, sizeof text_, "%s", text); }

void fail(const char* fmt, ...) {
    char text[GatewayError::kCapacity];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    throw GatewayError(text);
}

}  // namespace kor
