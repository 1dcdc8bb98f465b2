// What a second start of the windowed launcher hands to the running instance: the moment it stops
// waiting for an answer, then its arguments, each followed by a NUL, all as one block of UTF-16. A
// command line cannot carry a NUL, so every argument list a start can receive has a block; the
// arguments are bounded by what a command line can hold, so that the running instance never takes
// more than a start could have been given; and a block that arrives after its sender has given up is
// refused, so that a start never both reports the refusal and has its arguments taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stub {

// The longest command line, in UTF-16 code units, and so the longest argument part either side accepts.
inline constexpr std::size_t kMaxHandOffUnits = 32767;
// The deadline's units before the arguments.
inline constexpr std::size_t kHandOffDeadlineUnits = 4;

struct HandOff {
  std::uint64_t deadline;  // the system's millisecond tick count after which the sender no longer waits
  std::vector<std::string> args;  // UTF-8
};

// The block of a hand-off; nullopt when an argument holds a NUL or the arguments are too long.
std::optional<std::u16string> EncodeHandOff(const HandOff& hand_off);

// The hand-off of a block, or nullopt when it is too short or too long or its arguments do not end
// with a NUL. No arguments at all is the empty list.
std::optional<HandOff> DecodeHandOff(std::u16string_view block);

}  // namespace stub
