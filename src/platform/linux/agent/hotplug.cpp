#include "platform/linux/agent/hotplug.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace qx27::agentd {
namespace {

class UdevMonitor final : public HotplugSource {
 public:
  UdevMonitor(udev* context, udev_monitor* monitor) : context_(context), monitor_(monitor) {}
  ~UdevMonitor() override {
    udev_monitor_unref(monitor_);
    udev_unref(context_);
  }
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  int fd() const override { return udev_monitor_get_fd(monitor_); }

  std::vector<HotplugEvent> Drain() override {
    std::vector<HotplugEvent> events;
    // The monitor's socket does not block: null means nothing is left.
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
      const char* action = udev_device_get_action(device);
      const char* name = udev_device_get_sysname(device);
      if (action != nullptr && name != nullptr) {
        if (std::strcmp(action, "add") == 0) events.push_back({HotplugEvent::Action::kAdd, name});
        if (std::strcmp(action, "remove") == 0) events.push_back({HotplugEvent::Action::kRemove, name});
      }
      udev_device_unref(device);
    }
    return events;
  }

 private:
  udev* context_;
  udev_monitor* monitor_;
};

class SysfsWatch final : public HotplugSource {
 public:
  SysfsWatch(int inotify, std::string root) : inotify_(inotify), root_(std::move(root)) {}
  ~SysfsWatch() override { ::close(inotify_); }
  SysfsWatch(const SysfsWatch&) = delete;
  SysfsWatch& operator=(const SysfsWatch&) = delete;

  bool Start(std::string& error) {
    constexpr std::uint32_t kRootEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
    if (::inotify_add_watch(inotify_, root_.c_str(), kRootEvents) < 0) {
      error = "cannot watch " + root_ + ": " + std::strerror(errno);
      return false;
    }
    WatchEntries();
    present_ = PresentEntries();
    return true;
  }

  int fd() const override { return inotify_; }

  std::vector<HotplugEvent> Drain() override {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
    }
    // Folders made since the last look are watched before the entries are
    // counted, so a uevent written after this look still wakes the agent.
    WatchEntries();
    const std::set<std::string> now = PresentEntries();
    std::vector<HotplugEvent> events;
    for (const std::string& gone : present_) {
      if (now.count(gone) == 0) events.push_back({HotplugEvent::Action::kRemove, gone});
    }
    for (const std::string& came : now) {
      if (present_.count(came) == 0) events.push_back({HotplugEvent::Action::kAdd, came});
    }
    present_ = now;
    return events;
  }

 private:
  std::vector<std::string> EntryNames() const {
    std::vector<std::string> names;
    std::error_code ignored;
    for (std::filesystem::directory_iterator it(root_, ignored), end; !ignored && it != end; it.increment(ignored)) {
      names.push_back(it->path().filename().string());
    }
    return names;
  }

  // Watching a folder twice gives the same watch: nothing to remember.
  void WatchEntries() {
    constexpr std::uint32_t kEntryEvents =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR;
    for (const std::string& name : EntryNames()) {
      const std::string entry = root_ + "/" + name;
      ::inotify_add_watch(inotify_, entry.c_str(), kEntryEvents);
      ::inotify_add_watch(inotify_, (entry + "/device").c_str(), kEntryEvents);
    }
  }

  std::set<std::string> PresentEntries() const {
    std::set<std::string> present;
    for (const std::string& name : EntryNames()) {
      std::ifstream uevent(root_ + "/" + name + "/device/uevent");
      std::string line;
      while (std::getline(uevent, line)) {
        if (line.rfind("HID_ID=", 0) == 0) {
          present.insert(name);
          break;
        }
      }
    }
    return present;
  }

  int inotify_;
  std::string root_;
  std::set<std::string> present_;
};

}  // namespace

std::unique_ptr<HotplugSource> OpenUdevMonitor(std::string& error) {
  udev* context = udev_new();
  if (context == nullptr) {
    error = "cannot start libudev";
    return nullptr;
  }
  udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  if (monitor == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor) < 0) {
    error = "cannot listen to udev's events";
    if (monitor != nullptr) udev_monitor_unref(monitor);
    udev_unref(context);
    return nullptr;
  }
  return std::make_unique<UdevMonitor>(context, monitor);
}

std::unique_ptr<HotplugSource> OpenSysfsWatch(const std::string& sysfs, std::string& error) {
  const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify < 0) {
    error = std::string("cannot start inotify: ") + std::strerror(errno);
    return nullptr;
  }
  auto watch = std::make_unique<SysfsWatch>(inotify, sysfs);
  if (!watch->Start(error)) return nullptr;
  return watch;
}

}  // namespace qx27::agentd
