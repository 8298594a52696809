// The agent's one notification-area icon and its two-item menu, whose texts
// come from the language skin file chosen by lan_id.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ports/ports.h"
#include "settings/settings_record.h"

namespace qx27 {

namespace tray {
inline constexpr std::uint32_t kCallbackMessage = 0x0465;
inline constexpr std::uint32_t kIconId = 128;
inline constexpr int kIconResource = 137;
inline constexpr std::uint32_t kRecordSize = 952;
inline constexpr std::uint32_t kFlags = 0x7;  // NIF_MESSAGE | NIF_ICON | NIF_TIP
inline constexpr std::uint16_t kMenuOpenCompanion = 6001;
inline constexpr std::uint16_t kMenuRemoveIcon = 6002;
inline constexpr LParam kLeftDoubleClick = 0x0203;
inline constexpr LParam kRightButtonDown = 0x0204;
// What the shell broadcasts to every top-level window when it has started
// again with an empty notification area.
inline constexpr char16_t kTaskbarCreated[] = u"TaskbarCreated";
}  // namespace tray

// The icon's record and whether the shell has been asked to show it. The
// flag follows the requests, not the shell's answers, so repeated requests
// make no repeated shell calls.
class TrayIcon {
 public:
  // Fills the record once at start-up; it never changes afterwards.
  void Fill(ShellPort& shell, WindowHandle window);
  void Add(ShellPort& shell);
  void Remove(ShellPort& shell);
  // A restarted shell has forgotten every icon: asks for the icon again when
  // it is meant to be shown, and leaves a hidden one hidden.
  void AddAgain(ShellPort& shell);

  bool shown() const { return shown_ == 1; }
  const TrayIconData& data() const { return data_; }

 private:
  TrayIconData data_{};
  std::int32_t shown_ = 0;
};

struct TrayMenuTexts {
  std::u16string open_companion;  // item 6001
  std::u16string remove_icon;     // item 6002
};

// "\Lan\skin_En.ini" for lan_id 1, "\Lan\skin_Cs.ini" for any other value,
// in the agent folder. Gives false when the folder is unknown or the path
// would not fit.
bool SkinFilePath(ModulePort& modules, std::int32_t lan_id, std::array<char16_t, kPathUnits>& path);

// Section "TRAY_STRING", keys "1" and "2", empty when missing.
TrayMenuTexts ReadTrayMenuTexts(IniPort& ini, std::u16string_view skin_path);

// Shows the two-item menu at the cursor, owned by `window`, and returns when
// it has closed; a chosen item reaches the window as WM_COMMAND.
void ShowTrayMenu(const Ports& ports, WindowHandle window, const TrayMenuTexts& texts);

}  // namespace qx27
