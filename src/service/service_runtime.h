// The service's life under the Service Control Manager: status reports, the Java application on a
// worker thread, and the stop request with its watchdog. Reports go to the event log.
#pragma once

#include <string>

#include "jvm/jvm_host.h"

namespace stub {

// What a service run takes from the configuration.
struct ServiceSettings {
  const std::string& name;             // ServiceName
  const std::string& start_arguments;  // ServiceStartArguments: main's arguments
  const std::string& stop_arguments;   // ServiceStopArguments: the stop call's arguments
  bool stop_with_system_exit;          // ServiceStopWithSystemExit
  int stop_seconds;                    // ServiceStopSeconds: the stop watchdog's time (0: 30 seconds)
  const std::string& started_message;
  const std::string& stopped_message;
  const std::string& start_failed_message;
  const std::string& stop_timeout_message;
  const std::string& failed_message;               // the application failed (ServiceEnd 2, 3, 5)
  const std::string& ended_after_timeout_message;  // the watchdog ended it (ServiceEnd 4)
  JvmSettings jvm;
};

// Switches reporting to the event log and hands the main thread to the Service Control Manager, the
// run using settings. The stopped state carries the run's ServiceEnd as its exit code. Returns when the service has stopped, or at once when the process was not
// started by the manager; that failure is written to the event log under the service's name.
void StartServiceDispatcher(const ServiceSettings& settings);

}  // namespace stub
