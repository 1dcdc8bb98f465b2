// JVM option assembly. The configured options are split as they always were; the class path is added
// as one element of the list, so no quoting can split it.
#include "jvm/jvm_options.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "core/message_format.h"
#include "core/text.h"
#include "core/tokenizer.h"
#include "core/variables.h"

namespace stub {
namespace {

constexpr char kEntrySeparators[] = ";\r\n";
constexpr char kClassPathOptionPrefix[] = "-Djava.class.path=";
constexpr char kQuotedClassPathMessage[] =
    "The class path cannot contain a double quote, which would split the class-path option: %s";
constexpr char kUncarriableOptionMessage[] =
    "The JVM option %s cannot be passed in this system's code page, and no short name of its path can stand in.";

// An entry with a reference is not examined: it counts as a file. An inaccessible one is reported.
ClassPathFileSystem::EntryKind ClassifyPathEntry(const ClassPathFileSystem& fs, AssemblyReporter& reporter, const std::string& entry,
                      const std::string& file_access_message) {
  if (entry.find('%') != std::string::npos) return ClassPathFileSystem::EntryKind::kFile;
  unsigned long error = 0;
  const ClassPathFileSystem::EntryKind kind = fs.Classify(entry, error);
  if (kind != ClassPathFileSystem::EntryKind::kInaccessible) return kind;
  reporter.SystemError(error);
  reporter.Error(FormatMessageText(file_access_message, {entry}));
  return kind;
}

// One directory's items in listing order ("." and ".." left out), kept for the launch.
struct Listing {
  std::vector<std::pair<std::string, bool>> items;  // name, is a directory
};

// Walks class-path directories depth first. Each directory is listed once per launch however often
// the class path reaches it, and one entry's walk enters each directory once: a directory reached
// again (a link or junction to a folder above it, or two links to one folder) is told by its
// identity, not its name, and adds nothing a second time, so that every walk ends and no archive is
// added twice through two routes. A directory that cannot be listed is reported once, with its path.
class ArchiveWalker {
 public:
  ArchiveWalker(const ClassPathFileSystem& fs, AssemblyReporter& reporter, const std::string& java_home,
                const std::string& file_access_message)
      : fs_(fs),
        reporter_(reporter),
        java_home_(java_home.empty() ? std::string() : fs.Identity(java_home)),
        file_access_message_(file_access_message) {}

  // Appends directory + "\" + archive + ";" for every archive below the directory.
  void AddArchives(std::string& buffer, std::string directory) {
    if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
    std::set<std::string> entered;
    Walk(buffer, directory, fs_.Identity(directory), directory, entered);
  }

 private:
  void Walk(std::string& buffer, const std::string& path, const std::string& identity, const std::string& prefix,
            std::set<std::string>& entered) {
    if (!entered.insert(identity).second) return;
    // The walks below add listings to the map; its elements stay where they are.
    for (const auto& [name, is_directory] : ListingOf(path, identity).items) {
      if (!is_directory) {
        if (EndsWithIgnoringAsciiCase(name, ".jar") || EndsWithIgnoringAsciiCase(name, ".zip")) {
          buffer.append(prefix).append("\\").append(name).append(";");
        }
        continue;
      }
      const std::string child = JoinPath(path, name.c_str());
      const std::string child_identity = fs_.Identity(child);
      if (!java_home_.empty() && child_identity == java_home_) continue;
      Walk(buffer, child, child_identity, JoinPath(prefix, name.c_str()), entered);
    }
  }

  const Listing& ListingOf(const std::string& path, const std::string& identity) {
    const auto known = listings_.find(identity);
    if (known != listings_.end()) return known->second;
    Listing listing;
    unsigned long error = 0;
    const bool complete = fs_.List(
        path,
        [&](const std::string& name, bool is_directory) {
          if (name != "." && name != "..") listing.items.emplace_back(name, is_directory);
        },
        error);
    if (!complete) {
      reporter_.SystemError(error);
      reporter_.Error(FormatMessageText(file_access_message_, {path}));
    }
    return listings_.emplace(identity, std::move(listing)).first->second;
  }

