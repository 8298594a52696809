#include "app/agent_window.h"

#include "common/text.h"
#include "hid/mouse_identity.h"
#include "host/companion_ui.h"
#include "protocol/command_report.h"

namespace qx27 {
namespace {

constexpr std::uint32_t kTrayCallback = 0x0465;
constexpr std::uint16_t kMenuOpenCompanion = 6001;
constexpr std::uint16_t kMenuRemoveTrayIcon = 6002;

}  // namespace

const CWndBase::MessageRoute CMyWnd::kMessageMap[] = {
    OnMessage(msg::kCreate, &CMyWnd::OnCreate),
    OnMessage(msg::kDestroy, &CMyWnd::OnDestroy),
    OnMessage(msg::kTimer, &CMyWnd::OnTimer),
    OnMessage(msg::kDeviceChange, &CMyWnd::OnDeviceChange),
    OnMessage(msg::kSessionChange, &CMyWnd::OnSessionChange),
    OnMessage(companion::kApplyRequest, &CMyWnd::OnApplyRequest),
    OnMessage(companion::kDpiStageEvent, &CMyWnd::OnDpiStageEvent),
    OnMessage(companion::kDeviceCommandRequest, &CMyWnd::OnDeviceCommandRequest),
    OnMessage(kTrayCallback, &CMyWnd::OnTrayCallback),
    OnCommand(kMenuOpenCompanion, &CMyWnd::OnLaunchCompanion),
    OnCommand(kMenuRemoveTrayIcon, &CMyWnd::OnRemoveTrayIcon),
};

CMyWnd::CMyWnd(const Ports& ports) : CWndBase(ports.windows), ports_(ports), hid_link_(ports.hid) {}

CMyWnd::~CMyWnd() = default;

std::span<const CWndBase::MessageRoute> CMyWnd::MessageMap() const { return kMessageMap; }

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

LResult CMyWnd::OnCreate(WParam, LParam) {
  if (Default() == -1) return -1;
  hid_link_.SetSecondIds(mouse::kSecondVendorId, mouse::kSecondProductId);
  return 0;
}

LResult CMyWnd::OnDestroy(WParam, LParam) { return Default(); }

LResult CMyWnd::OnTimer(WParam, LParam) { return Default(); }

LResult CMyWnd::OnDeviceChange(WParam, LParam) { return 1; }

LResult CMyWnd::OnSessionChange(WParam, LParam) { return 0; }

LResult CMyWnd::OnApplyRequest(WParam, LParam) { return 0; }

LResult CMyWnd::OnDpiStageEvent(WParam, LParam) { return 1; }

LResult CMyWnd::OnDeviceCommandRequest(WParam, LParam) {
  SendCommandReport(hid_link_);
  return 0;
}

LResult CMyWnd::OnTrayCallback(WParam, LParam) { return 0; }

LResult CMyWnd::OnLaunchCompanion(WParam, LParam) { return 0; }

LResult CMyWnd::OnRemoveTrayIcon(WParam, LParam) { return 0; }

}  // namespace qx27
