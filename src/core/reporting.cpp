// The formatting half of reporting, portable: a configured message gets its argument here and goes on
// to ReportText, which the launchers define on the Win32 edge (and the unit tests record).
#include "core/reporting.h"

#include "core/message_format.h"

namespace stub {

void ReportInfo(const std::string& format, const std::string& arg) {
  ReportText(false, FormatMessageText(format, {arg}));
}

void ReportError(const std::string& format) { ReportText(true, FormatMessageText(format, {})); }

void ReportError(const std::string& format, const std::string& arg) {
  ReportText(true, FormatMessageText(format, {arg}));
}

}  // namespace stub
