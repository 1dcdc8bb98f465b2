// mingw-w64 only: the console launcher's process entry, in place of the C runtime's start-up code.
// That code sets up what a general program may need (its own exit-handler table, thread-local
// storage, floating-point and run-time relocations, command-line wildcards) and costs the launcher
// several kilobytes; the launcher needs only its static constructors run and the wide argument
// vector that the C runtime library itself (msvcrt.dll, initialised when it is loaded) parses. The
// process ends with ExitProcess: no C runtime buffer is ever left unflushed, since the launcher
// writes through the system directly, and no static destructor needs to run.
#include <windows.h>

extern "C" {
struct StartupInfo {
  int new_mode;
};
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand_wildcards, StartupInfo* info);
void __main();  // runs the static constructors
}

int wmain(int argc, wchar_t** argv);

extern "C" void __stdcall StubConsoleStartup() {
  __main();
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** environment = nullptr;
  StartupInfo info{0};
  __wgetmainargs(&argc, &argv, &environment, 0, &info);
  ::ExitProcess(static_cast<UINT>(wmain(argc, argv)));
}
