// Choosing the jvm.dll to load: the configured JvmPath, a runtime registered by a Java vendor, or the
// environment's JAVA_HOME, in the order JvmSearchMode gives and against MinJavaVersion; and the search
// trace that STUB_TRACE asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/runtime_search.h"

namespace stub {

// Leaves the path of the library to load in JvmPath and returns true. When nothing usable is found,
// reports "no suitable runtime" once and returns false; JvmPath is then unchanged.
bool ResolveJvmLibrary();

// The home of the runtime the search chose, made absolute; empty when the chosen library lies in no
// Java home. JVM option assembly substitutes it for JAVA_HOME.
const std::string& DiscoveredJavaHome();

// nullopt when the path cannot be opened for reading as a file; else the machine of its PE header, 0
// when it has none.
std::optional<std::uint16_t> LibraryMachine(const std::string& path);

// The path made absolute against the current directory; unchanged when that fails.
std::string FullPath(const std::string& path);

// The search trace: lines appended to the file STUB_TRACE names, or written to standard error for
// "-"; null when STUB_TRACE is unset or empty (or its file cannot be opened).
SearchTrace* ActiveTrace();

}  // namespace stub
