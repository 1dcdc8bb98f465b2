// JVM option assembly. The class path reaches the JVM as exactly one option because it is wrapped in
// double quotes, which the option tokenizer removes again; that is also why a double quote inside the
// class path cannot be allowed.
#include "jvm/jvm_options.h"

#include <cctype>

#include "core/message_format.h"
#include "core/tokenizer.h"

namespace stub {
namespace {

constexpr char kEntrySeparators[] = ";\r\n";
constexpr char kClassPathOptionPrefix[] = " \"-Djava.class.path=";
constexpr char kClassPathOptionSuffix[] = "\"";
constexpr char kJavaHomeReference[] = "JAVA_HOME";
constexpr char kQuotedClassPathMessage[] =
    "The class path cannot contain a double quote, which would split the class-path option: %s";

bool EndsWithIgnoringCase(const std::string& name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = name[name.size() - suffix.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != suffix[i]) return false;
  }
  return true;
}

// 0 a plain entry (or one with a reference, which is not examined), 1 a directory, -1 inaccessible.
int ClassifyPathEntry(const ClassPathFileSystem& fs, AssemblyReporter& reporter, const std::string& entry,
                      const std::string& file_access_message) {
  if (entry.find('%') != std::string::npos) return 0;
  unsigned long error = 0;
  switch (fs.Classify(entry, error)) {
    case ClassPathFileSystem::EntryKind::kDirectory:
      return 1;
    case ClassPathFileSystem::EntryKind::kFile:
      return 0;
    case ClassPathFileSystem::EntryKind::kInaccessible:
      break;
  }
  reporter.SystemError(error);
  reporter.Error(FormatMessageText(file_access_message, {entry}));
  return -1;
}

}  // namespace

bool AddArchivesFromDirectory(const ClassPathFileSystem& fs, AssemblyReporter& reporter, std::string& buffer,
                              std::string directory) {
  if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
  unsigned long error = 0;
  const bool complete = fs.List(
      directory,
      [&](const std::string& name, bool is_directory) {
        if (is_directory && name != "." && name != "..") {
          AddArchivesFromDirectory(fs, reporter, buffer, directory + "\\" + name);
        } else if (!is_directory && (EndsWithIgnoringCase(name, ".jar") || EndsWithIgnoringCase(name, ".zip"))) {
          buffer.append(directory).append("\\").append(name).append(";");
        }
      },
      error);
  if (!complete) reporter.SystemError(error);
  return complete;
}

std::string ExpandVariables(std::string_view text, const std::string& java_home,
                            const std::function<std::string(const std::string&)>& getenv) {
  std::string result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string_view::npos) {
      result.append(text.substr(pos));
      break;
    }
    result.append(text.substr(pos, open - pos));
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) {
      result.append(text.substr(open + 1));  // the lone '%' is dropped
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
  std::string entries = inputs.class_path;
  char* cursor = nullptr;
  while (char* piece = NextToken(entries.data(), kEntrySeparators, &cursor)) {
    const std::string entry = piece;
    const int kind = ClassifyPathEntry(fs, reporter, entry, inputs.file_access_message);
    if (kind < 0) return false;
    class_path.append(entry).append(";");
    if (kind == 1) AddArchivesFromDirectory(fs, reporter, class_path, entry);
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

}  // namespace stub
