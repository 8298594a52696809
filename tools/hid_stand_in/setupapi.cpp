// Stand-in setupapi.dll for the harness: the device-setup functions
// qx27agent.exe imports, listing the HID interfaces that the simulated-mouse
// process says are present now (its named pipes). They keep the system's
// contract: a size query that fails with ERROR_INSUFFICIENT_BUFFER, an
// enumeration that ends with ERROR_NO_MORE_ITEMS, an empty list while the
// mouse is unplugged or no mouse process runs.
// Loaded only by the harness, through a native DLL override; nothing installs it.
#define _SETUPAPI_
#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "tools/simmouse/mouse_pipe.h"

namespace {

constexpr GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// Each HID collection is a device of the HIDClass setup class of its own.
constexpr GUID kHidClassGuid = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};
constexpr DWORD kSetMagic = 0x51583237;  // "QX27"

struct DeviceSet {
  DWORD magic = kSetMagic;
  std::vector<std::wstring> paths;  // a snapshot taken when the set was made
};

DeviceSet* FindSet(HDEVINFO handle) {
  auto* set = static_cast<DeviceSet*>(handle);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || set->magic != kSetMagic) return nullptr;
  return set;
}

std::vector<std::wstring> PresentHidInterfaces() {
  std::vector<std::wstring> paths;
  std::string answer;
  // No mouse process: no HID device is attached.
  if (qx27::simmouse::AskMouse("list", answer) != qx27::simmouse::AskResult::kAnswered) return paths;
  if (!qx27::simmouse::AnswerIsOk(answer)) return paths;
  std::string_view body = qx27::simmouse::AnswerBody(answer);
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    const std::string_view line = body.substr(0, end);
    if (!line.empty()) paths.push_back(qx27::simmouse::Widen(line));
    body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
  }
  return paths;
}

// The interface a SP_DEVICE_INTERFACE_DATA filled by this set names, or -1.
long InterfaceIndex(const DeviceSet& set, const SP_DEVICE_INTERFACE_DATA* data) {
  if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return -1;
  const ULONG_PTR cookie = data->Reserved;
  if (cookie == 0 || cookie > set.paths.size()) return -1;
  return static_cast<long>(cookie - 1);
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND parent, DWORD flags) {
  (void)parent;
  if (class_guid == nullptr && !(flags & DIGCF_ALLCLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto* set = new (std::nothrow) DeviceSet;
  if (set == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  // Only HID interfaces exist here; the mouse remembers no absent device, so
  // with or without DIGCF_PRESENT the list is what is attached now.
  const bool interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
  const bool hid = (flags & DIGCF_ALLCLASSES) != 0 || std::memcmp(class_guid, &kHidGuid, sizeof(GUID)) == 0;
  const bool any_enumerator = enumerator == nullptr || lstrcmpiW(enumerator, L"HID") == 0;
  if (interfaces && hid && any_enumerator) set->paths = PresentHidInterfaces();
  return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA device, const GUID* class_guid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data) {
  DeviceSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (class_guid == nullptr || data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Interface i belongs to device i + 1 of the set.
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < set->paths.size(); ++i) {
    if (device != nullptr && device->DevInst != i + 1) continue;
    members.push_back(i);
  }
  if (std::memcmp(class_guid, &kHidGuid, sizeof(GUID)) != 0 || index >= members.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->InterfaceClassGuid = kHidGuid;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = members[index] + 1;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detail_size,
                                             PDWORD required_size, PSP_DEVINFO_DATA device) {
  DeviceSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const long index = InterfaceIndex(*set, data);
  if (index < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  if (detail != nullptr && (detail->cbSize < kPathOffset + sizeof(WCHAR) ||
                            detail->cbSize > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (detail == nullptr && detail_size != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  const std::wstring& path = set->paths[static_cast<std::size_t>(index)];
  const DWORD needed = kPathOffset + static_cast<DWORD>((path.size() + 1) * sizeof(WCHAR));
  if (required_size != nullptr) *required_size = needed;
  if (device != nullptr && device->cbSize == sizeof(SP_DEVINFO_DATA)) {
    device->ClassGuid = kHidClassGuid;
    device->DevInst = static_cast<DWORD>(index + 1);
    device->Reserved = 0;
  }
  if (detail_size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
  DeviceSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A second destroy of the same set is caught rather than freeing twice.
  set->magic = 0;
  delete set;
  return TRUE;
}

}  // extern "C"
