// Preloaded into the Octave process by the test runner: records the exact
// text every MEX file hands to mexErrMsgTxt, final line feed included (Octave
// strips it from the error it raises), then forwards to the host's function.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char lastMessage[1024];
unsigned long messageCount;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* mexspyLastMessage() { return lastMessage; }
__attribute__((visibility("default"))) unsigned long mexspyMessageCount() { return messageCount; }

__attribute__((visibility("default"))) void mexErrMsgTxt(const char* text) {
    using Forward = void (*)(const char*);
    static Forward host = reinterpret_cast<Forward>(dlsym(RTLD_NEXT, "mexErrMsgTxt"));
    std::snprintf(lastMessage, sizeof lastMessage, "%s", text ? text : "");
    ++messageCount;
    if (!host) {
        std::fprintf(stderr, "mexspy: the host's mexErrMsgTxt was not found\n");
        std::abort();
    }
    host(text);
}

}  // extern "C"
