// The hidraw port against the simulated mouse served over FUSE: every request
// goes through the kernel's own open, ioctl, poll and read.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <numeric>

#include "common/text.h"
#include "platform/linux/hidraw/hidraw_port.h"
#include "sim/linux/fuse_mouse.h"
#include "sim/report_text.h"
#include "support/temp_folder.h"

namespace qx27::hidraw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::FuseMouse;
using sim::MouseService;

// Long enough for any loaded machine; a read that ends later is hanging.
constexpr auto kReadBound = 20s;

class FuseMouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder.Root() / "mnt");
    FuseMouse::Started started = FuseMouse::Start(service, {folder.Root() / "mnt", folder.Root() / "sys"});
    if (started.fuse_unavailable) GTEST_SKIP() << "FUSE is unavailable: " << started.error;
    ASSERT_NE(started.mouse, nullptr) << started.error;
    mouse = std::move(started.mouse);
  }

  // The open node whose interface has these lengths.
  HidHandle OpenInterface(int input_length, int feature_length) {
    for (const std::u16string& path : port.EnumerateInterfaces()) {
      const HidHandle handle = port.Open(path);
      HidCaps caps;
      if (handle != kInvalidHid && port.GetCaps(handle, caps) && caps.input_report_length == input_length &&
          caps.feature_report_length == feature_length) {
        return handle;
      }
      port.Close(handle);
    }
    return kInvalidHid;
  }

  // Waits for the read without hanging: when it does not end in time, the
  // handle is closed so that it ends, and the test fails.
  int WaitBounded(PendingRead& read, HidHandle handle) {
    auto waited = std::async(std::launch::async, [&] { return read.Wait(); });
    if (waited.wait_for(kReadBound) != std::future_status::ready) {
      port.Close(handle);
      ADD_FAILURE() << "the read did not end";
    }
    return waited.get();
  }

  test::TempFolder folder;
  MouseService service;
  std::unique_ptr<FuseMouse> mouse;  // unmounted before the folder goes
  HidrawPort port{{{0x3938, 0x1B80}, {0x1101, 0xB412}}, {folder.Root() / "sys", folder.Root() / "mnt"}};
};

TEST_F(FuseMouseTest, EveryInterfaceOfTheMouseIsFoundWithItsLengthsAndIdentity) {
  const auto paths = port.EnumerateInterfaces();
  const auto& layout = service.mouse().layout().interfaces;
  ASSERT_EQ(paths.size(), layout.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(ToUtf8(paths[i]));
    const HidHandle handle = port.Open(paths[i]);
    if (!layout[i].can_open) {
      EXPECT_EQ(handle, kInvalidHid);
      continue;
    }
    ASSERT_NE(handle, kInvalidHid);
    HidCaps caps;
    HidAttributes attributes;
    ASSERT_TRUE(port.GetCaps(handle, caps));
    EXPECT_EQ(caps.input_report_length, layout[i].input_report_length);
    EXPECT_EQ(caps.feature_report_length, layout[i].feature_report_length);
    ASSERT_TRUE(port.GetAttributes(handle, attributes));
    EXPECT_EQ(attributes.vendor_id, 0x3938);
    EXPECT_EQ(attributes.product_id, 0x1101);
    port.Close(handle);
  }
}

TEST_F(FuseMouseTest, FeatureReportsReachTheMouseByteForByteAndComeBackOnGet) {
  for (const int length : {40, 2049}) {
    SCOPED_TRACE(length);
    const HidHandle handle = OpenInterface(0, length);
    ASSERT_NE(handle, kInvalidHid);
    std::vector<std::uint8_t> report(static_cast<std::size_t>(length));
    std::iota(report.begin(), report.end(), std::uint8_t{7});
    report[0] = length == 40 ? 3 : 4;
    ASSERT_TRUE(port.SetFeature(handle, report));
    EXPECT_EQ(service.mouse().SetLog().back(), report);

    std::vector<std::uint8_t> got(report.size(), 0xEE);
    got[0] = report[0];
    ASSERT_TRUE(port.GetFeature(handle, got));
    EXPECT_EQ(got, report);
    port.Close(handle);
  }
}

