// Path reads that grow their buffer until the whole path fits.
#include "core/win32_paths.h"

#include <windows.h>

namespace stub {

std::string ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // the path was cut to the buffer: read it again, whole
  }
}

std::string CurrentDirectory() {
  std::string dir(MAX_PATH + 1, '\0');
  for (;;) {
    const DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(dir.size()), dir.data());
    if (length == 0) return std::string();
    if (length < dir.size()) {
      dir.resize(length);
      return dir;
    }
    dir.resize(length);  // the required size, terminator included
  }
}

}  // namespace stub
