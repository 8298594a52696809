// A profile that differs from zero only in its pointer preferences, for the
// pointer-settings tests on the stand-ins and on the real system.
#pragma once

#include "settings/settings_record.h"

namespace qx27::test {

inline ProfileRecord Preferences(int dbclick, int scroll, int page, int speed, int enhance) {
  ProfileRecord profile{};
  profile.DBClick_Speed = dbclick;
  profile.Scroll_Speed = scroll;
  profile.scroll_page = page;
  profile.Mouse_Speed = speed;
  profile.mouse_enhance = enhance;
  return profile;
}

}  // namespace qx27::test
