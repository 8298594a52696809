#include "host/tray_icon.h"

#include "common/text.h"
#include "host/companion.h"
#include "interfaces/companion_ui.h"
#include "ports/port_handle.h"
#include "settings/ini_file.h"

namespace qx27 {

void TrayIcon::Fill(ShellPort& shell, WindowHandle window) {
  data_ = TrayIconData{};
  data_.cbSize = tray::kRecordSize;
  data_.window = window;
  data_.id = tray::kIconId;
  data_.flags = tray::kFlags;
  data_.callback_message = tray::kCallbackMessage;
  data_.icon = shell.LoadAgentIcon(tray::kIconResource);
  // The tip is the companion UI's window title.
  CopyToField(data_.tip, companion::kWindowTitle);
}

void TrayIcon::Add(ShellPort& shell) {
  if (shown_ == 1) return;
  shell.AddNotifyIcon(data_);
  shown_ = 1;
}

void TrayIcon::AddAgain(ShellPort& shell) {
  if (shown_ == 1) shell.AddNotifyIcon(data_);
}

void TrayIcon::Remove(ShellPort& shell) {
  if (shown_ != 1) return;
  shell.DeleteNotifyIcon(data_);
  shown_ = 0;
}

bool SkinFilePath(ModulePort& modules, std::int32_t lan_id, std::array<char16_t, kPathUnits>& path) {
  std::array<char16_t, kPathUnits> folder{};
  if (!AgentFolder(modules, folder)) {
    path.fill(u'\0');
    return false;
  }
  const std::u16string_view skin = lan_id == 1 ? u"\\Lan\\skin_En.ini" : u"\\Lan\\skin_Cs.ini";
  return JoinToField(path, FieldText(folder), skin);
}

TrayMenuTexts ReadTrayMenuTexts(IniPort& ini, std::u16string_view skin_path) {
  const CIniFile skin(ini, skin_path);
  return {skin.ReadString(u"TRAY_STRING", u"1", u""), skin.ReadString(u"TRAY_STRING", u"2", u"")};
}

void ShowTrayMenu(const Ports& ports, WindowHandle window, const TrayMenuTexts& texts) {
  ShellPort& shell = ports.shell;
  const UniqueMenu menu(shell, shell.CreatePopupMenu());
  if (!menu) return;
  shell.AppendMenuString(menu.get(), tray::kMenuOpenCompanion, texts.open_companion);
  shell.AppendMenuString(menu.get(), tray::kMenuRemoveIcon, texts.remove_icon);
  const CursorPosition cursor = shell.GetCursorPos();
  shell.TrackPopupMenu(menu.get(), 0, cursor.x, cursor.y, window);
  // Lets the menu close properly when the user clicks elsewhere.
  ports.windows.Post(window, msg::kNull, 0, 0);
}

}  // namespace qx27
