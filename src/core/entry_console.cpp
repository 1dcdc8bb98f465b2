// Entry point of the console build: the runtime library's own argument vector is used as it is.
#include <string>
#include <vector>

#include "core/launcher.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  return stub::RunLauncher(/*windowed=*/false, args);
}
