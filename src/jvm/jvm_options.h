// Assembly of the final JVM option string: the configured options, then one quoted class-path option
// whose directories are expanded into the Java archives below them, then every %NAME% reference
// replaced. The file system and the reports are reached through small interfaces so that the
// assembly is tested natively against an in-memory tree.
#pragma once

#include <functional>
#include <string>
#include <string_view>

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
  std::string java_home;            // the value for %JAVA_HOME%: DiscoveredJavaHome
  std::string file_access_message;  // "Error accessing file/directory: %s"
  std::function<std::string(const std::string&)> getenv;  // "" for an undefined variable
};

// Appends an entry for every .jar and .zip file (any letter case) below directory, depth first, in
// listing order, each as directory + "\" + relative path + ";". A trailing '\' or '/' of directory is
// dropped first. False when a listing failed for another reason than being empty (reported).
bool AddArchivesFromDirectory(const ClassPathFileSystem& fs, AssemblyReporter& reporter, std::string& buffer,
                              std::string directory);

// Replaces %NAME% references: JAVA_HOME by java_home, any other name by its environment value. An
// undefined or empty name contributes nothing; a lone '%' without a closing one is dropped.
std::string ExpandVariables(std::string_view text, const std::string& java_home,
                            const std::function<std::string(const std::string&)>& getenv);

// The final option string, or false when a class-path entry cannot be accessed (the system's text
// and the file-access message have been reported) or the class path would carry a double quote into
// the quoted class-path option (reported).
bool AssembleJvmOptions(const JvmOptionInputs& inputs, const ClassPathFileSystem& fs, AssemblyReporter& reporter,
                        std::string& options);

}  // namespace stub
