// A DLL that loads fine but is no general-purpose plug-in: the player
// simulator must refuse it.
#include <windows.h>

extern "C" __declspec(dllexport) int SomethingElse() { return 1; }
