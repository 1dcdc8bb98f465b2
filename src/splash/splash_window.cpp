// Placeholder until the splash window is built: nothing is shown.
#include "splash/splash_window.h"

namespace stub {

void StartSplash() {}

}  // namespace stub
