#include "platform/win32/window_port.h"

#include <windows.h>
#include <dbt.h>

#include <string>

#include "platform/win32/wide.h"

extern "C" {
#include <hidsdi.h>
}

namespace qx27::win32 {
namespace {

// The window being created on this thread: its first messages (WM_NCCREATE,
// WM_CREATE) arrive before CreateWindowExW returns, and the agent passes no
// creation data to carry it.
thread_local MessageTarget* creating = nullptr;

LRESULT CALLBACK RouteMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* target = reinterpret_cast<MessageTarget*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (target == nullptr && creating != nullptr) {
    target = creating;
    creating = nullptr;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
  }
  if (target == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  const LResult result = target->WindowProc(reinterpret_cast<WindowHandle>(hwnd), message, wparam, lparam);
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return result;
}

// A class registered once per process, with a generated name: no class style,
// cursor, background or icon. Other programs look for the title, not this.
const wchar_t* AgentWindowClass() {
  static const std::wstring name = [] {
    std::wstring generated = L"QX27:" + std::to_wstring(GetCurrentProcessId());
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = RouteMessage;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = generated.c_str();
    RegisterClassExW(&window_class);
    return generated;
  }();
  return name.c_str();
}

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

}  // namespace

WindowHandle Win32Windows::CreateTopLevelWindow(const WindowCreateParams& params, MessageTarget& target) {
  const std::wstring title = Wide(params.title);
  creating = &target;
  HWND hwnd = CreateWindowExW(params.ex_style, AgentWindowClass(), title.c_str(), params.style, params.x, params.y,
                              params.width, params.height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  creating = nullptr;
  return reinterpret_cast<WindowHandle>(hwnd);
}

LResult Win32Windows::DefaultProcessing(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  return DefWindowProcW(ToHwnd(window), message, wparam, lparam);
}

void Win32Windows::DestroyWindow(WindowHandle window) { ::DestroyWindow(ToHwnd(window)); }

int Win32Windows::RunMessageLoop() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return -1;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32Windows::PostQuit(int exit_code) { PostQuitMessage(exit_code); }

bool Win32Windows::Post(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  return PostMessageW(ToHwnd(window), message, wparam, lparam) != FALSE;
}

WindowHandle Win32Windows::FindWindowByTitle(std::u16string_view title) {
  const std::wstring text = Wide(title);
  return reinterpret_cast<WindowHandle>(FindWindowW(nullptr, text.c_str()));
}

void Win32Windows::SetExStyle(WindowHandle window, std::uint32_t ex_style) {
  SetWindowLongW(ToHwnd(window), GWL_EXSTYLE, static_cast<LONG>(ex_style));
}

std::uintptr_t Win32Windows::RegisterHidNotifications(WindowHandle window) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  static_assert(sizeof(filter) == 32);
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  HidD_GetHidGuid(&filter.dbcc_classguid);
  return reinterpret_cast<std::uintptr_t>(
      RegisterDeviceNotificationW(ToHwnd(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

int Win32Windows::SystemMajorVersion() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&version)) return 0;
#pragma GCC diagnostic pop
  return static_cast<int>(version.dwMajorVersion);
}

std::uint32_t Win32Windows::RegisterNamedMessage(std::u16string_view name) {
  const std::wstring text = Wide(name);
  return RegisterWindowMessageW(text.c_str());
}

std::uintptr_t Win32Windows::CreateNamedMutex(std::u16string_view name, bool& already_existed) {
  const std::wstring text = Wide(name);
  // No "Global\" prefix: the name lives in the logon session's namespace.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, text.c_str());
  already_existed = mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  return reinterpret_cast<std::uintptr_t>(mutex);
}

void Win32Windows::ReleaseAndCloseMutex(std::uintptr_t mutex) {
  HANDLE handle = reinterpret_cast<HANDLE>(mutex);
  ReleaseMutex(handle);
  CloseHandle(handle);
}

void Win32Windows::CloseMutex(std::uintptr_t mutex) {
  if (mutex != 0) CloseHandle(reinterpret_cast<HANDLE>(mutex));
}

}  // namespace qx27::win32
