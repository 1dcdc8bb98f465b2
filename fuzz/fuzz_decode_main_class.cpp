// DecodeMainClass over arbitrary stored forms: the name stays within its limit, holds no zero byte,
// and enciphering it again gives back a prefix of the input (letter case aside).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/main_class_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string stored(reinterpret_cast<const char*>(data), size);
  const std::string name = stub::DecodeMainClass(stored);
  if (name.size() > stub::kMaxMainClassLength || name.find('\0') != std::string::npos) std::abort();
  const std::string again = stub::EncipherMainClass(name);
  if (again.size() > stored.size()) std::abort();
  for (std::size_t i = 0; i < again.size(); ++i) {
    if (again[i] != std::toupper(static_cast<unsigned char>(stored[i]))) std::abort();
  }
  return 0;
}
