#include <cstdlib>
#include <new>

// libstdc++'s default handler prints the demangled exception type, which pulls
// the whole demangler into the DLL. Inside the player there is no console to
// print to, so a plain abort says as much.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library's own versions throw logic_error and its kin, whose COW-string
// members bring both string ABIs into the DLL (about 50 KB). Here they can
// only mean a size beyond what memory holds, so they throw what the entries
// already catch: bad_alloc.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
void __throw_invalid_argument(const char*) { throw bad_alloc(); }
}  // namespace std
