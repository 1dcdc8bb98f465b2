// Formatting of configured message texts. The texts come from the executable's resources and may be
// edited by anyone who configures a launcher, so they are never handed to printf: only "%s" (the
// next argument) and "%%" (one percent sign) are conversions; anything else is copied as written.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace stub {

// Longest message text delivered (the formatting buffer of 8192 bytes less its terminator).
inline constexpr std::size_t kMaxMessageLength = 8191;

// Substitutes the arguments, in order, for the "%s" conversions of format; a "%s" beyond the last
// argument becomes empty. The result is cut to kMaxMessageLength characters.
std::string FormatMessageText(std::string_view format, std::initializer_list<std::string_view> args);

}  // namespace stub
