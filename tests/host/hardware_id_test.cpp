#include "host/hardware_id.h"

#include <gtest/gtest.h>

#include <string>

namespace qx27 {
namespace {

bool Names(std::u16string list, std::uint16_t vid, std::uint16_t pid) {
  return HardwareIdsName(std::span<const char16_t>(list.data(), list.size()), vid, pid);
}

TEST(HardwareIds, TheMouseIsFoundInAnyEntryOfTheList) {
  EXPECT_TRUE(
      Names(std::u16string(u"HID\\VID_1B80&PID_B412&REV_0100\0HID\\VID_1B80&PID_B412\0\0", 53), 0x1B80, 0xB412));
  EXPECT_TRUE(Names(std::u16string(u"USB\\ROOT_HUB\0usb\\vid_1b80&pid_b412&mi_01\0\0", 43), 0x1B80, 0xB412));
}

TEST(HardwareIds, BothIdsMustBeNamedAsWholeFields) {
  EXPECT_FALSE(Names(std::u16string(u"HID\\VID_1B80&PID_B413\0\0", 24), 0x1B80, 0xB412));
  EXPECT_FALSE(Names(std::u16string(u"HID\\VID_1B801&PID_B412\0\0", 25), 0x1B80, 0xB412));
  EXPECT_FALSE(Names(std::u16string(u"HID\\XVID_1B80&PID_B412\0\0", 25), 0x1B80, 0xB412));
  EXPECT_FALSE(Names(std::u16string(u"HID\\PID_B412\0HID\\VID_1B80\0\0", 28), 0x1B80, 0xB412));
}

TEST(HardwareIds, AnUnterminatedListIsReadOnlyToItsEnd) {
  const std::u16string list = u"HID\\VID_1B80&PID_B41";
  EXPECT_FALSE(HardwareIdsName(std::span<const char16_t>(list.data(), list.size()), 0x1B80, 0xB412));
  EXPECT_FALSE(HardwareIdsName({}, 0x1B80, 0xB412));
}

}  // namespace
}  // namespace qx27
