// mingw-w64 only: the windowed launcher's process entry, in place of the C runtime's start-up code
// (see startup_console_win.cpp for why): static constructors, then wWinMain with the process's own
// command line, then ExitProcess.
#include <windows.h>

extern "C" void __main();  // runs the static constructors

extern "C" void __stdcall StubWindowedStartup() {
  __main();
  ::ExitProcess(static_cast<UINT>(wWinMain(::GetModuleHandleW(nullptr), nullptr, ::GetCommandLineW(), SW_SHOWDEFAULT)));
}
