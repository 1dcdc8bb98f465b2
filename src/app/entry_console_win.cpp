// Entry point of the console build: the runtime library's own wide argument vector, as UTF-8.
#include <windows.h>

#include <string>
#include <vector>

#include "core/launcher.h"
#include "core/system_win.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) args.push_back(stub::Utf8Of(argv[i]));
  return stub::RunLauncher(/*windowed=*/false, args);
}
