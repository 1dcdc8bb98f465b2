// The arguments are their UTF-16 one after another, each closed by a NUL: no lengths to forge and
// nothing to escape, since no argument can hold a NUL.
#include "core/hand_off.h"

#include "core/text.h"

namespace stub {

std::optional<std::u16string> EncodeHandOff(const HandOff& hand_off) {
  std::u16string block;
  for (std::size_t i = 0; i < kHandOffDeadlineUnits; ++i) {
    block += static_cast<char16_t>(hand_off.deadline >> (16 * i));
  }
  for (const std::string& arg : hand_off.args) {
    if (arg.find('\0') != std::string::npos) return std::nullopt;
    block += Utf16FromUtf8(arg);
    block += u'\0';
    if (block.size() > kHandOffDeadlineUnits + kMaxHandOffUnits) return std::nullopt;
  }
  return block;
}

std::optional<HandOff> DecodeHandOff(std::u16string_view block) {
  if (block.size() < kHandOffDeadlineUnits || block.size() > kHandOffDeadlineUnits + kMaxHandOffUnits) {
    return std::nullopt;
  }
  HandOff hand_off{0, {}};
  for (std::size_t i = 0; i < kHandOffDeadlineUnits; ++i) {
    hand_off.deadline |= static_cast<std::uint64_t>(block[i]) << (16 * i);
  }
  const std::u16string_view args = block.substr(kHandOffDeadlineUnits);
  if (!args.empty() && args.back() != u'\0') return std::nullopt;
  for (std::size_t start = 0; start < args.size();) {
    const std::size_t end = args.find(u'\0', start);
    hand_off.args.push_back(Utf8FromUtf16(args.substr(start, end - start)));
    start = end + 1;
  }
  return hand_off;
}

std::optional<std::vector<std::string>> AcceptHandOff(std::u16string_view block, std::uint64_t now) {
  std::optional<HandOff> hand_off = DecodeHandOff(block);
  // One that waited while the running instance was busy has been refused by its sender already.
  if (!hand_off || now > hand_off->deadline) return std::nullopt;
  return std::move(hand_off->args);
}

bool HandOffArguments(RunningInstance& instance, const std::vector<std::string>& args) {
  const std::uint64_t deadline = instance.Now() + kHandOffAnswerMilliseconds;
  const std::optional<std::u16string> block = EncodeHandOff(HandOff{deadline, args});
  if (!block) return false;
  for (std::uint64_t now = instance.Now(); now <= deadline; now = instance.Now()) {
    if (!instance.Find()) {
      instance.Pause();  // the running instance may still be opening its window
      continue;
    }
    // Windows lets a process take the foreground only when the foreground process, this start,
    // allows it; the running instance does so while this start waits for its answer.
    instance.AllowForeground();
    return instance.Send(*block, deadline + kHandOffReplyGraceMilliseconds - now);
  }
  return false;
}

}  // namespace stub
