#include "platform/linux/hidraw/hidraw_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <iterator>

#include "common/text.h"
#include "support/temp_folder.h"

namespace qx27::hidraw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const HidrawDeviceFilter kMouseIds{{0x3938, 0x1B80}, {0x1101, 0xB412}};

std::string Uevent(std::string_view hid_id) {
  return "DRIVER=hid-generic\nHID_ID=" + std::string(hid_id) + "\nHID_NAME=Some Device\nMODALIAS=hid:b0003\n";
}

std::size_t OpenDescriptorCount() {
  std::error_code error;
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd", error), {}));
}

class HidrawPortTest : public ::testing::Test {
 protected:
  // A node in the fake sysfs tree whose HID device has this uevent.
  void AddNode(const std::string& name, const std::string& uevent) {
    fs::create_directories(sys / name / "device");
    test::WriteBytes(sys / name / "device" / "uevent", uevent);
  }
  std::u16string DevicePath(const std::string& name) const { return FromUtf8((dev / name).string()); }

  test::TempFolder folder;
  fs::path sys = folder.Root() / "sys";
  fs::path dev = folder.Root() / "dev";
  HidrawPort port{kMouseIds, {sys, dev}};
};

TEST_F(HidrawPortTest, TheMouseNodesAreListedInNodeOrderUnderEveryPairingOfItsIds) {
  AddNode("hidraw10", Uevent("0003:00003938:00001101"));
  AddNode("hidraw2", Uevent("0003:00001B80:00001101"));
  AddNode("hidraw3", Uevent("0003:00003938:0000B412"));
  AddNode("hidraw4", Uevent("0005:00001b80:0000b412"));
  AddNode("hidraw0", Uevent("0003:0000046D:0000C077"));  // another mouse
  AddNode("hidraw5", Uevent("0003:00003938:00000001"));  // the vendor's other product
  AddNode("hidraw6", Uevent("0003:00013938:00001101"));  // not a 16-bit vendor ID

  EXPECT_EQ(port.EnumerateInterfaces(), (std::vector<std::u16string>{DevicePath("hidraw2"), DevicePath("hidraw3"),
                                                                     DevicePath("hidraw4"), DevicePath("hidraw10")}));
}

TEST_F(HidrawPortTest, NodesWithoutAReadableIdentityAreLeftOut) {
  AddNode("hidraw1", "DRIVER=hid-generic\nHID_NAME=x\nHID_ID=0003:00003938:00001101");  // no final line feed
  fs::create_directories(sys / "hidraw7");                                              // no device
  AddNode("hidraw8", "DRIVER=hid-generic\n");
  AddNode("hidraw9", Uevent("0003:00003938"));
  AddNode("hidraw11", Uevent("0003:zz:00001101"));
  AddNode("hidraw13", Uevent("0003::00001101"));
  AddNode("hidrawx1", Uevent("0003:00003938:00001101"));
  AddNode("event3", Uevent("0003:00003938:00001101"));

  EXPECT_EQ(port.EnumerateInterfaces(), std::vector<std::u16string>{DevicePath("hidraw1")});
  HidrawPort without_sysfs(kMouseIds, {folder.Root() / "missing", dev});
  EXPECT_TRUE(without_sysfs.EnumerateInterfaces().empty());
}

TEST_F(HidrawPortTest, AFileThatIsNoHidrawNodeFailsEveryRequestWithoutHarm) {
  fs::create_directories(dev);
  EXPECT_EQ(port.Open(DevicePath("hidraw0")), kInvalidHid);   // missing
  EXPECT_EQ(port.Open(FromUtf8(dev.string())), kInvalidHid);  // a folder
  test::WriteBytes(dev / "hidraw0", "");

  EXPECT_EQ(port.Open(DevicePath("hidraw0") + u'\0' + u"x"), kInvalidHid);  // would open hidraw0
  const HidHandle handle = port.Open(DevicePath("hidraw0"));
  ASSERT_NE(handle, kInvalidHid);
  HidCaps caps;
  HidAttributes attributes;
  std::array<std::uint8_t, 40> report{3};
  EXPECT_FALSE(port.GetCaps(handle, caps));
  EXPECT_FALSE(port.GetAttributes(handle, attributes));
  EXPECT_FALSE(port.SetFeature(handle, report));
  EXPECT_FALSE(port.GetFeature(handle, report));
  auto read = port.BeginRead(handle, std::span(report).first(4));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->Wait(), 0);

  port.Close(handle);
  for (const HidHandle stale : {handle, kInvalidHid, HidHandle{12345}}) {
    EXPECT_FALSE(port.GetCaps(stale, caps));
    EXPECT_FALSE(port.GetFeature(stale, report));
    EXPECT_EQ(port.BeginRead(stale, report), nullptr);
    port.Close(stale);
  }
  const HidHandle reopened = port.Open(DevicePath("hidraw0"));
  EXPECT_NE(reopened, handle) << "a closed handle's value must not come back for another node";
  port.Close(reopened);
}

// A FIFO stands in for the node where only reading matters: it polls and
// reads like a hidraw node that is waiting for the mouse.
class HidrawReadTest : public HidrawPortTest {
 protected:
  void SetUp() override {
    fs::create_directories(dev);
    ASSERT_EQ(::mkfifo((dev / "hidraw0").c_str(), 0600), 0);
  }
  // Stands in for the mouse sending a report.
  void Send(const std::array<std::uint8_t, 4>& report) {
    const int writer = ::open((dev / "hidraw0").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(::write(writer, report.data(), report.size()), 4);
    ::close(writer);
  }
};

TEST_F(HidrawReadTest, AReportThatArrivesEndsThePendingReadWithItsBytes) {
  const HidHandle handle = port.Open(DevicePath("hidraw0"));
  ASSERT_NE(handle, kInvalidHid);
  std::array<std::uint8_t, 4> buffer{};
  auto read = port.BeginRead(handle, buffer);
  ASSERT_NE(read, nullptr);
  const std::array<std::uint8_t, 4> event{0x02, 0x00, 0x03, 0x00};
  Send(event);
  EXPECT_EQ(read->Wait(), 4);
  EXPECT_EQ(buffer, event);
  port.Close(handle);
}

TEST_F(HidrawReadTest, ClosingTheHandleEndsThePendingReadWithNoBytesAndReleasesTheNode) {
  const std::size_t descriptors_before = OpenDescriptorCount();
  const HidHandle handle = port.Open(DevicePath("hidraw0"));
  ASSERT_NE(handle, kInvalidHid);
  std::array<std::uint8_t, 4> buffer{};
  auto read = port.BeginRead(handle, buffer);
  ASSERT_NE(read, nullptr);

  auto waited = std::async(std::launch::async, [&] { return read->Wait(); });
  // Nothing was sent: the read must still be waiting.
  EXPECT_EQ(waited.wait_for(50ms), std::future_status::timeout);
  port.Close(handle);
  if (waited.wait_for(30s) != std::future_status::ready) {
    Send({});  // lets the read end, so the test fails instead of hanging
    FAIL() << "Close left the read waiting";
  }
  EXPECT_EQ(waited.get(), 0);
  read.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptors_before);
}

}  // namespace
}  // namespace qx27::hidraw
