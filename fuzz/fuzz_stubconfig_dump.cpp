// Feeds arbitrary bytes to the path `stubconfig dump` takes: PE headers, resource tree, string
// blocks, INI formatting. Any input must end in a configuration or an error message, never a crash.
// When the input parses, the tree is also written back and re-read, covering the serializer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher_ini.h"
#include "launcher_resources.h"
#include "pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const stubconfig::Bytes exe(data, data + size);
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  std::string error;
  if (stubconfig::ReadLauncherConfiguration(exe, &stored, &warnings, &error)) {
    stubconfig::FormatLauncherIni(stored, &warnings);
  }
  stubconfig::ResourceTree tree;
  if (stubconfig::LoadResourceTree(exe, &tree, &error)) {
    stubconfig::Bytes rewritten = exe;
    if (stubconfig::WriteResourceSection(&rewritten, tree, &error)) {
      stubconfig::ResourceTree again;
      if (!stubconfig::LoadResourceTree(rewritten, &again, &error) || !(again == tree)) std::abort();
    }
  }
  return 0;
}
