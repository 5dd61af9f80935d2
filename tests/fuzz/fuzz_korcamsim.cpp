// korcamsim under libFuzzer: every command with arguments of every class and
// shape, the camera faults it sets itself mixed with those set between calls.
#include "fuzz_faults.h"
#include "korwin32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::Vocabulary vocabulary{{"reset",
                                              "rig",
                                              "count",
                                              "fail",
                                              "calls",
                                              "state",
                                              "lastframe",
                                              "convert",
                                              "set",
                                              "format",
                                              "foreground",
                                              "pace",
                                              "help",
                                              "clear",
                                              "id",
                                              "color",
                                              "maxWidth",
                                              "maxHeight",
                                              "bits16",
                                              "littleEndian",
                                              "strobeDuration",
                                              "frameRates",
                                              "firmware",
                                              "serial",
                                              "interface",
                                              "pixelDepth",
                                              "width",
                                              "height",
                                              "xOffset",
                                              "xBinSub",
                                              "yFlags",
                                              "pixelFormat",
                                              "KorcamCameraOpen",
                                              "KorcamGetFormat",
                                              "KorcamSnapshot",
                                              "KorcamNumCameras",
                                              "KorcamGetLastError",
                                              "KorcamStreamVideoControl"},
                                             {}};
    fuzz::freshCameras();
    korwin32SetForegroundWindowAvailable(1);
    fuzz::Bytes in(data, size);
    // No array creation fails here: korcamsim, a tool of the tests, relies on
    // MATLAB's rule that a creation that fails in a MEX file ends the call.
    const fuzz::FaultScope scope{false, nullptr};
    for (int step = 0; step < 48 && !in.done(); ++step) {
        const std::uint8_t kind = in.byte();
        if (kind >= 232) {
            fuzz::fault(in, scope);
            continue;
        }
        fuzz::Arguments arguments;
        const int nlhs = static_cast<int>(in.pick(5));
        if (kind < 216) arguments.add(fuzz::charRow(vocabulary.words[in.pick(13)]));
        const std::size_t more = in.pick(7);
        for (std::size_t k = 0; k < more; ++k) arguments.add(fuzz::argument(in, vocabulary));
        fuzz::call(mexFunction, nlhs, arguments);
    }
    korcamsim::reset();
    return 0;
}
