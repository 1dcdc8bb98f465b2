// Placeholder until service mode is built: no switch is recognised.
#include "service/service_switch.h"

namespace stub {

bool DispatchServiceSwitch(const std::vector<std::string>& /*args*/) { return false; }

}  // namespace stub