TEST_F(FuseMouseTest, RefusedAndWronglySizedSetsFailAndStoreNothing) {
  const HidHandle handle = OpenInterface(0, 40);
  ASSERT_NE(handle, kInvalidHid);
  std::array<std::uint8_t, 40> report{3, 1, 2, 3};
  service.mouse().RefuseNextSets(1);
  EXPECT_FALSE(port.SetFeature(handle, report));
  EXPECT_FALSE(port.SetFeature(handle, std::span(report).first(8)));
  EXPECT_TRUE(service.mouse().SetLog().empty());
  EXPECT_TRUE(port.SetFeature(handle, report));
  EXPECT_EQ(mouse->Handle("log").text, "ok\nset refused " + sim::HexBytes(report) +
                                           "\nset rejected 03 01 02 03 00 00 00 00\nset accepted " +
                                           sim::HexBytes(report) + "\n");
  port.Close(handle);
}

TEST_F(FuseMouseTest, ADpiPressEndsAPendingReadWithTheStageReport) {
  const HidHandle handle = OpenInterface(4, 0);
  ASSERT_NE(handle, kInvalidHid);
  std::array<std::uint8_t, 4> buffer{};
  const auto read = port.BeginRead(handle, buffer);
  ASSERT_NE(read, nullptr);
  auto waited = std::async(std::launch::async, [&] { return WaitBounded(*read, handle); });
  ASSERT_TRUE(mouse->WaitForWaitingPoller(kReadBound));
  EXPECT_EQ(mouse->Handle("dpi 3").text, "ok\n");
  EXPECT_EQ(waited.get(), 4);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{0x02, 0x00, 0x03, 0x00}));
  port.Close(handle);
}

TEST_F(FuseMouseTest, ClosingTheHandleEndsAPendingReadWithNoBytes) {
  const HidHandle handle = OpenInterface(4, 0);
  ASSERT_NE(handle, kInvalidHid);
  std::array<std::uint8_t, 4> buffer{};
  const auto read = port.BeginRead(handle, buffer);
  ASSERT_NE(read, nullptr);
  auto waited = std::async(std::launch::async, [&] { return read->Wait(); });
  EXPECT_EQ(waited.wait_for(50ms), std::future_status::timeout) << "the read ended with nothing sent";
  port.Close(handle);
  ASSERT_EQ(waited.wait_for(kReadBound), std::future_status::ready) << "Close left the read waiting";
  EXPECT_EQ(waited.get(), 0);
}

TEST_F(FuseMouseTest, UnplugEndsAPendingReadAndRemovesTheNodesUntilThePlug) {
  const HidHandle events = OpenInterface(4, 0);
  const HidHandle performance = OpenInterface(0, 40);
  ASSERT_NE(events, kInvalidHid);
  ASSERT_NE(performance, kInvalidHid);
  std::array<std::uint8_t, 4> buffer{};
  const auto read = port.BeginRead(events, buffer);
  ASSERT_NE(read, nullptr);
  auto waited = std::async(std::launch::async, [&] { return WaitBounded(*read, events); });
  ASSERT_TRUE(mouse->WaitForWaitingPoller(kReadBound));

  EXPECT_EQ(mouse->Handle("unplug").text, "ok\n");
  EXPECT_EQ(waited.get(), 0);
  EXPECT_TRUE(port.EnumerateInterfaces().empty());
  EXPECT_EQ(port.Open(FromUtf8((folder.Root() / "mnt" / "hidraw1").string())), kInvalidHid);
  std::array<std::uint8_t, 40> report{3};
  EXPECT_FALSE(port.SetFeature(performance, report));
  port.Close(events);
  port.Close(performance);

  EXPECT_EQ(mouse->Handle("plug").text, "ok\n");
  EXPECT_EQ(port.EnumerateInterfaces().size(), service.mouse().layout().interfaces.size());
  const HidHandle replugged = OpenInterface(0, 40);
  ASSERT_NE(replugged, kInvalidHid);
  EXPECT_TRUE(port.SetFeature(replugged, report));
  port.Close(replugged);
}

}  // namespace
}  // namespace qx27::hidraw
