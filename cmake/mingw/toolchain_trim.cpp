// mingw-w64 only: what the C++ runtime would otherwise bring into the launchers for nothing. The
// launcher code is built without exceptions, so nothing is ever thrown or caught; the runtime's own
// throwing helpers would still pull in the exception classes, the unwinder, thread-local storage and
// the threads library (about 60 KiB together) behind operator new and the containers' length checks.
// Here each of those situations ends the process at once instead: an allocation that fails, or a
// container asked for more than it can hold (which the launcher's own limits never ask for). The C
// runtime's __main and __acrt_iob_func are replaced below for a like reason: the runtime library's
// copies come with unwind tables, which would be the launchers' only ones.
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void EndProcess() { std::abort(); }

}  // namespace

// Out of memory ends the launcher: there is nothing sensible to start a Java application with.
void* operator new(std::size_t size) {
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  EndProcess();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace std {
void __throw_bad_exception() { EndProcess(); }
void __throw_bad_alloc() { EndProcess(); }
void __throw_bad_array_new_length() { EndProcess(); }
void __throw_bad_cast() { EndProcess(); }
void __throw_bad_typeid() { EndProcess(); }
void __throw_logic_error(const char*) { EndProcess(); }
void __throw_domain_error(const char*) { EndProcess(); }
void __throw_invalid_argument(const char*) { EndProcess(); }
void __throw_length_error(const char*) { EndProcess(); }
void __throw_out_of_range(const char*) { EndProcess(); }
void __throw_out_of_range_fmt(const char*, ...) { EndProcess(); }
void __throw_runtime_error(const char*) { EndProcess(); }
void __throw_range_error(const char*) { EndProcess(); }
void __throw_overflow_error(const char*) { EndProcess(); }
void __throw_underflow_error(const char*) { EndProcess(); }
void __throw_bad_function_call() { EndProcess(); }
}  // namespace std

// Static objects are never destroyed: the launchers end with ExitProcess (src/app/startup_*_win.cpp),
// possibly while the JVM's threads still read the configuration, so the destructors the compiler
// registers here would never be run and must not be. Registering nothing also keeps the C runtime's
// exit table (and its run-time relocation) out of the launchers.
extern "C" int atexit(void (*)(void)) { return 0; }

// The static constructors, run by the launchers' own entry (startup_*.cpp) in place of the runtime's
// __main, whose unwind tables alone would cost each launcher a section. The linker lists them after a
// -1 marker and before a null entry; they run last to first, as the runtime runs them.
extern "C" void (*__CTOR_LIST__[])();
extern "C" void __main() {
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (std::size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

namespace __gnu_cxx {
// The runtime's default handler prints the demangled type of an uncaught exception; its demangler
// alone is about 45 KiB.
void __verbose_terminate_handler() { EndProcess(); }
}  // namespace __gnu_cxx

// stdout and stderr (the service console reopens them) reach msvcrt's stream table through
// __acrt_iob_func, whose copy in the runtime library carries the only exception table left in the
// launchers: a section of 512 bytes for 12 bytes of table. This one is built like the launchers. The
// standard header is not included here, since it declares the function imported; the stream is
// msvcrt's FILE, laid out as that header lays it out.
struct _iobuf {
  char* _ptr;
  int _cnt;
  char* _base;
  int _flag;
  int _file;
  int _charbuf;
  int _bufsiz;
  char* _tmpfname;
};
extern "C" __declspec(dllimport) _iobuf* __cdecl __iob_func();
extern "C" _iobuf* __cdecl __acrt_iob_func(unsigned index) { return __iob_func() + index; }
