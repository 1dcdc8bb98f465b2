// Entry point of the console build: the runtime library's own wide argument vector, as UTF-8. With
// mingw-w64 the process starts in startup_console_win.cpp beside this file, which calls wmain; other
// toolchains start it through their C runtime.
#include <windows.h>

#include <string>
#include <vector>

#include "app/launcher.h"
#include "core/system_win.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) args.push_back(stub::Utf8Of(argv[i]));
  return stub::RunLauncher(/*windowed=*/false, args);
}
