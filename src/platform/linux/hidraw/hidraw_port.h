// The HID port on Linux hidraw: the product's own way to the mouse, not a
// stand-in. It finds the mouse's nodes in sysfs, reads each node's report
// descriptor for its report lengths, and exchanges reports through the
// hidraw ioctls and read.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ports/hid_port.h"

namespace qx27::hidraw {

// Where the system keeps its hidraw nodes; tests point both at a folder of
// their own.
struct HidrawLocations {
  std::filesystem::path sysfs_root = "/sys/class/hidraw";
  std::filesystem::path dev_root = "/dev";
};

// A device is listed when its vendor ID is one of `vendor_ids` and its product
// ID one of `product_ids`, each tested on its own, so every pairing matches.
struct HidrawDeviceFilter {
  std::vector<std::uint16_t> vendor_ids;
  std::vector<std::uint16_t> product_ids;
};

class HidrawPort final : public HidPort {
 public:
  explicit HidrawPort(HidrawDeviceFilter filter, HidrawLocations locations = {});
  // Ends the reads still pending; the nodes close once those have ended.
  ~HidrawPort() override;
  HidrawPort(const HidrawPort&) = delete;
  HidrawPort& operator=(const HidrawPort&) = delete;

  // The device nodes of the matching devices, by ascending node number.
  std::vector<std::u16string> EnumerateInterfaces() override;
  HidHandle Open(std::u16string_view path) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool SetFeature(HidHandle handle, std::span<const std::uint8_t> report) override;
  bool GetFeature(HidHandle handle, std::span<std::uint8_t> report) override;
  // The read itself happens in Wait, which polls the node together with a
  // wake-up that Close signals: a pending read then ends with 0 bytes.
  std::unique_ptr<PendingRead> BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) override;
  void Close(HidHandle handle) override;

  struct OpenNode;

 private:
  std::shared_ptr<OpenNode> Find(HidHandle handle) const;

  const HidrawDeviceFilter filter_;
  const HidrawLocations locations_;
  mutable std::mutex mutex_;
  // Handles are numbered afresh, never reused: a stale value finds nothing
  // rather than another node that got the same descriptor number.
  std::map<HidHandle, std::shared_ptr<OpenNode>> nodes_;
  HidHandle next_handle_ = 1;
};

}  // namespace qx27::hidraw
