// Idwatch.dll: tells the agent whether a device with a given product and
// vendor ID is attached now, by walking the system's present devices and their
// hardware IDs. Loaded by the agent for one call at a time.
#include <windows.h>

#include <vector>

#include "host/hardware_id.h"
#include "platform/win32/unique_handles.h"

extern "C" __declspec(dllexport) int WINAPI IdwatchProbe(int product_id, int vendor_id) {
  if (product_id < 0 || product_id > 0xFFFF || vendor_id < 0 || vendor_id > 0xFFFF) return 0;
  qx27::win32::unique_hdevinfo devices(
      SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
  if (!devices) return 0;
  std::vector<wchar_t> ids;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    if (!SetupDiEnumDeviceInfo(devices.get(), index, &device)) break;
    DWORD required = 0;
    SetupDiGetDeviceRegistryPropertyW(devices.get(), &device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &required);
    if (required == 0) continue;
    ids.assign(required / sizeof(wchar_t) + 2, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(devices.get(), &device, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(ids.data()), required, nullptr)) {
      continue;
    }
    const std::span<const char16_t> list(reinterpret_cast<const char16_t*>(ids.data()), ids.size());
    if (qx27::HardwareIdsName(list, static_cast<std::uint16_t>(vendor_id), static_cast<std::uint16_t>(product_id))) {
      return 1;
    }
  }
  return 0;
}