  const ClassPathFileSystem& fs_;
  AssemblyReporter& reporter_;
  const std::string java_home_;
  const std::string file_access_message_;
  std::map<std::string, Listing> listings_;  // by identity
};

}  // namespace

bool AssembleJvmOptions(const JvmOptionInputs& inputs, const ClassPathFileSystem& fs, AssemblyReporter& reporter,
                        std::vector<std::string>& options) {
  std::string class_path;
  ArchiveWalker walker(fs, reporter, inputs.java_home, inputs.file_access_message);
  std::string entries = inputs.class_path;
  char* cursor = nullptr;
  while (char* piece = NextToken(entries.data(), kEntrySeparators, &cursor)) {
    const std::string entry = piece;
    const ClassPathFileSystem::EntryKind kind = ClassifyPathEntry(fs, reporter, entry, inputs.file_access_message);
    if (kind == ClassPathFileSystem::EntryKind::kInaccessible) return false;
    class_path.append(entry).append(";");
    if (kind == ClassPathFileSystem::EntryKind::kDirectory) walker.AddArchives(class_path, entry);
  }

  // The configured options and the class path are expanded each on its own, so that a lone '%' in
  // the options cannot pair with one in the class path and swallow the text between them.
  const std::string configured = ExpandVariables(inputs.jvm_options, inputs.java_home, inputs.getenv);
  std::vector<std::string> assembled = TokenizeArguments(configured, /*reserve_slot=*/false);
  if (!class_path.empty()) {
    if (class_path.back() == ';') class_path.pop_back();
    const std::string expanded = ExpandVariables(class_path, inputs.java_home, inputs.getenv);
    // Refused as it always was, although the list no longer splits anything: a configuration that
    // once failed this way must not now start with another class path.
    if (expanded.find('"') != std::string::npos) {
      reporter.Error(FormatMessageText(kQuotedClassPathMessage, {expanded}));
      return false;
    }
    // Options that end in a space outside quotes have always given the JVM one empty option before
    // the class path, the space that once joined the two making a run of two.
    if (!configured.empty() && configured.back() == ' ' &&
        std::count(configured.begin(), configured.end(), '"') % 2 == 0) {
      assembled.emplace_back();
    }
    assembled.push_back(kClassPathOptionPrefix + expanded);
  }
  options = std::move(assembled);
  return true;
}

void PlaceApplicationIn(const std::string& directory, const std::function<std::string(const std::string&)>& full_path,
                        std::vector<std::string>& options) {
  const std::string_view prefix = kClassPathOptionPrefix;
  for (std::string& option : options) {
    if (option.compare(0, prefix.size(), prefix) != 0) continue;
    std::string absolute(prefix);
    for (std::size_t from = prefix.size(); from <= option.size();) {
      std::size_t end = option.find(';', from);
      if (end == std::string::npos) end = option.size();
      if (end > from) absolute.append(full_path(option.substr(from, end - from))).push_back(';');
      from = end + 1;
    }
    if (absolute.back() == ';') absolute.pop_back();
    option = std::move(absolute);
  }
  options.push_back("-Duser.dir=" + directory);
}

namespace {

bool CanCarry(const OptionCodePage& code_page, const std::string& utf8) { return code_page.Encode(utf8).has_value(); }

// The path itself, or its short form, when the code page can carry that; "" when neither can be.
std::string CarriedPath(const std::string& path, const OptionCodePage& code_page) {
  if (CanCarry(code_page, path)) return path;
  const std::optional<std::string> short_path = code_page.ShortForm(path);
  return short_path && CanCarry(code_page, *short_path) ? *short_path : std::string();
}

// One ';'-separated piece of a value: a path, or a path followed by "=arguments".
bool CarryPiece(const std::string& piece, const OptionCodePage& code_page, std::string& carried) {
  std::string path = CarriedPath(piece, code_page);
  std::size_t rest = piece.size();
  if (path.empty() && !piece.empty()) {
    rest = piece.find('=');
    if (rest == std::string::npos || !CanCarry(code_page, piece.substr(rest))) return false;
    path = CarriedPath(piece.substr(0, rest), code_page);
    if (path.empty()) return false;
  }
  carried.append(path).append(piece, rest, std::string::npos);
  return true;
}

}  // namespace

std::optional<std::string> CarriableOption(const std::string& option, const OptionCodePage& code_page) {
  if (std::optional<std::string> encoded = code_page.Encode(option)) return encoded;
  const std::size_t value_start = option.find_first_of("=:");
  if (value_start == std::string::npos) return std::nullopt;
  std::string carried = option.substr(0, value_start + 1);
  if (!CanCarry(code_page, carried)) return std::nullopt;
  std::size_t pos = value_start + 1;
  for (;;) {
    const std::size_t end = option.find(';', pos);
    if (!CarryPiece(option.substr(pos, end - pos), code_page, carried)) return std::nullopt;
    if (end == std::string::npos) return code_page.Encode(carried);
    carried += ';';
    pos = end + 1;
  }
}

bool EncodeJvmOptions(const std::vector<std::string>& options, const OptionCodePage& code_page,
                      AssemblyReporter& reporter, std::vector<std::string>& encoded) {
  for (const std::string& option : options) {
    std::optional<std::string> carried = CarriableOption(option, code_page);
    if (!carried) {
      reporter.Error(FormatMessageText(kUncarriableOptionMessage, {option}));
      return false;
    }
    encoded.push_back(std::move(*carried));
  }
  return true;
}

}  // namespace stub
