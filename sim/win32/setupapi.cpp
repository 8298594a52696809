// Stand-in setupapi.dll for the harness: the device-setup functions
// qx27agent.exe imports, listing the HID interfaces that the simulated-mouse
// process says are present now (its named pipes), and the functions the
// presence DLL (Idwatch.dll) imports, listing the present devices with their
// hardware IDs. They keep the system's contract: a size query that fails with
// ERROR_INSUFFICIENT_BUFFER, an enumeration that ends with
// ERROR_NO_MORE_ITEMS, an empty list while the mouse is unplugged or no mouse
// process runs.
// Loaded only by the harness, through a native DLL override; nothing installs it.
#define _SETUPAPI_
#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "sim/win32/mouse_pipe.h"

namespace {

constexpr GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// Each HID collection is a device of the HIDClass setup class of its own.
constexpr GUID kHidClassGuid = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};
constexpr DWORD kSetMagic = 0x51583237;  // "QX27"

// A USB device and the HID collections on it, as the system lists them.
constexpr GUID kUsbClassGuid = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

struct Device {
  std::vector<std::wstring> hardware_ids;  // most specific first
};

struct DeviceSet {
  DWORD magic = kSetMagic;
  // Snapshots taken when the set was made: interface paths for a set of
  // device interfaces, devices otherwise.
  std::vector<std::wstring> paths;
  std::vector<Device> devices;
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

std::vector<Device> PresentDevices() {
  std::vector<Device> devices;
  std::string answer;
  if (qx27::simmouse::AskMouse("devices", answer) != qx27::simmouse::AskResult::kAnswered) return devices;
  if (!qx27::simmouse::AnswerIsOk(answer)) return devices;
  std::string_view body = qx27::simmouse::AnswerBody(answer);
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    std::string_view line = body.substr(0, end);
    body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
    Device device;
    while (!line.empty()) {
      const std::size_t space = line.find(' ');
      if (space != 0) device.hardware_ids.push_back(qx27::simmouse::Widen(line.substr(0, space)));
      line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
    }
    if (!device.hardware_ids.empty()) devices.push_back(std::move(device));
  }
  return devices;
}

// The device a SP_DEVINFO_DATA filled by this set names, or -1.
long DeviceIndex(const DeviceSet& set, const SP_DEVINFO_DATA* data) {
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) return -1;
  if (data->DevInst == 0 || data->DevInst > set.devices.size()) return -1;
  return static_cast<long>(data->DevInst - 1);
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
  // Devices of every class: the mouse's USB device and its collections.
  if (!interfaces && (flags & DIGCF_ALLCLASSES) && enumerator == nullptr) set->devices = PresentDevices();
  return set;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data) {
  DeviceSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (index >= set->devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  const bool usb = set->devices[index].hardware_ids.front().rfind(L"USB\\", 0) == 0;
  data->ClassGuid = usb ? kUsbClassGuid : kHidClassGuid;
  data->DevInst = index + 1;
  data->Reserved = 0;
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO handle, PSP_DEVINFO_DATA device, DWORD property,
                                              PDWORD value_type, PBYTE buffer, DWORD buffer_size,
                                              PDWORD required_size) {
  DeviceSet* set = FindSet(handle);
  if (set == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const long index = DeviceIndex(*set, device);
  if (index < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Only the hardware IDs are known here; the system says the same of a
  // property a device does not have.
  if (property != SPDRP_HARDWAREID) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  if (buffer == nullptr && buffer_size != 0) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  // REG_MULTI_SZ: each ID with its terminator, then an empty string.
  std::vector<WCHAR> list;
  for (const std::wstring& id : set->devices[static_cast<std::size_t>(index)].hardware_ids) {
    list.insert(list.end(), id.begin(), id.end());
    list.push_back(L'\0');
  }
  list.push_back(L'\0');
  const DWORD needed = static_cast<DWORD>(list.size() * sizeof(WCHAR));
  if (value_type != nullptr) *value_type = REG_MULTI_SZ;
  if (required_size != nullptr) *required_size = needed;
  if (buffer_size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, list.data(), needed);
  return TRUE;
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
  if (detail != nullptr &&
      (detail->cbSize < kPathOffset + sizeof(WCHAR) || detail->cbSize > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))) {
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
