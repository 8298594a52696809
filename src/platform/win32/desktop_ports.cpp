#include "platform/win32/desktop_ports.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/wide.h"

namespace qx27::win32 {
namespace {

HKEY ToHkey(RegistryHandle key) { return reinterpret_cast<HKEY>(key); }
HKEY RootKey(RegistryRoot root) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(root)); }

// The agent announces its record as 952 bytes: every field through
// dwInfoFlags, which holds all it fills. The full record of today's headers
// (976 bytes) is passed; the shell reads no further than cbSize says.
constexpr DWORD kAgentRecordSize = 952;
static_assert(offsetof(NOTIFYICONDATAW, guidItem) == kAgentRecordSize);
static_assert(sizeof(NOTIFYICONDATAW) == 976);

NOTIFYICONDATAW ToNotifyIconData(const TrayIconData& data) {
  NOTIFYICONDATAW record{};
  record.cbSize = data.cbSize;
  record.hWnd = reinterpret_cast<HWND>(data.window);
  record.uID = data.id;
  record.uFlags = data.flags;
  record.uCallbackMessage = data.callback_message;
  record.hIcon = reinterpret_cast<HICON>(data.icon);
  static_assert(sizeof(record.szTip) / sizeof(record.szTip[0]) == sizeof(data.tip) / sizeof(data.tip[0]));
  std::copy(std::begin(data.tip), std::end(data.tip), record.szTip);
  record.szTip[127] = L'\0';
  return record;
}

}  // namespace

// ---- registry and system parameters ----

RegistryHandle Win32SystemSettings::OpenKey(RegistryRoot root, std::u16string_view sub_key, std::uint32_t access) {
  const std::wstring path = Wide(sub_key);
  HKEY key = nullptr;
  if (RegOpenKeyExW(RootKey(root), path.c_str(), 0, access, &key) != ERROR_SUCCESS) return 0;
  return reinterpret_cast<RegistryHandle>(key);
}

RegistryHandle Win32SystemSettings::CreateKey(RegistryRoot root, std::u16string_view sub_key) {
  const std::wstring path = Wide(sub_key);
  HKEY key = nullptr;
  if (RegCreateKeyW(RootKey(root), path.c_str(), &key) != ERROR_SUCCESS) return 0;
  return reinterpret_cast<RegistryHandle>(key);
}

bool Win32SystemSettings::SetStringValue(RegistryHandle key, std::u16string_view name, std::span<const char16_t> data) {
  const std::wstring value_name = Wide(name);
  return RegSetValueExW(ToHkey(key), value_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size_bytes())) == ERROR_SUCCESS;
}

void Win32SystemSettings::CloseKey(RegistryHandle key) {
  if (key != 0) RegCloseKey(ToHkey(key));
}

bool Win32SystemSettings::SetDoubleClickTime(std::uint32_t milliseconds) {
  return ::SetDoubleClickTime(milliseconds) != FALSE;
}

bool Win32SystemSettings::SystemParametersInfoArray(std::uint32_t action, std::uint32_t ui_param,
                                                    std::span<std::int32_t, 3> values, std::uint32_t update_flags) {
  int params[3] = {values[0], values[1], values[2]};
  // The system's error code of a failure is neither kept nor shown.
  return SystemParametersInfoW(action, ui_param, params, update_flags) != FALSE;
}

bool Win32SystemSettings::SystemParametersInfoValue(std::uint32_t action, std::uint32_t ui_param,
                                                    std::uintptr_t pv_param, std::uint32_t update_flags) {
  return SystemParametersInfoW(action, ui_param, reinterpret_cast<PVOID>(pv_param), update_flags) != FALSE;
}

// ---- shell ----

bool Win32Shell::GetAppDataFolder(std::span<char16_t, 260> folder) {
  wchar_t path[MAX_PATH] = {};
  static_assert(MAX_PATH == 260);
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path))) return false;
  path[MAX_PATH - 1] = L'\0';
  std::copy(std::begin(path), std::end(path), folder.begin());
  return true;
}

IconHandle Win32Shell::LoadAgentIcon(int resource_id) {
  return reinterpret_cast<IconHandle>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource_id)));
}

bool Win32Shell::AddNotifyIcon(const TrayIconData& data) {
  NOTIFYICONDATAW record = ToNotifyIconData(data);
  return Shell_NotifyIconW(NIM_ADD, &record) != FALSE;
}

bool Win32Shell::DeleteNotifyIcon(const TrayIconData& data) {
  NOTIFYICONDATAW record = ToNotifyIconData(data);
  return Shell_NotifyIconW(NIM_DELETE, &record) != FALSE;
}

void Win32Shell::ShellOpen(std::u16string_view path, int show_command) {
  const std::wstring file = Wide(path);
  ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, show_command);
}

void Win32Shell::ForegroundLastActivePopup(WindowHandle window) {
  SetForegroundWindow(GetLastActivePopup(reinterpret_cast<HWND>(window)));
}

MenuHandle Win32Shell::CreatePopupMenu() { return reinterpret_cast<MenuHandle>(::CreatePopupMenu()); }

bool Win32Shell::AppendMenuString(MenuHandle menu, std::uint32_t id, std::u16string_view text) {
  const std::wstring item = Wide(text);
  return AppendMenuW(reinterpret_cast<HMENU>(menu), MF_STRING, id, item.c_str()) != FALSE;
}

CursorPosition Win32Shell::GetCursorPos() {
  POINT point{};
  ::GetCursorPos(&point);
  return {point.x, point.y};
}

void Win32Shell::TrackPopupMenu(MenuHandle menu, std::uint32_t flags, int x, int y, WindowHandle owner) {
  ::TrackPopupMenu(reinterpret_cast<HMENU>(menu), flags, x, y, 0, reinterpret_cast<HWND>(owner), nullptr);
}

void Win32Shell::DestroyMenu(MenuHandle menu) {
  if (menu != 0) ::DestroyMenu(reinterpret_cast<HMENU>(menu));
}

// ---- modules ----

std::size_t Win32Modules::GetOwnFileName(std::span<char16_t, 260> buffer) {
  wchar_t path[MAX_PATH] = {};
  // A name that does not fit comes back cut, with MAX_PATH as its length; it
  // is terminated here either way.
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  path[MAX_PATH - 1] = L'\0';
  std::copy(std::begin(path), std::end(path), buffer.begin());
  return std::min<std::size_t>(length, MAX_PATH);
}

ModuleHandle Win32Modules::LoadDll(std::u16string_view path) {
  const std::wstring file = Wide(path);
  return reinterpret_cast<ModuleHandle>(LoadLibraryW(file.c_str()));
}

bool Win32Modules::CallExport(ModuleHandle module, const char* export_name, std::int32_t first, std::int32_t second,
                              std::int32_t& result) {
  using Export = int(WINAPI*)(int, int);
  const FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(module), export_name);
  if (address == nullptr) return false;
  Export function;
  std::memcpy(&function, &address, sizeof(function));
  result = function(first, second);
  return true;
}

void Win32Modules::FreeDll(ModuleHandle module) {
  if (module != 0) ::FreeLibrary(reinterpret_cast<HMODULE>(module));
}

}  // namespace qx27::win32
