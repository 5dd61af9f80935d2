// How the gateway fails: a handler throws GatewayError with the final text,
// the stack unwinds (every buffer is owned by an RAII object), and only then
// does mexFunction hand the text to mexErrMsgTxt, which ends the MEX call.
#pragma once

#include <cstddef>
#include <exception>

namespace kor {

class GatewayError : public std::exception {
public:
    static constexpr std::size_t kCapacity = 512;
    explicit GatewayError(const char* text);
    const char* what() const noexcept override { return text_; }

private:
    char text_[kCapacity];
};

// Raises the gateway error with printf-style formatting of fmt.
[[noreturn]] void fail(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace kor
