// Report descriptors written by hand for the mouse's four interfaces, in the
// vendor-defined usage page, shared by the descriptor tests and the seeds of
// the descriptor fuzzer.
#pragma once

#include <array>
#include <cstdint>

namespace qx27::test {

// Feature report 3: 39 bytes after the ID, 40 with it.
inline constexpr std::array<std::uint8_t, 23> kPerformanceInterfaceDescriptor{
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x03,        //   Report ID (3)
    0x09, 0x02,        //   Usage (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x27,        //   Report Count (39)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
    0xC0,              // End Collection
};

// Feature report 4: 2048 bytes after the ID, 2049 with it; a two-byte count.
inline constexpr std::array<std::uint8_t, 24> kButtonInterfaceDescriptor{
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x03,        // Usage (3)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x04,        //   Report ID (4)
    0x09, 0x04,        //   Usage (4)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x96, 0x00, 0x08,  //   Report Count (2048)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
    0xC0,              // End Collection
};

// Feature report 6, the command report: 8 bytes with the ID.
inline constexpr std::array<std::uint8_t, 23> kCommandInterfaceDescriptor{
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x05,        // Usage (5)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x06,        //   Report ID (6)
    0x09, 0x06,        //   Usage (6)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x07,        //   Report Count (7)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
    0xC0,              // End Collection
};

// Input report 2, the DPI-stage event 02 00 stage 00: 4 bytes with the ID.
inline constexpr std::array<std::uint8_t, 23> kEventsInterfaceDescriptor{
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x07,        // Usage (7)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x09, 0x08,        //   Usage (8)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x03,        //   Report Count (3)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0xC0,              // End Collection
};

}  // namespace qx27::test
