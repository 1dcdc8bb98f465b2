// stubconfig: writes a launch configuration (and optionally an icon and a splash bitmap) into a copy
// of a launcher stub, and prints the configuration an executable carries. The output is written to a
// temporary file beside the target, read back and checked, and renamed at the end, so a failed run
// leaves no output behind and a successful one has written exactly what was asked for.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "launcher_ini.h"
#include "launcher_resources.h"

namespace fs = std::filesystem;
using stubconfig::Bytes;

namespace {

constexpr char kUsage[] =
    "usage: stubconfig write --stub STUB.exe --config APP.ini --out APP.exe [--icon APP.ico] [--splash APP.bmp]\n"
    "       stubconfig dump APP.exe\n";

int Fail(const std::string& message) {
  std::cerr << "stubconfig: " << message << "\n";
  return 1;
}

bool ReadFile(const std::string& path, Bytes* data, std::string* error) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  if (!in) {
    *error = path + ": cannot open for reading";
    return false;
  }
  // Sized from the file when it has a size, so that a large file is not held twice while it is read.
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(fs::u8path(path), ec);
  data->clear();
  if (!ec && size <= data->max_size()) data->reserve(static_cast<std::size_t>(size));
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

// What an existing path is, in a message; "" for a regular file or a path that does not exist.
std::string NotARegularFile(const fs::path& path) {
  std::error_code ec;
  switch (fs::symlink_status(path, ec).type()) {
    case fs::file_type::none:
    case fs::file_type::not_found:
    case fs::file_type::regular:
      return {};
    case fs::file_type::directory:
      return "a directory";
    case fs::file_type::symlink:
      return "a symbolic link";
    case fs::file_type::block:
      return "a block device";
    case fs::file_type::character:
      return "a character device";
    case fs::file_type::fifo:
      return "a named pipe (FIFO)";
    case fs::file_type::socket:
      return "a socket";
    default:
      return "not a regular file";
  }
}

// A name beside the target that nothing holds yet, so that neither a stale temporary file nor a pipe
// or device of that name is opened for writing.
bool FreeTemporaryName(const fs::path& target, fs::path* temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = target;
    candidate += ".stubconfig-tmp" + (attempt == 0 ? std::string() : std::to_string(attempt));
    std::error_code ec;
    if (fs::symlink_status(candidate, ec).type() == fs::file_type::not_found) {
      *temporary = candidate;
      return true;
    }
  }
  return false;
}

// Writes beside the target, reads the file back and checks it, then renames, so the target is either
// the old file or the complete, checked new one. A target that exists but is not a regular file is
// left alone: a rename would put a file in the place of a device, pipe or directory.
bool WriteCheckedOutput(const std::string& path, const Bytes& data, const stubconfig::StampExpectation& expected,
                        std::string* error) {
  const fs::path target = fs::u8path(path);
  if (const std::string kind = NotARegularFile(target); !kind.empty()) {
    *error = path + ": exists and is " + kind + ", not a regular file; nothing was written";
    return false;
  }
  fs::path temporary;
  if (!FreeTemporaryName(target, &temporary)) {
    *error = path + ": no free name for a temporary file beside it";
    return false;
  }
  const auto discard = [&](const std::string& message) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    *error = message;
    return false;
  };
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) return discard(path + ": cannot write");
  }
  Bytes written;
  std::string check_error;
  if (!ReadFile(temporary.u8string(), &written, &check_error))
    return discard(path + ": cannot read back what was written");
  if (written != data || !stubconfig::CheckStampedImage(written, expected, &check_error)) {
    return discard(path + ": the written file does not read back as intended" +
                   (check_error.empty() ? std::string() : ": " + check_error));
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec) return discard(path + ": cannot replace: " + ec.message());
  return true;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::equivalent(fs::u8path(a), fs::u8path(b), ec)) return true;
  const fs::path resolved_a = fs::weakly_canonical(fs::absolute(fs::u8path(a), ec), ec);
  const fs::path resolved_b = fs::weakly_canonical(fs::absolute(fs::u8path(b), ec), ec);
  return resolved_a == resolved_b;
}

