// Choosing the jvm.dll to load: the configured JvmPath, a runtime registered by a Java vendor, or the
// environment's JAVA_HOME, in the order JvmSearchMode gives and against MinJavaVersion; and the search
// trace that STUB_TRACE asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/runtime_search.h"

namespace stub {

// The runtime the search chose: its library, and its Java home made absolute (empty when the library
// lies in no Java home), which JVM option assembly substitutes for JAVA_HOME.
struct ResolvedRuntime {
  std::string library;
  std::string java_home;
};

// The runtime to load. When nothing usable is found, reports "no suitable runtime" once and returns
// nullopt.
std::optional<ResolvedRuntime> ResolveJvmLibrary();

// nullopt when the path cannot be opened for reading as a file; else the machine of its PE header, 0
// when it has none.
std::optional<std::uint16_t> LibraryMachine(const std::string& path);

// The search trace: lines appended to the file STUB_TRACE names, or written to standard error for
// "-"; null when STUB_TRACE is unset or empty (or its file cannot be opened).
SearchTrace* ActiveTrace();

}  // namespace stub
