// JVM option assembly. The configured options are split as they always were; the class path is added
// as one element of the list, so no quoting can split it.
#include "jvm/jvm_options.h"

#include <algorithm>
#include <memory>
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

// The archives below one directory, relative to it, in walk order, and the listing errors met on the
// way, which every later use of the listing reports again, as a new walk would have.
struct Listing {
  std::string identity;  // the directory's, as ClassPathFileSystem::Identity gives it
  std::vector<std::string> archives;
  std::vector<unsigned long> errors;
};

class ArchiveWalker {
 public:
  ArchiveWalker(const ClassPathFileSystem& fs, AssemblyReporter& reporter, const std::string& java_home)
      : fs_(fs), reporter_(reporter), java_home_(java_home.empty() ? std::string() : fs.Identity(java_home)) {}

  // Appends directory + "\" + archive + ";" for every archive below the directory.
  void AddArchives(std::string& buffer, std::string directory) {
    if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
    for (const std::string& archive : Visit(directory).archives) {
      buffer.append(directory).append("\\").append(archive).append(";");
    }
  }

 private:
  using Listings = std::vector<std::unique_ptr<Listing>>;

  // The directory's listing, walked at its first visit; a later visit reports its errors again.
  const Listing& Visit(const std::string& directory) {
    std::string identity = fs_.Identity(directory);
    Listings::iterator at = Place(identity);
    if (at != listings_.end() && (*at)->identity == identity) {
      for (unsigned long error : (*at)->errors) reporter_.SystemError(error);
      return **at;
    }
    auto listing = std::make_unique<Listing>();
    listing->identity = std::move(identity);
    Walk(directory, *listing);
    // The walks below may have inserted listings meanwhile, so the place is looked up again. Listings
    // are kept by pointer: the vector may grow under the references handed out.
    at = Place(listing->identity);
    return **listings_.insert(at, std::move(listing));
  }

  void Walk(const std::string& directory, Listing& listing) {
    unsigned long error = 0;
    const bool complete = fs_.List(
        directory,
        [&](const std::string& name, bool is_directory) {
          if (!is_directory) {
            if (EndsWithIgnoringAsciiCase(name, ".jar") || EndsWithIgnoringAsciiCase(name, ".zip")) {
              listing.archives.push_back(name);
            }
          } else if (name != "." && name != "..") {
            AddSubdirectory(listing, JoinPath(directory, name.c_str()), name);
          }
        },
        error);
    if (!complete) {
      reporter_.SystemError(error);
      listing.errors.push_back(error);
    }
  }

  void AddSubdirectory(Listing& listing, const std::string& path, const std::string& name) {
    if (!java_home_.empty() && fs_.Identity(path) == java_home_) return;
    const Listing& inner = Visit(path);
    for (const std::string& archive : inner.archives) listing.archives.push_back(JoinPath(name, archive.c_str()));
    for (unsigned long error : inner.errors) listing.errors.push_back(error);
  }

  // Where a listing of that identity stands, or would stand, in the sorted listings.
  Listings::iterator Place(const std::string& identity) {
    return std::lower_bound(
        listings_.begin(), listings_.end(), identity,
        [](const std::unique_ptr<Listing>& listing, const std::string& key) { return listing->identity < key; });
  }

  const ClassPathFileSystem& fs_;
  AssemblyReporter& reporter_;
  const std::string java_home_;
  Listings listings_;  // sorted by identity
};

}  // namespace

bool AssembleJvmOptions(const JvmOptionInputs& inputs, const ClassPathFileSystem& fs, AssemblyReporter& reporter,
                        std::vector<std::string>& options) {
  std::string class_path;
  ArchiveWalker walker(fs, reporter, inputs.java_home);
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
