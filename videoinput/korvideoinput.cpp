// korvideoinput: the MEX file behind KorVideoInput. It embeds the host engine,
// loads the acquisition adaptor the way the toolbox does, and keeps the video
// input objects of the session between calls:
//
//   korvideoinput('command', ...)
//
// hwinfo, create, delete, get, set, start, stop, trigger, wait, getdata,
// peekdata, flushdata, getsnapshot,
// sourcenames, sourceget, sourceset, propinfo, memorylimit, diagnostics,
// objects; diskfaults is the tests' hook for a slow or failing disk. KorVideoInput.m is its only intended caller; the
// checks here are the whole of the contract all the same, since nothing stops a user from calling it directly.
//
// By role: the command table and mexFunction here; argument checks in
// arguments.cpp; the object, the library and the adaptor's reports in
// video.cpp; the commands on the object and its properties in
// object_commands.cpp; the disk log at start in disk_commands.cpp; the frame log in frame_log.cpp; frames to MATLAB
// arrays in frame_arrays.cpp and the commands that take them in
// frame_commands.cpp.
#include "arguments.h"
#include "mex_entry.h"
#include "commands.h"
#include "video.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace korvid {
namespace {

bool registered = false;

void unloadOnExit() {
    unloadAll();
    registered = false;
}

struct Command {
    const char* name;
    Handler handler;
};

constexpr Command kCommands[] = {
    {"hwinfo", hwinfo},
    {"create", create},
    {"delete", destroy},
    {"get", get},
    {"set", set},
    {"start", start},
    {"stop", stop},
    {"trigger", trigger},
    {"wait", wait},
    {"getdata", getdata},
    {"waitslice", waitslice},
    {"framesready", framesready},
    {"getsnapshot", getsnapshot},
    {"peekdata", peekdata},
    {"flushdata", flushdata},
    {"sourcenames", sourcenames},
    {"sourceget", sourceget},
    {"sourceset", sourceset},
    {"propinfo", propinfo},
    {"memorylimit", memorylimit},
    {"diagnostics", diagnostics},
    {"objects", objects},
    {"diskfaults", diskfaults},
};

void run(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs < 1 || !mxIsChar(prhs[0]))
        raise("KorVideoInput:badArgument", "korvideoinput serves KorVideoInput; use that class (help KorVideoInput).");
    const std::string name = readText(prhs[0], "KorVideoInput:badArgument", "The command");
    for (const Command& command : kCommands) {
        if (name == command.name) {
            command.handler(nlhs, plhs, nrhs, prhs);
            return;
        }
    }
    raise("KorVideoInput:badArgument", "korvideoinput has no command '" + name + "'; use KorVideoInput.");
}

}  // namespace
}  // namespace korvid

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    using namespace korvid;
    if (!registered) {
        mexAtExit(unloadOnExit);
        registered = true;
    }
    mexentry::runThenRaise(
        [](std::exception_ptr raised, mexentry::Failure& failure) {
            try {
                std::rethrow_exception(raised);
            } catch (const Raised& error) {
                failure.set(error.identifier.c_str(), error.message.c_str());
            } catch (const std::bad_alloc&) {
                failure.set("KorVideoInput:outOfMemory",
                            "There is not enough memory; take frames with getdata or delete "
                            "video inputs you no longer need.");
            } catch (const std::exception& error) {
                failure.set("KorVideoInput:internal", (std::string("korvideoinput failed: ") + error.what()).c_str());
            }
        },
        [&] { run(nlhs, plhs, nrhs, prhs); },
        // The command's own error, if it had one, says more than a warning's.
        [] { showWarnings(); });
}
