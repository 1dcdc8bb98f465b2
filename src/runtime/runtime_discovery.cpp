// Placeholder until runtime discovery is built: no runtime is ever found.
#include "runtime/runtime_discovery.h"

namespace stub {

bool ResolveJvmLibrary() { return false; }

}  // namespace stub