struct WriteOptions {
  std::map<std::string, std::string> values;  // option -> argument
};

bool ParseWriteOptions(int argc, char** argv, WriteOptions* options, std::string* error) {
  static const char* const kKnown[] = {"--stub", "--config", "--out", "--icon", "--splash"};
  for (int i = 2; i < argc; i += 2) {
    const std::string option = argv[i];
    bool known = false;
    for (const char* name : kKnown) known = known || option == name;
    if (!known) {
      *error = "unknown option \"" + option + "\"";
      return false;
    }
    if (i + 1 >= argc) {
      *error = option + " needs an argument";
      return false;
    }
    if (!options->values.emplace(option, argv[i + 1]).second) {
      *error = option + " given twice";
      return false;
    }
  }
  for (const char* required : {"--stub", "--config", "--out"}) {
    if (!options->values.count(required)) {
      *error = std::string(required) + " is required";
      return false;
    }
  }
  return true;
}

int RunWrite(int argc, char** argv) {
  WriteOptions options;
  std::string error;
  if (!ParseWriteOptions(argc, argv, &options, &error)) return Fail(error + "\n" + kUsage);
  const std::string& stub_path = options.values["--stub"];
  const std::string& config_path = options.values["--config"];
  const std::string& out_path = options.values["--out"];
  if (SamePath(stub_path, out_path)) return Fail(out_path + ": the output would overwrite the stub");

  Bytes config_text;
  if (!ReadFile(config_path, &config_text, &error)) return Fail(error);
  std::vector<stubconfig::IniEntry> entries;
  const std::string_view text(reinterpret_cast<const char*>(config_text.data()), config_text.size());
  if (!stubconfig::ParseLauncherIni(text, config_path, &entries, &error)) return Fail(error);
  stubconfig::StampRequest request;
  for (const stubconfig::IniEntry& entry : entries) {
    request.texts[entry.layout->id] = stubconfig::StoredText(*entry.layout, entry.value);
  }

  std::vector<stubconfig::IconImage> icon;
  if (options.values.count("--icon")) {
    const std::string& path = options.values["--icon"];
    Bytes data;
    if (!ReadFile(path, &data, &error)) return Fail(error);
    if (!stubconfig::ParseIconFile(data, &icon, &error)) return Fail(path + ": " + error);
    request.icon = &icon;
  }
  Bytes splash;
  if (options.values.count("--splash")) {
    const std::string& path = options.values["--splash"];
    Bytes data;
    if (!ReadFile(path, &data, &error)) return Fail(error);
    if (!stubconfig::ParseBitmapFile(data, &splash, &error)) return Fail(path + ": " + error);
    request.splash_dib = &splash;
  }

  Bytes stub;
  if (!ReadFile(stub_path, &stub, &error)) return Fail(error);
  Bytes result;
  stubconfig::StampExpectation expected;
  if (!stubconfig::StampLauncher(stub, request, &result, &expected, &error)) return Fail(stub_path + ": " + error);
  if (!WriteCheckedOutput(out_path, result, expected, &error)) return Fail(error);
  return 0;
}

int RunDump(const std::string& path) {
  Bytes exe;
  std::string error;
  if (!ReadFile(path, &exe, &error)) return Fail(error);
  std::vector<std::string> stored;
  std::vector<std::string> warnings;
  if (!stubconfig::ReadLauncherConfiguration(exe, &stored, &warnings, &error)) return Fail(path + ": " + error);
  const std::string ini = stubconfig::FormatLauncherIni(stored, &warnings);
  for (const std::string& warning : warnings) std::cerr << "stubconfig: " << path << ": warning: " << warning << "\n";
  std::cout << ini;
  std::cout.flush();
  return std::cout ? 0 : Fail("cannot write to standard output");
}

int Run(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "write") return RunWrite(argc, argv);
  if (command == "dump" && argc == 3) return RunDump(argv[2]);
  if (command == "--help" || command == "-h") {
    std::cout << kUsage;
    return 0;
  }
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return Fail(std::string("internal error: ") + e.what());
  }
}
