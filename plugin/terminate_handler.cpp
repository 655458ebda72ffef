#include <cstdlib>

// libstdc++'s default handler prints the demangled exception type, which pulls
// the whole demangler into the DLL. Inside the player there is no console to
// print to, so a plain abort says as much.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
