// Release of the cameras when the host unloads the module.
#pragma once

namespace kor {

// Registers (once per load) the hook that stops running previews and closes
// every camera the table still holds, so none is left open out of reach.
void registerShutdownOnUnload();
// The hook itself.
void closeAllCameras();

}  // namespace kor
