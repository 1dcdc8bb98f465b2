// JVM option assembly. The class path reaches the JVM as exactly one option because it is wrapped in
// double quotes, which the option tokenizer removes again; that is also why a double quote inside the
// class path cannot be allowed.
#include "jvm/jvm_options.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "core/message_format.h"
#include "core/text.h"
#include "core/tokenizer.h"

namespace stub {
namespace {

constexpr char kEntrySeparators[] = ";\r\n";
constexpr char kClassPathOptionPrefix[] = " \"-Djava.class.path=";
constexpr char kClassPathOptionSuffix[] = "\"";
constexpr char kJavaHomeReference[] = "JAVA_HOME";
constexpr char kQuotedClassPathMessage[] =
    "The class path cannot contain a double quote, which would split the class-path option: %s";

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

std::string ExpandVariables(const std::string& text, const std::string& java_home,
                            const std::function<std::string(const std::string&)>& getenv) {
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) {
      result.append(text, pos, std::string::npos);
      break;
    }
    result.append(text, pos, open - pos);
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      result.append(text, open + 1, std::string::npos);  // the lone '%' is dropped
      break;
    }
    const std::string name(text.substr(open + 1, close - open - 1));
    if (name == kJavaHomeReference) {
      result.append(java_home);
    } else if (!name.empty()) {
      result.append(getenv(name));
    }
    pos = close + 1;
  }
  return result;
}

bool AssembleJvmOptions(const JvmOptionInputs& inputs, const ClassPathFileSystem& fs, AssemblyReporter& reporter,
                        std::string& options) {
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
  std::string assembled = ExpandVariables(inputs.jvm_options, inputs.java_home, inputs.getenv);
  if (!class_path.empty()) {
    if (class_path.back() == ';') class_path.pop_back();
    const std::string expanded = ExpandVariables(class_path, inputs.java_home, inputs.getenv);
    if (expanded.find('"') != std::string::npos) {
      reporter.Error(FormatMessageText(kQuotedClassPathMessage, {expanded}));
      return false;
    }
    assembled.append(kClassPathOptionPrefix).append(expanded).append(kClassPathOptionSuffix);
  }
  options = std::move(assembled);
  return true;
}

namespace {

// The path itself, or its short form, when the code page can carry that; "" when neither can be.
std::string CarriedPath(const std::string& path, const OptionCodePage& code_page) {
  if (code_page.CanCarry(path)) return path;
  const std::optional<std::string> short_path = code_page.ShortForm(path);
  return short_path && code_page.CanCarry(*short_path) ? *short_path : std::string();
}

// One ';'-separated piece of a value: a path, or a path followed by "=arguments".
bool CarryPiece(const std::string& piece, const OptionCodePage& code_page, std::string& carried) {
  std::string path = CarriedPath(piece, code_page);
  std::size_t rest = piece.size();
  if (path.empty() && !piece.empty()) {
    rest = piece.find('=');
    if (rest == std::string::npos || !code_page.CanCarry(piece.substr(rest))) return false;
    path = CarriedPath(piece.substr(0, rest), code_page);
    if (path.empty()) return false;
  }
  carried.append(path).append(piece, rest, std::string::npos);
  return true;
}

}  // namespace

std::optional<std::string> CarriableOption(const std::string& option, const OptionCodePage& code_page) {
  if (code_page.CanCarry(option)) return option;
  const std::size_t value_start = option.find_first_of("=:");
  if (value_start == std::string::npos) return std::nullopt;
  std::string carried = option.substr(0, value_start + 1);
  if (!code_page.CanCarry(carried)) return std::nullopt;
  std::size_t pos = value_start + 1;
  for (;;) {
    const std::size_t end = option.find(';', pos);
    if (!CarryPiece(option.substr(pos, end - pos), code_page, carried)) return std::nullopt;
    if (end == std::string::npos) return carried;
    carried += ';';
    pos = end + 1;
  }
}

}  // namespace stub
