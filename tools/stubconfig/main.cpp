// stubconfig: writes a launch configuration (and optionally version information, an icon, a splash
// bitmap and a manifest) into a copy of a launcher stub, and prints the configuration an executable
// carries. The output is written to a temporary file beside the target, read back and checked, and
// renamed at the end, so a failed run leaves no output behind and a successful one has written exactly
// what was asked for. Arguments, file names and all text are UTF-8 inside (on Windows the arguments
// arrive as UTF-16 and are converted once).
#include <cstdio>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "console.h"
#include "core/text.h"
#include "file_io.h"
#include "launcher_ini.h"
#include "launcher_resources.h"
#include "manifest.h"
#include "pe_image.h"

namespace fs = std::filesystem;
using stubconfig::Bytes;
using stubconfig::Stream;
using stubconfig::WriteText;
using Arguments = std::vector<std::string>;

namespace {

constexpr char kUsage[] =
    "usage: stubconfig write --stub STUB.exe --config APP.ini --out APP.exe [--icon APP.ico] [--splash APP.bmp]\n"
    "                        [--manifest APP.manifest] [--default-version 1.2.3]\n"
    "       stubconfig dump APP.exe\n"
    "       stubconfig check APP.exe...\n";

// A message as a terminal may receive it: control characters (C0 but tab and line feed, DEL, C1 as
// UTF-8), which a file name on the command line may carry, become '?', so that no message can command
// the terminal.
void Report(std::string line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte == 0xC2 && i + 1 < line.size() && static_cast<unsigned char>(line[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(line[i + 1]) <= 0x9F) {
      line.replace(i, 2, "?");
    } else if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) {
      line[i] = '?';
    }
  }
  WriteText(Stream::kError, "stubconfig: " + line + "\n");
}

int Fail(const std::string& message) {
  Report(message);
  return 1;
}

// The most each kind of input may hold: far more than any real one, little enough to hold in memory.
constexpr std::uint64_t kMaxStubSize = 64u << 20;
constexpr std::uint64_t kMaxConfigSize = 1u << 20;
constexpr std::uint64_t kMaxIconSize = 16u << 20;
constexpr std::uint64_t kMaxBitmapSize = 64u << 20;
constexpr std::uint64_t kMaxManifestSize = 1u << 20;

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

// A name beside the target that no file had, created by this run: a name planted beforehand, a link
// to somewhere else included, is passed over, never written through.
bool CreateTemporaryFile(const fs::path& target, const Bytes& data, fs::path* temporary, std::string* error) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".stubconfig-%08x", static_cast<unsigned>(random()));
    fs::path candidate = target;
    candidate += suffix;
    switch (stubconfig::CreateNewFile(candidate.u8string(), data, error)) {
      case stubconfig::CreateResult::kCreated:
        *temporary = candidate;
        return true;
      case stubconfig::CreateResult::kFailed:
        return false;
      case stubconfig::CreateResult::kNameTaken:
        break;
    }
  }
  *error = target.u8string() + ": no free name for a temporary file beside it";
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
  if (!CreateTemporaryFile(target, data, &temporary, error)) return false;
  const auto discard = [&](const std::string& message) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    *error = message;
    return false;
  };
  Bytes written;
  std::string check_error;
  if (!stubconfig::ReadRegularFile(temporary.u8string(), data.size(), &written, &check_error))
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

// The input option whose file `out` would overwrite, by what the files are, not how they are named:
// a hard link or a symbolic link to an input is that input. nullptr when there is none.
const char* OverwrittenInput(const std::map<std::string, std::string>& options) {
  const std::optional<stubconfig::FileIdentity> out = stubconfig::IdentityOf(options.at("--out"));
  if (!out) return nullptr;
  for (const char* option : {"--stub", "--config", "--icon", "--splash", "--manifest"}) {
    const auto input = options.find(option);
    if (input != options.end() && stubconfig::IdentityOf(input->second) == out) return option;
  }
  return nullptr;
}

struct WriteOptions {
  std::map<std::string, std::string> values;  // option -> argument
};

