// stubconfig: writes a launch configuration (and optionally an icon and a splash bitmap) into a copy
// of a launcher stub, and prints the configuration an executable carries. The output is written to a
// temporary file beside the target and renamed at the end, so a failed run leaves no output behind.
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
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

// Writes beside the target and renames, so the target is either the old file or the complete new one.
bool WriteFileAtomically(const std::string& path, const Bytes& data, std::string* error) {
  const fs::path target = fs::u8path(path);
  fs::path temporary = target;
  temporary += ".stubconfig-tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      *error = path + ": cannot write";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    *error = path + ": cannot replace: " + ec.message();
    return false;
  }
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
  if (!stubconfig::StampLauncher(stub, request, &result, &error)) return Fail(stub_path + ": " + error);
  if (!WriteFileAtomically(out_path, result, &error)) return Fail(error);
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
