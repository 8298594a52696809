#include "platform/linux/session/xdg_shell.h"

#include <algorithm>

#include "common/text.h"

namespace qx27::session {

bool XdgShell::GetAppDataFolder(std::span<char16_t, 260> folder) {
  folder[0] = u'\0';
  if (config_home_.empty()) return false;
  const std::u16string text = FromUtf8(config_home_);
  // Too long for the buffer: no folder rather than a cut one.
  if (text.size() >= folder.size()) return false;
  std::copy(text.begin(), text.end(), folder.begin());
  folder[text.size()] = u'\0';
  return true;
}

}  // namespace qx27::session
