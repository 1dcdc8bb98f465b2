// Look-ups in the settings table; the table itself is in the header, so that it is a constant.
#include "core/config_layout.h"

namespace stub {
namespace {

// The rows must stay one block of sixteen apart, in order, for FindSettingById's arithmetic and for
// the configuration tool, which writes exactly these blocks.
constexpr bool IdsAreEvenlySpaced() {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (kSettingLayouts[i].id != kFirstSettingId + static_cast<int>(i) * kSettingIdStep) return false;
  }
  return true;
}
static_assert(IdsAreEvenlySpaced(), "settings are IDs 1024, 1040, ... in steps of 16, in table order");

}  // namespace

const SettingLayout* FindSettingByName(std::string_view name) {
  for (const SettingLayout& layout : kSettingLayouts) {
    if (layout.name == name) return &layout;
  }
  return nullptr;
}

const SettingLayout* FindSettingById(int id) {
  if (id < kFirstSettingId || id > kLastSettingId || (id - kFirstSettingId) % kSettingIdStep != 0) {
    return nullptr;
  }
  return &kSettingLayouts[(id - kFirstSettingId) / kSettingIdStep];
}

}  // namespace stub