bool ParseWriteOptions(const Arguments& args, WriteOptions* options, std::string* error) {
  static const char* const kKnown[] = {"--stub", "--config", "--out", "--icon", "--splash", "--manifest",
                                       "--default-version"};
  for (std::size_t i = 2; i < args.size(); i += 2) {
    const std::string& option = args[i];
    bool known = false;
    for (const char* name : kKnown) known = known || option == name;
    if (!known) {
      *error = "unknown option \"" + stubconfig::PrintableText(option) + "\"";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = option + " needs an argument";
      return false;
    }
    if (!options->values.emplace(option, args[i + 1]).second) {
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

// The manifest to embed, read from `path` and checked.
bool ReadManifest(const std::string& path, Bytes* manifest, std::string* error) {
  Bytes data;
  if (!stubconfig::ReadRegularFile(path, kMaxManifestSize, &data, error)) return false;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (const std::string problem = stubconfig::ManifestProblem(text); !problem.empty()) {
    *error = path + ": not an application manifest: " + problem;
    return false;
  }
  const std::string_view embedded = stubconfig::ManifestToEmbed(text);
  manifest->assign(embedded.begin(), embedded.end());
  return true;
}

// The file that an optional option names, read and given to parse; true, with out untouched, when the
// option is absent. A parse failure's reason is prefixed with the file's name.
template <typename Parsed>
bool ParseGivenFile(const WriteOptions& options, const char* option, std::uint64_t limit,
                    bool (*parse)(const Bytes&, Parsed*, std::string*), Parsed* out, std::string* error) {
  const auto given = options.values.find(option);
  if (given == options.values.end()) return true;
  Bytes data;
  if (!stubconfig::ReadRegularFile(given->second, limit, &data, error)) return false;
  if (parse(data, out, error)) return true;
  *error = given->second + ": " + *error;
  return false;
}

int RunWrite(const Arguments& args) {
  WriteOptions options;
  std::string error;
  if (!ParseWriteOptions(args, &options, &error)) return Fail(error + "\n" + kUsage);
  const std::string& stub_path = options.values["--stub"];
  const std::string& config_path = options.values["--config"];
  const std::string& out_path = options.values["--out"];
  if (const char* input = OverwrittenInput(options.values)) {
    return Fail(out_path + ": is the file given with " + input +
                "; the output would overwrite it, nothing was written");
  }

  Bytes config_text;
  if (!stubconfig::ReadRegularFile(config_path, kMaxConfigSize, &config_text, &error)) return Fail(error);
  stubconfig::LauncherIni ini;
  std::vector<std::string> warnings;
  const std::string_view text(reinterpret_cast<const char*>(config_text.data()), config_text.size());
  const bool parsed = stubconfig::ParseLauncherIni(text, config_path, &ini, &warnings, &error);
  for (const std::string& warning : warnings) Report(warning);
  if (!parsed) return Fail(error);
  // A build tool passes its project's version, which a [VersionInfo] section of the configuration overrides.
  if (options.values.count("--default-version") && !ini.version_info) {
    const std::string& version = options.values["--default-version"];
    if (const std::string problem = stubconfig::CheckVersionValue(stubconfig::kFileVersionKey, version);
        !problem.empty()) {
      return Fail("--default-version " + problem);
    }
    ini.version_info.emplace();
    (*ini.version_info)[stubconfig::kFileVersionKey] = version;
    (*ini.version_info)[stubconfig::kProductVersionKey] = version;
  }
  stubconfig::StampRequest request;
  stubconfig::AddConfiguration(ini, &request);

  std::vector<stubconfig::IconImage> icon;
  Bytes splash;
  if (!ParseGivenFile(options, "--icon", kMaxIconSize, stubconfig::ParseIconFile, &icon, &error) ||
      !ParseGivenFile(options, "--splash", kMaxBitmapSize, stubconfig::ParseBitmapFile, &splash, &error)) {
    return Fail(error);
  }
  if (options.values.count("--icon")) request.icon = &icon;
  if (options.values.count("--splash")) request.splash_dib = &splash;
  Bytes manifest;
  if (options.values.count("--manifest")) {
    if (!ReadManifest(options.values["--manifest"], &manifest, &error)) return Fail(error);
    request.manifest = &manifest;
  }

  Bytes stub;
  if (!stubconfig::ReadRegularFile(stub_path, kMaxStubSize, &stub, &error)) return Fail(error);
  Bytes result;
  stubconfig::StampExpectation expected;
  if (!stubconfig::StampLauncher(stub, request, &result, &expected, &error)) return Fail(stub_path + ": " + error);
  if (!WriteCheckedOutput(out_path, result, expected, &error)) return Fail(error);
  return 0;
}

int RunDump(const std::string& path) {
  Bytes exe;
  std::string error;
  if (!stubconfig::ReadRegularFile(path, kMaxStubSize, &exe, &error)) return Fail(error);
  std::string ini;
  std::vector<std::string> warnings;
  if (!stubconfig::DumpLauncher(exe, &ini, &warnings, &error)) return Fail(path + ": " + error);
  for (const std::string& warning : warnings)
    Report(path + ": warning: " + warning);
  return WriteText(Stream::kOutput, ini) ? 0 : Fail("cannot write to standard output");
}

// Each executable against the rules the Windows loader applies; silent when all keep them.
int RunCheck(const Arguments& args) {
  int status = 0;
  for (std::size_t i = 2; i < args.size(); ++i) {
    Bytes exe;
    std::string error;
    if (!stubconfig::ReadRegularFile(args[i], kMaxStubSize, &exe, &error)) {
      status = Fail(error);
    } else if (const std::string rule = stubconfig::LoaderRuleViolation(exe); !rule.empty()) {
      status = Fail(args[i] + ": Windows would not load it: " + rule);
    }
  }
  return status;
}

int Run(const Arguments& args) {
  const std::string command = args.size() > 1 ? args[1] : "";
  if (command == "write") return RunWrite(args);
  if (command == "dump" && args.size() == 3) return RunDump(args[2]);
  if (command == "check" && args.size() > 2) return RunCheck(args);
  if (command == "--help" || command == "-h") return WriteText(Stream::kOutput, kUsage) ? 0 : 1;
  WriteText(Stream::kError, kUsage);
  return 2;
}

int Main(const Arguments& args) {
  try {
    return Run(args);
  } catch (const std::exception& e) {
    return Fail(std::string("internal error: ") + e.what());
  }
}

}  // namespace

#ifdef _WIN32
// The arguments as the system has them, UTF-16, so that file names of any characters arrive whole.
int wmain(int argc, wchar_t** argv) {
  Arguments args;
  for (int i = 0; i < argc; ++i) {
    const std::u16string units(argv[i], argv[i] + std::wcslen(argv[i]));
    args.push_back(stub::Utf8FromUtf16(units));
  }
  return Main(args);
}
#else
int main(int argc, char** argv) { return Main(Arguments(argv, argv + argc)); }
#endif
