// Assembly of the final JVM option list: the configured options, then one class-path option whose
// directories are expanded into the Java archives below them, every %NAME% reference replaced; then
// each option in the encoding the JVM decodes it with. The list stays a list until the JVM gets it as
// an array. The file system, the code page and the reports are reached through small interfaces so
// that the assembly is tested natively against an in-memory tree.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stub {

// What class-path assembly needs of the file system.
class ClassPathFileSystem {
 public:
  enum class EntryKind { kFile, kDirectory, kInaccessible };
  virtual ~ClassPathFileSystem() = default;
  // The kind of an existing entry; kInaccessible leaves the system's error code in error.
  virtual EntryKind Classify(const std::string& path, unsigned long& error) const = 0;
  // Calls visit(name, is_directory) for each item of the directory in listing order, "." and ".."
  // included. True when the listing completed (an empty or missing directory completes at once);
  // false leaves the system's error code of the failure in error, after the items seen so far.
  virtual bool List(const std::string& directory, const std::function<void(const std::string&, bool)>& visit,
                    unsigned long& error) const = 0;
  // A name for the directory that every path to it shares (".\lib" and "lib", a link or junction to
  // it), so that a tree is listed once however often the class path reaches it and a walk never
  // enters a folder twice. By default the path as written.
  virtual std::string Identity(const std::string& path) const { return path; }
};

// Where assembly failures go: the system's text for an error code, and finished message texts.
class AssemblyReporter {
 public:
  virtual ~AssemblyReporter() = default;
  virtual void SystemError(unsigned long code) = 0;
  virtual void Error(const std::string& text) = 0;
};

struct JvmOptionInputs {
  std::string jvm_options;          // the configured JvmOptions
  std::string class_path;           // the configured ClassPath (entries separated by ';', CR or LF)
  std::string java_home;            // the value for %JAVA_HOME%: DiscoveredJavaHome, never walked into
  std::string file_access_message;  // "Error accessing file/directory: %s"
  std::function<std::string(const std::string&)> getenv;  // "" for an undefined variable
};

// The final options: the tokens of the configured options with their references expanded (split as
// TokenizeArguments splits them), then, when the class path has entries, "-Djava.class.path=" and
// the expanded class path as one more option. False, with options untouched, when a class-path entry
// cannot be accessed (the system's text and the file-access message have been reported) or the class
// path holds a double quote (reported). A directory entry adds an entry for every .jar and .zip
// file (any letter case) below it, depth first, in listing order, each as the directory as written +
// "\" + relative path. Each directory is listed once: a tree that several entries reach (".", then
// "lib") gives each of them its archives, with that entry's prefix, from the one listing. One entry's
// walk enters a directory once: reached again (by its identity) through a link, it adds nothing, so
// every walk ends. A directory that cannot be listed is reported once, with its path. The Java
// home in use is not walked as part of another entry (a runtime shipped below the application folder
// is no part of its class path), only when the class path names it itself.
[[nodiscard]] bool AssembleJvmOptions(const JvmOptionInputs& inputs, const ClassPathFileSystem& fs,
                                      AssemblyReporter& reporter, std::vector<std::string>& options);

// For an application that runs in another directory than the one the options were assembled in (the
// launcher's caller's): every class-path entry made absolute by full_path, since the JVM resolves
// relative entries against user.dir, and "-Duser.dir=" + directory appended, since the JVM reads
// user.dir once, at creation, for every relative path it resolves later.
void PlaceApplicationIn(const std::string& directory, const std::function<std::string(const std::string&)>& full_path,
                        std::vector<std::string>& options);

// The code page the JVM decodes its options with (the process's ANSI code page), as option assembly
// needs it.
class OptionCodePage {
 public:
  virtual ~OptionCodePage() = default;
  // The text in the code page's encoding; nullopt when the code page cannot carry it.
  virtual std::optional<std::string> Encode(const std::string& utf8) const = 0;
  // The 8.3 form of an existing path; nullopt when there is none.
  virtual std::optional<std::string> ShortForm(const std::string& path) const = 0;
};

// The option in the code page's encoding. Where the code page cannot carry it, the option's value
// (after its first '=' or ':') is taken as paths separated by ';', and each path the code page cannot
// carry is replaced by its short form (for "path=arguments", as in -javaagent, the path before the
// '='). nullopt when a part still cannot be carried: such an option cannot reach the JVM as written.
std::optional<std::string> CarriableOption(const std::string& option, const OptionCodePage& code_page);

// Appends every option in the code page's encoding, as CarriableOption gives it, to encoded. False
// when an option cannot be carried; that option has been reported by name, and encoded ends with the
// options before it.
[[nodiscard]] bool EncodeJvmOptions(const std::vector<std::string>& options, const OptionCodePage& code_page,
                                    AssemblyReporter& reporter, std::vector<std::string>& encoded);

}  // namespace stub
