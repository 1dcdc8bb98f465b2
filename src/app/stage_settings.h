// The configuration cut into what each stage of a launch takes: the entry reads the configuration once
// and hands every stage its own small struct, so that which stage uses which setting is read here and
// in the stage's header, not found by searching for readers of a global.
#pragma once

#include "core/launch_config.h"
#include "core/log_output.h"
#include "jvm/jvm_host.h"
#include "service/service_runtime.h"
#include "service/service_switch.h"
#include "splash/splash_window.h"

namespace stub {

// caller_directory: where the application runs instead of WorkingDirectory; empty for the usual rules.
JvmSettings JvmSettingsOf(const LaunchConfiguration& config, const std::string& caller_directory);
ServiceSwitches ServiceSwitchesOf(const LaunchConfiguration& config);
ServiceSettings ServiceSettingsOf(const LaunchConfiguration& config, const JvmSettings& jvm);
SplashSettings SplashSettingsOf(const LaunchConfiguration& config);
LogSettings LogSettingsOf(const LaunchConfiguration& config);

}  // namespace stub
