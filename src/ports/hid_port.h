// Port: the system's HID devices. The portable HID link reaches devices only
// through this interface; the Win32 implementation uses SetupDi and HidD/HidP,
// the simulated mouse implements it for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx27 {

// A HID interface handle as the system gives it; kInvalidHid when closed,
// like INVALID_HANDLE_VALUE.
using HidHandle = std::intptr_t;
inline constexpr HidHandle kInvalidHid = -1;

struct HidCaps {
  int input_report_length = 0;    // report ID included
  int feature_report_length = 0;  // report ID included
};

struct HidAttributes {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
};

// An input-report read that has been issued and may still be pending.
class PendingRead {
 public:
  virtual ~PendingRead() = default;
  // Blocks until the read has completed, failed or been ended by closing its
  // handle; gives the byte count (0 when nothing arrived).
  virtual int Wait() = 0;
};

class HidPort {
 public:
  virtual ~HidPort() = default;

  // Device paths of the HID interfaces present now, in enumeration order.
  virtual std::vector<std::u16string> EnumerateInterfaces() = 0;
  // Opens an interface for overlapped reading and writing, sharing both.
  virtual HidHandle Open(std::u16string_view path) = 0;
  virtual bool GetCaps(HidHandle handle, HidCaps& caps) = 0;
  virtual bool GetAttributes(HidHandle handle, HidAttributes& attributes) = 0;
  // The first byte is the report ID; the span's size is the report length.
  virtual bool SetFeature(HidHandle handle, std::span<const std::uint8_t> report) = 0;
  virtual bool GetFeature(HidHandle handle, std::span<std::uint8_t> report) = 0;
  // Starts reading one input report into `buffer`. Gives null when the read
  // failed at once. The buffer must outlive the pending read.
  virtual std::unique_ptr<PendingRead> BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) = 0;
  // Closes the handle; a read pending on it ends.
  virtual void Close(HidHandle handle) = 0;
};

}  // namespace qx27
