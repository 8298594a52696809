// The simulated mouse as hidraw nodes, served over FUSE, so that the hidraw
// HID port reaches it through the kernel's own open, ioctl, poll and read.
// Each interface of the mouse is a file "hidrawN" in the mount folder, N its
// place in the mouse's layout, beside a fake sysfs tree
// ("hidrawN/device/uevent" with HID_ID) that the port's enumeration is
// pointed at. Feature reports go through MouseService's own requests, so sets
// are logged, refused and stored exactly as the Windows suite's mouse does.
//
// Where the files differ from real hidraw nodes:
// - A read never blocks: without a report waiting it fails with EAGAIN, as on
//   a node opened with O_NONBLOCK; callers poll first.
// - HIDIOCGRDESC cannot see the caller's size field (the kernel hands a FUSE
//   server only what the command number declares), so it always gives the
//   whole descriptor.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/mouse_service.h"

namespace qx27::sim {

// A report descriptor declaring the interface's reports: a vendor-defined
// application collection with its input report and its feature report, each
// with the report ID the mouse uses for it and byte-sized fields, so that a
// parser finds the interface's lengths (report ID included) in it.
std::vector<std::uint8_t> InterfaceReportDescriptor(const InterfaceLayout& interface);

struct FuseMouseFolders {
  std::filesystem::path mount;  // an empty folder; the nodes appear in it
  // Stands in for /sys/class/hidraw; entries are made in a folder beside it,
  // named as it with ".staging" added, and moved in whole.
  std::filesystem::path sysfs;
};

class FuseMouse {
 public:
  struct Started;
  // Mounts and starts serving. Gives no mouse, and says why, when the mount
  // fails; `fuse_unavailable` tells apart a system without FUSE (no
  // /dev/fuse, mount refused) from any other failure.
  static Started Start(MouseService& service, FuseMouseFolders folders);
  // Stops serving and unmounts, even with files still open: calls on them
  // fail from then on.
  ~FuseMouse();
  FuseMouse(const FuseMouse&) = delete;
  FuseMouse& operator=(const FuseMouse&) = delete;

  // MouseService's requests; "unplug" also removes the nodes and their sysfs
  // entries and ends what is pending on open files, "plug" brings them back.
  MouseService::Answer Handle(std::string_view request);
  // Blocks until a poll on an open file waits for the server's wake-up, or
  // the timeout passes: a test then knows that a report or an unplug ends the
  // wait through that wake-up and not through an early answer.
  bool WaitForWaitingPoller(std::chrono::milliseconds timeout);

  struct State;

 private:
  explicit FuseMouse(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

struct FuseMouse::Started {
  std::unique_ptr<FuseMouse> mouse;
  bool fuse_unavailable = false;
  // Without a mouse, why; with one, what kept its sysfs entries from being
  // made (a "plug" request answers "error sysfs ..." then).
  std::string error;
};

}  // namespace qx27::sim
