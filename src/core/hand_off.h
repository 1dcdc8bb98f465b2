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

// The running instance's side: the arguments of a block that arrives at tick count now, or nullopt
// when it is broken or its sender has stopped waiting.
std::optional<std::vector<std::string>> AcceptHandOff(std::u16string_view block, std::uint64_t now);

// How long a second start waits for the running instance's window to appear and to answer, and how
// much longer it waits for an answer than the running instance accepts, so that an acceptance always
// reaches it.
inline constexpr std::uint64_t kHandOffAnswerMilliseconds = 5000;
inline constexpr std::uint64_t kHandOffReplyGraceMilliseconds = 500;

// What a second start needs of the system to reach the running instance.
class RunningInstance {
 public:
  virtual ~RunningInstance() = default;
  // The system's millisecond tick count, the clock both sides read the deadline against.
  virtual std::uint64_t Now() const = 0;
  // Waits one polling interval.
  virtual void Pause() const = 0;
  // Looks for the running instance's window; true once it exists.
  virtual bool Find() = 0;
  // Lets the process of the window found take the foreground.
  virtual void AllowForeground() = 0;
  // Sends the block to the window found and waits at most wait_ms for its answer; true when it took it.
  virtual bool Send(const std::u16string& block, std::uint64_t wait_ms) = 0;
};

// The second start's side: hands args to the running instance. True when it took them; false when
// they are more than a command line holds (nothing is looked for) or no window appeared and answered
// in time.
bool HandOffArguments(RunningInstance& instance, const std::vector<std::string>& args);

}  // namespace stub
