// Choosing the jvm.dll to load: the configured JvmPath, or a runtime registered by a Java vendor.
#pragma once

namespace stub {

// Leaves the path of the library to load in JvmPath and returns true; reports that no suitable
// runtime exists and returns false otherwise.
bool ResolveJvmLibrary();

}  // namespace stub
