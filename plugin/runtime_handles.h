#pragma once

namespace plugin {

// At unload by FreeLibrary: closes the semaphores that the static runtime's
// locks made while the DLL was loaded.
void CloseRuntimeHandles();

}  // namespace plugin
