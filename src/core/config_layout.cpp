// Look-ups in the settings table; the table itself is in the header, so that it is a constant.
#include "core/config_layout.h"

namespace stub {
namespace {

// Each row is the first string of a block of sixteen of its own, in ascending order; IDs that no
// row names yet (taken by settings still to come) leave their blocks out.
constexpr bool IdsAscendInBlocks() {
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if ((kSettingLayouts[i].id - kFirstSettingId) % kSettingIdStep != 0) return false;
    if (i > 0 && kSettingLayouts[i].id <= kSettingLayouts[i - 1].id) return false;
  }
  return true;
}
static_assert(IdsAscendInBlocks(), "settings are IDs 1024 + 16n, each its own block, in ascending order");

}  // namespace

const SettingLayout* FindSettingByName(std::string_view name) {
  for (const SettingLayout& layout : kSettingLayouts) {
    if (layout.name == name) return &layout;
  }
  return nullptr;
}

const SettingLayout* FindSettingById(int id) {
  for (const SettingLayout& layout : kSettingLayouts) {
    if (layout.id == id) return &layout;
  }
  return nullptr;
}

}  // namespace stub
