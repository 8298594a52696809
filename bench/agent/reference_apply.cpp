// The floor for the agent's apply figure: a program that does only what any
// agent must do when asked to apply a profile, on the same route to the same
// simulated mouse. On message 0x04FF to its hidden window it reads the
// settings file once, opens the interface whose feature reports are 40 bytes
// long, sends report 3, waits 300 ms, opens the 2049-byte interface and sends
// report 4. qx27bench times it exactly as it times the agent, so the ratio of
// the two is the agent's own cost. It runs from the harness folder, beside the
// stand-in hid.dll and setupapi.dll, and ends on WM_CLOSE.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/win32/hid_port.h"
#include "protocol/button_report.h"
#include "protocol/performance_report.h"
#include "settings/validation.h"

namespace {

constexpr UINT kApplyRequest = 0x04FF;

qx27::win32::Win32HidPort g_port;
qx27::PerformanceReport g_performance{};
qx27::ButtonReport g_buttons{};

void ReadSettingsFileOnce() {
  wchar_t folder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder) != S_OK) return;
  const std::wstring path = std::wstring(folder) + L"\\VORN\\ELDAN QX27\\GamingMouse";
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::vector<char> bytes(1 << 20);
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
}

// The first interface of the mouse with this feature-report length; the
// search stops there.
qx27::HidHandle OpenByFeatureLength(int length) {
  for (const auto& path : g_port.EnumerateInterfaces()) {
    const qx27::HidHandle handle = g_port.Open(path);
    if (handle == qx27::kInvalidHid) continue;
    qx27::HidCaps caps;
    qx27::HidAttributes attributes;
    if (g_port.GetCaps(handle, caps) && caps.feature_report_length == length &&
        g_port.GetAttributes(handle, attributes) && attributes.vendor_id == 0x3938 && attributes.product_id == 0x1101) {
      return handle;
    }
    g_port.Close(handle);
  }
  return qx27::kInvalidHid;
}

void Apply() {
  ReadSettingsFileOnce();
  const qx27::HidHandle performance = OpenByFeatureLength(static_cast<int>(qx27::kPerformanceReportLength));
  if (performance == qx27::kInvalidHid) return;
  const bool sent = g_port.SetFeature(performance, g_performance);
  g_port.Close(performance);
  if (!sent) return;
  Sleep(300);
  const qx27::HidHandle buttons = OpenByFeatureLength(static_cast<int>(qx27::kButtonReportLength));
  if (buttons == qx27::kInvalidHid) return;
  g_port.SetFeature(buttons, g_buttons);
  g_port.Close(buttons);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kApplyRequest) {
    Apply();
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The default profile's reports, encoded once: encoding is not what is measured.
  qx27::ProfileRecord profile{};
  qx27::ValidateProfile(profile);
  g_performance = qx27::EncodePerformanceReport(profile);
  g_buttons = qx27::EncodeButtonReport(profile);

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"qx27.reference.apply";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"qx27 reference apply", WS_POPUP, 100, 100, 100, 100,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
