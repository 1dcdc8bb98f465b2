// The service's life under the Service Control Manager: status reports, the Java application on a
// worker thread, and the stop request with its watchdog. Reports go to the event log.
#pragma once

namespace stub {

// Switches reporting to the event log and hands the main thread to the Service Control Manager.
// Returns when the service has stopped, or at once when the process was not started by the manager;
// that failure is written to the event log under the service's name.
void StartServiceDispatcher();

}  // namespace stub
