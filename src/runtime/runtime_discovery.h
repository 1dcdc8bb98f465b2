// Choosing the jvm.dll to load: the configured JvmPath, a runtime registered by a Java vendor, or the
// environment's JAVA_HOME, in the order JvmSearchMode gives and against MinJavaVersion; and the search
// trace that STUB_TRACE asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/runtime_search.h"

namespace stub {

// What the runtime search takes from the configuration. Like every stage's settings, the texts are
// the loaded configuration's own, which lives as long as the process.
struct RuntimeSettings {
  std::uint32_t min_java_version;         // MinJavaVersion's number
  const std::string& jvm_path;            // JvmPath as configured, references not yet expanded
  int search_mode;                        // JvmSearchMode
  const std::string& no_runtime_message;  // "Unable to locate suitable Java Runtime Environment ..."
  const std::string& download_url;        // JavaDownloadUrl: where to get a runtime; empty: none named
  const std::string& download_message;    // the windowed launcher's question, "%s" the address
};

// The runtime to load, its Java home made absolute (empty when the library lies in no Java home),
// which JVM option assembly substitutes for JAVA_HOME. When nothing usable is found, reports the
// no-runtime message once, with the download address when one is configured, and returns nullopt.
[[nodiscard]] std::optional<ResolvedRuntime> ResolveJvmLibrary(const RuntimeSettings& settings);

// nullopt when the path cannot be opened for reading as a file; else the machine of its PE header, 0
// when it has none.
std::optional<std::uint16_t> LibraryMachine(const std::string& path);

// The search trace: lines appended to the file STUB_TRACE names, or written to standard error for
// "-"; null when STUB_TRACE is unset or empty (or its file cannot be opened).
SearchTrace* ActiveTrace();

}  // namespace stub
