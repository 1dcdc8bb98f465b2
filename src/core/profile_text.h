// Reading one value of a Windows profile (INI) file's text by the rules of the system's profile
// functions, which the launcher's INI override has always followed: sections and keys are matched
// without regard to ASCII case, blanks around names and values are dropped, a value enclosed in a
// matching pair of double or single quotes loses them, lines starting with ';' are comments, and the
// first matching section and key win. The whole value is returned, however long.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace stub {

// The value of key in section; nullopt when the section or the key is absent. Lines may end in LF,
// CR LF or CR.
std::optional<std::string> ProfileValue(std::string_view text, std::string_view section, std::string_view key);

}  // namespace stub
