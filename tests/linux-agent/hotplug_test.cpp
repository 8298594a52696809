#include "platform/linux/agent/hotplug.h"

#include <poll.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace qx27::agentd {
namespace {

namespace fs = std::filesystem;
using Action = HotplugEvent::Action;

class SysfsWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    watch = OpenSysfsWatch(sys.string(), error);
    ASSERT_NE(watch, nullptr) << error;
  }

  // inotify queues its events inside the system call that caused them, so
  // what a step caused is waiting by the time the step returns.
  std::vector<HotplugEvent> Pending() {
    pollfd wait{watch->fd(), POLLIN, 0};
    std::vector<HotplugEvent> events;
    while (::poll(&wait, 1, 0) == 1) {
      for (const HotplugEvent& event : watch->Drain()) events.push_back(event);
    }
    return events;
  }

  test::TempFolder folder;
  fs::path sys = [this] {
    fs::create_directories(folder.Root() / "sys");
    return folder.Root() / "sys";
  }();
  std::unique_ptr<HotplugSource> watch;
};

TEST_F(SysfsWatchTest, AnEntryIsPluggedOnceItsUeventNamesAHidDeviceAndUnpluggedWhenItGoes) {
  fs::create_directories(sys / "hidraw3" / "device");
  EXPECT_EQ(Pending(), std::vector<HotplugEvent>{});  // no uevent yet: the device is still being set up

  test::WriteBytes(sys / "hidraw3" / "device" / "uevent", "DRIVER=hid-generic\nHID_ID=0003:00003938:00001101\n");
  EXPECT_EQ(Pending(), (std::vector<HotplugEvent>{{Action::kAdd, "hidraw3"}}));

  test::WriteBytes(sys / "hidraw3" / "device" / "uevent", "DRIVER=hid-generic\nHID_ID=0003:00003938:00001101\n");
  EXPECT_EQ(Pending(), std::vector<HotplugEvent>{});  // rewritten, still the same device

  fs::remove_all(sys / "hidraw3");
  EXPECT_EQ(Pending(), (std::vector<HotplugEvent>{{Action::kRemove, "hidraw3"}}));
}

TEST_F(SysfsWatchTest, EntriesPresentAtTheStartAreNoEventsAndEachOneThatComesOrGoesIsOne) {
  watch.reset();
  for (const char* name : {"hidraw0", "hidraw1"}) {
    fs::create_directories(sys / name / "device");
    test::WriteBytes(sys / name / "device" / "uevent", "HID_ID=0003:00003938:00001101\n");
  }
  std::string error;
  watch = OpenSysfsWatch(sys.string(), error);
  ASSERT_NE(watch, nullptr) << error;
  EXPECT_EQ(Pending(), std::vector<HotplugEvent>{});

  fs::remove_all(sys / "hidraw0");
  fs::create_directories(sys / "hidraw2" / "device");
  test::WriteBytes(sys / "hidraw2" / "device" / "uevent", "HID_ID=0003:0000046D:0000C077\n");
  fs::create_directories(sys / "hidraw9" / "device");
  test::WriteBytes(sys / "hidraw9" / "device" / "uevent", "DRIVER=something-else\n");
  EXPECT_EQ(Pending(), (std::vector<HotplugEvent>{{Action::kRemove, "hidraw0"}, {Action::kAdd, "hidraw2"}}));
}

TEST(SysfsWatchStart, AMissingFolderIsReportedRatherThanWatchedInVain) {
  test::TempFolder folder;
  std::string error;
  EXPECT_EQ(OpenSysfsWatch((folder.Root() / "none").string(), error), nullptr);
  EXPECT_NE(error, "");
}

}  // namespace
}  // namespace qx27::agentd
