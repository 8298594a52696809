// The Agent window: a hidden top-level window that owns all of the agent's
// state and receives every message. Other programs find it by its title.
#pragma once

#include <array>
#include <cstdint>

#include "app/framework.h"
#include "hid/hid_link.h"
#include "host/pointer_settings.h"
#include "host/tray_icon.h"
#include "ports/ports.h"
#include "protocol/download.h"
#include "settings/settings_record.h"

namespace qx27 {

class CMyWnd : public CWndBase {
 public:
  explicit CMyWnd(const Ports& ports);
  ~CMyWnd() override;

  // Creates the hidden window; its WM_CREATE runs the start-up sequence.
  // Gives non-zero on success.
  virtual int CreateAgentWindow();

  // Read access for the application object and for tests.
  const HidLink& hid_link() const { return hid_link_; }
  const SettingsRecord& settings() const { return settings_; }
  const SettingsRecord& settings_snapshot() const { return snapshot_; }
  const ProfileRecord& working_profile() const { return working_profile_; }
  std::u16string_view settings_file_path() const;
  std::u16string_view macro_file_path() const;
  int session_away() const { return session_away_; }
  const TrayIcon& tray_icon() const { return tray_icon_; }
  const RegistryKey& registry_key() const { return registry_key_; }

 protected:
  std::span<const MessageRoute> MessageMap() const override;

 private:
  LResult OnCreate(WParam, LParam);
  LResult OnDestroy(WParam, LParam);
  LResult OnTimer(WParam, LParam);
  LResult OnDeviceChange(WParam, LParam);
  LResult OnSessionChange(WParam, LParam);
  LResult OnApplyRequest(WParam, LParam);
  LResult OnDpiStageEvent(WParam, LParam);
  LResult OnDeviceCommandRequest(WParam, LParam);
  LResult OnTrayCallback(WParam, LParam);
  LResult OnLaunchCompanion(WParam, LParam);
  LResult OnRemoveTrayIcon(WParam, LParam);
  LResult OnTaskbarCreated(WParam, LParam);

  // The window's operations. Those named like a subsystem's operation only
  // hand it this window's ports and state; the behaviour is the subsystem's:
  void LoadOrCreateSettings();               // qx27::LoadOrCreateSettings, settings/validation.h
  void RefreshMouseSettings();               // qx27::RefreshMouseSettings, host/pointer_settings.h
  int ReadMouse();                           // Download, protocol/download.h
  void StoreDeviceFlag(std::int32_t value);  // qx27::StoreDeviceFlag, settings/settings_file.h
  void AddTrayIcon();                        // TrayIcon::Add, host/tray_icon.h
  void RemoveTrayIcon();                     // TrayIcon::Remove, host/tray_icon.h
  void ShowTrayMenu();                       // qx27::ShowTrayMenu, host/tray_icon.h
  void PostToCompanion(std::uint32_t message, WParam wparam, LParam lparam);

  static constexpr std::size_t kFixedRoutes = 11;
  static const MessageRoute kMessageMap[kFixedRoutes];

  const Ports& ports_;
  // The fixed routes, and from start-up on the one of the shell's registered
  // "TaskbarCreated", whose number is known only then.
  std::array<MessageRoute, kFixedRoutes + 1> routes_{};
  std::size_t route_count_ = kFixedRoutes;
  // Members in the order the rest of the agent relies on when it is torn down.
  std::array<char16_t, kPathUnits> macro_file_path_{};
  std::array<char16_t, kPathUnits> settings_file_path_{};
  SettingsRecord settings_{};
  SettingsRecord snapshot_{};
  std::uintptr_t device_notification_ = 0;
  HidLink hid_link_;
  LastDownload last_download_;
  RegistryKey registry_key_;
  ProfileRecord working_profile_{};
  TrayIcon tray_icon_;
  std::int32_t session_away_ = 0;
};

}  // namespace qx27
