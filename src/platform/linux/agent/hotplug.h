// Where qx27agentd learns that HID interfaces came or went: libudev's monitor
// on a real system, or a watch on a folder standing for /sys/class/hidraw in
// tests, where no udev event can be made without root.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qx27::agentd {

struct HotplugEvent {
  enum class Action { kAdd, kRemove };
  Action action = Action::kAdd;
  std::string node;  // "hidraw3"
  bool operator==(const HotplugEvent&) const = default;
};

class HotplugSource {
 public:
  virtual ~HotplugSource() = default;
  // Readable when events may be waiting; never blocks a reader.
  virtual int fd() const = 0;
  // The events that arrived since the last call.
  virtual std::vector<HotplugEvent> Drain() = 0;
};

// udev's own events for the hidraw subsystem. Null, with `error` set, when the
// monitor cannot be made.
std::unique_ptr<HotplugSource> OpenUdevMonitor(std::string& error);

// Watches `sysfs` (standing for /sys/class/hidraw) with inotify. An entry
// counts as present once ENTRY/device/uevent has a HID_ID line: each entry
// that becomes present is an add, each that stops being present a remove.
std::unique_ptr<HotplugSource> OpenSysfsWatch(const std::string& sysfs, std::string& error);

}  // namespace qx27::agentd
