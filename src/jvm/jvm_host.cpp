// Placeholder until JVM hosting is built: no virtual machine can be created yet.
#include "jvm/jvm_host.h"

#include "jvm/main_class_runner.h"
#include "runtime/runtime_discovery.h"

namespace stub {

bool CreateJvm(bool /*with_service_console*/) { return ResolveJvmLibrary() && false; }

void DestroyJvm() {}

bool RunMainClass(const std::vector<std::string>& /*args*/, bool /*as_stopper*/) { return false; }

bool RequestJvmExit() { return false; }

}  // namespace stub
