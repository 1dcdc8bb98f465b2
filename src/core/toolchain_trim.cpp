// mingw-w64 only: the C++ runtime's default terminate handler prints the demangled type of an
// uncaught exception, and its demangler alone is about 45 KiB of code. The launcher lets no exception
// escape, so a plain abort is all a terminate handler needs to do; defining the handler here keeps the
// runtime's own (and the demangler) out of the executables.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
