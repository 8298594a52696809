// Matching a device's hardware IDs against a vendor and product ID, as the
// presence DLL does for every present device.
#pragma once

#include <cstdint>
#include <span>

namespace qx27 {

// `ids` is a REG_MULTI_SZ list of hardware IDs such as
// "HID\VID_1B80&PID_B412&REV_0100"; gives true when one names both IDs.
// Reads nothing past the span, terminated or not.
bool HardwareIdsName(std::span<const char16_t> ids, std::uint16_t vendor_id, std::uint16_t product_id);

}  // namespace qx27
