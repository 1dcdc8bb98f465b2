// The unit tests' own delivery of reports: the portable modules report through ReportText and
// ReportSystemError, which the launchers define on the Win32 edge; here every report is recorded.
#pragma once

#include <string>
#include <vector>

namespace stub {

// Every report since the last call of ClearReports, as "error: <text>" or "info: <text>"; a system
// error as "error: system <code>".
std::vector<std::string>& RecordedReports();
void ClearReports();

}  // namespace stub
