// Choosing the jvm.dll to load: the configured JvmPath, or a runtime registered by a Java vendor,
// in the order JvmSearchMode gives and against MinJavaVersion.
#pragma once

#include <string>

namespace stub {

// Leaves the path of the library to load in JvmPath and returns true. When nothing usable is found,
// reports "no suitable runtime" once and returns false; JvmPath is then unchanged.
bool ResolveJvmLibrary();

// The Java home read from the registry for the last version that passed the version test; empty when
// the registry was not searched. JVM option assembly substitutes it for JAVA_HOME.
const std::string& DiscoveredJavaHome();

// True when the path can be opened for reading as a file (it is closed again at once).
bool FileExists(const std::string& path);

}  // namespace stub
