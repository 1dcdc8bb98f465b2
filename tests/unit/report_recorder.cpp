#include "report_recorder.h"

#include "core/reporting.h"

namespace stub {

std::vector<std::string>& RecordedReports() {
  static std::vector<std::string> reports;
  return reports;
}

void ClearReports() { RecordedReports().clear(); }

void ReportText(bool is_error, const std::string& text) {
  RecordedReports().push_back((is_error ? "error: " : "info: ") + text);
}

void ReportSystemError(unsigned long code) { RecordedReports().push_back("error: system " + std::to_string(code)); }

}  // namespace stub
