// The HID port on the Windows HID class and device-setup services.
#pragma once

#include "ports/hid_port.h"

namespace qx27::win32 {

class Win32HidPort final : public HidPort {
 public:
  std::vector<std::u16string> EnumerateInterfaces() override;
  HidHandle Open(std::u16string_view path) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool SetFeature(HidHandle handle, std::span<const std::uint8_t> report) override;
  bool GetFeature(HidHandle handle, std::span<std::uint8_t> report) override;
  std::unique_ptr<PendingRead> BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) override;
  void Close(HidHandle handle) override;
};

}  // namespace qx27::win32
