#include "app/agent_window.h"

#include <algorithm>

#include "common/text.h"
#include "host/companion.h"
#include "interfaces/companion_ui.h"
#include "interfaces/mouse_identity.h"
#include "protocol/command_report.h"
#include "protocol/upload.h"
#include "settings/settings_file.h"
#include "settings/validation.h"

namespace qx27 {
namespace {

constexpr char16_t kSettingsFileName[] = u"\\VORN\\ELDAN QX27\\GamingMouse";
constexpr char16_t kMacroFileName[] = u"\\VORN\\ELDAN QX27\\BulletSetting";
constexpr WParam kPresenceCheckTimer = 100002;

// Session events, and what each means for the mouse on systems of major
// version 6 or later; earlier systems only know connect and disconnect.
constexpr WParam kConsoleConnect = 1;
constexpr WParam kConsoleDisconnect = 2;
constexpr WParam kSessionLock = 7;
constexpr WParam kSessionUnlock = 8;

}  // namespace

const CWndBase::MessageRoute CMyWnd::kMessageMap[kFixedRoutes] = {
    OnMessage(msg::kCreate, &CMyWnd::OnCreate),
    OnMessage(msg::kDestroy, &CMyWnd::OnDestroy),
    OnMessage(msg::kTimer, &CMyWnd::OnTimer),
    OnMessage(msg::kDeviceChange, &CMyWnd::OnDeviceChange),
    OnMessage(msg::kSessionChange, &CMyWnd::OnSessionChange),
    OnMessage(companion::kApplyRequest, &CMyWnd::OnApplyRequest),
    OnMessage(companion::kDpiStageEvent, &CMyWnd::OnDpiStageEvent),
    OnMessage(companion::kDeviceCommandRequest, &CMyWnd::OnDeviceCommandRequest),
    OnMessage(tray::kCallbackMessage, &CMyWnd::OnTrayCallback),
    OnCommand(tray::kMenuOpenCompanion, &CMyWnd::OnLaunchCompanion),
    OnCommand(tray::kMenuRemoveIcon, &CMyWnd::OnRemoveTrayIcon),
};

CMyWnd::CMyWnd(const Ports& ports)
    : CWndBase(ports.windows), ports_(ports), hid_link_(ports.hid), registry_key_(ports.system_settings) {
  std::copy(std::begin(kMessageMap), std::end(kMessageMap), routes_.begin());
}

CMyWnd::~CMyWnd() = default;

std::span<const CWndBase::MessageRoute> CMyWnd::MessageMap() const { return {routes_.data(), route_count_}; }

std::u16string_view CMyWnd::settings_file_path() const { return FieldText(settings_file_path_); }
std::u16string_view CMyWnd::macro_file_path() const { return FieldText(macro_file_path_); }

int CMyWnd::CreateAgentWindow() {
  WindowCreateParams params;
  params.ex_style = 0;
  params.title = companion::kAgentWindowTitle;
  params.style = style::kPopup;
  params.x = 100;
  params.y = 100;
  params.width = 100;
  params.height = 100;
  return CreateEx(params) ? 1 : 0;
}

// ---- operations: the subsystems' own, bound to this window's ports and state ----

void CMyWnd::LoadOrCreateSettings() {
  qx27::LoadOrCreateSettings(ports_.ini, settings_file_path(), settings_, snapshot_, working_profile_);
}

void CMyWnd::RefreshMouseSettings() {
  qx27::RefreshMouseSettings(ports_.system_settings, ports_.debug, registry_key_, working_profile_);
}

int CMyWnd::ReadMouse() {
  const DownloadTarget target{hid_link_,  ports_.clock,         ports_.windows,
                              ports_.ini, settings_file_path(), macro_file_path()};
  return Download(target, settings_, working_profile_, last_download_);
}

void CMyWnd::StoreDeviceFlag(std::int32_t value) { qx27::StoreDeviceFlag(ports_.ini, settings_file_path(), value); }

void CMyWnd::AddTrayIcon() { tray_icon_.Add(ports_.shell); }

void CMyWnd::RemoveTrayIcon() { tray_icon_.Remove(ports_.shell); }

void CMyWnd::PostToCompanion(std::uint32_t message, WParam wparam, LParam lparam) {
  // Searched afresh each time: the companion UI comes and goes.
  if (const WindowHandle companion_window = ports_.windows.FindWindowByTitle(companion::kWindowTitle)) {
    ports_.windows.Post(companion_window, message, wparam, lparam);
  }
}

void CMyWnd::ShowTrayMenu() {
  ports_.shell.ForegroundLastActivePopup(handle());
  // The language may have changed in the file since the last load.
  LoadOrCreateSettings();
  std::array<char16_t, kPathUnits> skin{};
  SkinFilePath(ports_.modules, settings_.lan_id, skin);
  qx27::ShowTrayMenu(ports_, handle(), ReadTrayMenuTexts(ports_.ini, FieldText(skin)));
}

// ---- start-up and shut-down ----

LResult CMyWnd::OnCreate(WParam, LParam) {
  if (Default() == -1) return -1;

  std::array<char16_t, kPathUnits> app_data{};
  if (ports_.shell.GetAppDataFolder(app_data)) {
    // A folder too long for a whole path leaves both paths empty: the agent
    // then runs on defaults and writes no file rather than a cut name.
    if (!JoinToField(macro_file_path_, FieldText(app_data), kMacroFileName) ||
        !JoinToField(settings_file_path_, FieldText(app_data), kSettingsFileName)) {
      macro_file_path_.fill(u'\0');
      settings_file_path_.fill(u'\0');
    }
  }

  hid_link_.SetSecondIds(mouse::kSecondVendorId, mouse::kSecondProductId);
  hid_link_.StartHidLink(ports_.windows, ports_.debug, ports_.clock, handle(), device_notification_);
  LoadOrCreateSettings();
  ports_.windows.SetExStyle(handle(), style::kExToolWindow);
  // The one message number the agent registers: the shell's own, so that an
  // icon lost to a restart of the shell comes back.
  if (const std::uint32_t taskbar_created = ports_.windows.RegisterNamedMessage(tray::kTaskbarCreated)) {
    routes_[kFixedRoutes] = OnMessage(taskbar_created, &CMyWnd::OnTaskbarCreated);
    route_count_ = kFixedRoutes + 1;
  }
  tray_icon_.Fill(ports_.shell, handle());

  if (ReadMouse()) {
    StoreDeviceFlag(1);
    if (snapshot_.Show_TrayIcon != 0) AddTrayIcon();
  } else {
    StoreDeviceFlag(0);
  }
  RefreshMouseSettings();
  ports_.debug.Output(u"OnCreate over");
  return 0;
}

LResult CMyWnd::OnDestroy(WParam, LParam) {
  PostExitNotice(ports_.windows);
  // An icon left behind would stay in the tray until the user's pointer
  // passes over it.
  RemoveTrayIcon();
  return Default();
}

// ---- device and session events ----

LResult CMyWnd::OnDeviceChange(WParam, LParam) {
  if (session_away_ == 1) return 1;
  if (ReadMouse()) {
    StoreDeviceFlag(1);
    if (snapshot_.Show_TrayIcon != 0) AddTrayIcon();
  } else {
    PostToCompanion(companion::kReadFailed, companion::kReadFailedCode, 0);
    RemoveTrayIcon();
  }
  return 1;
}

LResult CMyWnd::OnSessionChange(WParam event, LParam) {
  const bool vista_or_later = ports_.windows.SystemMajorVersion() >= 6;
  const bool away = event == kConsoleDisconnect || (vista_or_later && event == kSessionLock);
  const bool resume = event == kConsoleConnect || (vista_or_later && event == kSessionUnlock);
  if (away) {
    RemoveTrayIcon();
    session_away_ = 1;
    StoreDeviceFlag(0);
  } else if (resume) {
    session_away_ = 0;
    if (ReadMouse()) {
      StoreDeviceFlag(1);
      if (snapshot_.Show_TrayIcon != 0) AddTrayIcon();
    } else {
      PostToCompanion(companion::kReadFailed, companion::kReadFailedCode, 0);
    }
  }
  return 0;
}

LResult CMyWnd::OnTimer(WParam timer, LParam) {
  if (timer == kPresenceCheckTimer) {
    const std::int32_t present = ProbeDevicePresence(ports_);
    StoreDeviceFlag(present);
    if (present == 0) {
      RemoveTrayIcon();
    } else if (snapshot_.Show_TrayIcon != 0) {
      AddTrayIcon();
    }
  }
  return Default();
}

// ---- requests from the companion UI and the mouse ----

LResult CMyWnd::OnApplyRequest(WParam, LParam) {
  LoadOrCreateSettings();
  RefreshMouseSettings();
  const int uploaded = Upload(hid_link_, ports_.clock, working_profile_);
  if (snapshot_.Show_TrayIcon == 0) {
    RemoveTrayIcon();
  } else if (uploaded) {
    AddTrayIcon();
  }
  return 0;
}

LResult CMyWnd::OnDpiStageEvent(WParam stage, LParam) {
  // Taken as it comes: the next load brings the record back in step.
  const auto value = static_cast<std::int32_t>(stage);
  working_profile_.DPI_Cur = value;
  StoreDpiCur(ports_.ini, settings_file_path(), snapshot_.Active, value);
  PostToCompanion(companion::kDpiStageChanged, static_cast<WParam>(snapshot_.Active), static_cast<LParam>(value) - 1);
  return 1;
}

LResult CMyWnd::OnDeviceCommandRequest(WParam, LParam) {
  SendCommandReport(hid_link_);
  return 0;
}

// ---- tray ----

LResult CMyWnd::OnTrayCallback(WParam, LParam mouse_message) {
  if (mouse_message == tray::kLeftDoubleClick) {
    LaunchCompanionUI(ports_);
  } else if (mouse_message == tray::kRightButtonDown) {
    ShowTrayMenu();
  }
  return 0;
}

LResult CMyWnd::OnLaunchCompanion(WParam, LParam) {
  LaunchCompanionUI(ports_);
  return 0;
}

LResult CMyWnd::OnRemoveTrayIcon(WParam, LParam) {
  RemoveTrayIcon();
  return 0;
}

LResult CMyWnd::OnTaskbarCreated(WParam, LParam) {
  tray_icon_.AddAgain(ports_.shell);
  return 0;
}

}  // namespace qx27
