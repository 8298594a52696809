#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "hid/hid_link.h"
#include "hid/input_report.h"
#include "interfaces/companion_ui.h"
#include "interfaces/mouse_identity.h"
#include "platform/linux/clock_and_debug.h"
#include "platform/linux/window_port.h"
#include "sim/sim_hid.h"

namespace qx27 {
namespace {

using linux_host::PostedMessage;

// Lets the reader go round as fast as it can: the stress wants many passes.
class InstantClock final : public ClockPort {
 public:
  std::uint32_t TickCount() override { return 0; }
  void Sleep(std::uint32_t) override { std::this_thread::yield(); }
};

class InputReaderTest : public ::testing::Test {
 protected:
  void Start() {
    link.SetSecondIds(mouse::kSecondVendorId, mouse::kSecondProductId);
    ASSERT_EQ(link.StartHidLink(windows, debug, clock, agent, notification), 1);
  }
  void Press(std::array<std::uint8_t, 4> report) { mouse.SendInput(report); }
  // Waits until the reader has consumed every queued report and is waiting
  // for the next one.
  void Settle() {
    for (int i = 0; i < 2000 && (mouse.queued_input() > 0 || !bus.WaitForPendingRead(1)); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::vector<PostedMessage> DpiMessages() const {
    std::vector<PostedMessage> found;
    for (const PostedMessage& m : windows.ReceivedBy(agent)) {
      if (m.message == companion::kDpiStageEvent) found.push_back(m);
    }
    return found;
  }

  sim::SimHidBus bus;
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseLayout());
  linux_host::InProcessWindows windows;
  linux_host::CapturedDebugOutput debug;
  linux_host::SteadyClock clock;
  WindowHandle agent = windows.AddForeignWindow(u"agent under test");
  std::uintptr_t notification = 0;
  HidLink link{bus};
};

TEST(InputReportLine, ShowsTheLengthAndEightBytesInLowercaseHex) {
  const std::array<std::uint8_t, 8> bytes = {0x02, 0x00, 0xAB, 0x00, 0, 0, 0, 0xFF};
  EXPECT_EQ(FormatInputReportLine(4, bytes), u"4: 02 00 ab 00 00 00 00 ff\n");
}

TEST(DpiStageReport, OnlyReportTwoWithZeroFramingAndANonZeroStageCounts) {
  EXPECT_EQ(DpiStageOf(std::array<std::uint8_t, 4>{2, 0, 3, 0}), 3);
  EXPECT_EQ(DpiStageOf(std::array<std::uint8_t, 4>{2, 0, 0xFF, 0}), 255);
  EXPECT_EQ(DpiStageOf(std::array<std::uint8_t, 4>{2, 0, 0, 0}), 0);
  EXPECT_EQ(DpiStageOf(std::array<std::uint8_t, 4>{2, 1, 3, 0}), 0);
  EXPECT_EQ(DpiStageOf(std::array<std::uint8_t, 4>{2, 0, 3, 1}), 0);
  EXPECT_EQ(DpiStageOf(std::array<std::uint8_t, 4>{3, 0, 3, 0}), 0);
}

TEST_F(InputReaderTest, DpiPressBecomesADebugLineAndAMessageCarryingTheStage) {
  Start();
  Press({2, 0, 3, 0});
  ASSERT_TRUE(debug.WaitForLines(1, 5000));
  Settle();
  EXPECT_EQ(debug.Lines().at(0), u"4: 02 00 03 00 00 00 00 00\n");
  EXPECT_EQ(DpiMessages(), (std::vector<PostedMessage>{{agent, companion::kDpiStageEvent, 3, 0}}));
}

TEST_F(InputReaderTest, OtherReportsAreOnlyWrittenToTheDebugOutput) {
  Start();
  Press({2, 0, 0, 0});
  Press({2, 1, 3, 0});
  Press({2, 0, 3, 1});
  Press({7, 0, 3, 0});
  Press({2, 0, 0xFF, 0});
  ASSERT_TRUE(debug.WaitForLines(5, 5000));
  Settle();
  EXPECT_EQ(debug.Lines().at(3), u"4: 07 00 03 00 00 00 00 00\n");
  EXPECT_EQ(DpiMessages(), (std::vector<PostedMessage>{{agent, companion::kDpiStageEvent, 255, 0}}));
}

TEST_F(InputReaderTest, StartRegistersForHidNotificationsAndOpensTheEventsInterface) {
  Start();
  EXPECT_NE(notification, 0u);
  EXPECT_EQ(windows.hid_registrations(), 1);
  EXPECT_NE(link.input_handle(), kInvalidHid);
  EXPECT_EQ(link.notification_window(), agent);
}

TEST_F(InputReaderTest, ReaderStaysAsleepWhileNoInputInterfaceIsOpen) {
  mouse.Unplug();
  Start();
  ASSERT_EQ(link.input_handle(), kInvalidHid);
  const int reads_before = bus.reads_issued();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(bus.reads_issued(), reads_before) << "no wake-ups while the mouse is away";
  mouse.Plug();
  link.OpenInterface(mouse::kPerformanceReportLength);
  Press({2, 0, 4, 0});
  ASSERT_TRUE(debug.WaitForLines(1, 5000));
  Settle();
  EXPECT_EQ(DpiMessages().size(), 1u);
}

TEST_F(InputReaderTest, PressesAfterUnplugAndPlugArriveOnceASearchHasReopenedTheHandle) {
  Start();
  mouse.Unplug();
  link.OpenInterface(mouse::kPerformanceReportLength);
  mouse.Plug();
  link.OpenInterface(mouse::kButtonReportLength);
  Press({2, 0, 2, 0});
  ASSERT_TRUE(debug.WaitForLines(1, 5000));
  Settle();
  EXPECT_EQ(DpiMessages(), (std::vector<PostedMessage>{{agent, companion::kDpiStageEvent, 2, 0}}));
  EXPECT_EQ(bus.reads_on_closed_handles(), 0);
}

TEST_F(InputReaderTest, DestructionWithAReadPendingEndsTheThreadAndClosesEveryHandle) {
  {
    HidLink temporary(bus);
    temporary.StartHidLink(windows, debug, clock, agent, notification);
    ASSERT_TRUE(bus.WaitForPendingRead(5000));
  }
  EXPECT_EQ(bus.open_handles(), 0);
  EXPECT_EQ(bus.closes_of_closed_handles(), 0);
  EXPECT_EQ(bus.reads_on_closed_handles(), 0);
}

// The window's thread replaces the input handle thousands of times while the
// mouse reports DPI presses: no read may land on a closed handle, and the link
// must shut down cleanly each time. The system loses the presses that come
// while no handle is open and those left unread in a handle as it closes;
// every other press must arrive, once and in order.
TEST_F(InputReaderTest, HandleSwapsUnderConstantPressesLoseNothingTheSystemHandedOverAndNeverReadAClosedHandle) {
  constexpr int kRounds = 3;
  constexpr int kSwaps = 1500;
  constexpr int kPresses = 600;
  const int lengths[] = {40, 2049, 8, 100};
  for (int round = 0; round < kRounds; ++round) {
    sim::SimHidBus own_bus;
    sim::SimDevice& own_mouse =
        own_bus.AddDevice(round == 1 ? sim::MouseLayoutSharedEventsInterface() : sim::MouseLayout());
    linux_host::InProcessWindows own_windows;
    linux_host::CapturedDebugOutput own_debug;
    InstantClock instant_clock;
    const WindowHandle target = own_windows.AddForeignWindow(u"agent");
    {
      HidLink stressed(own_bus);
      std::uintptr_t registration = 0;
      stressed.StartHidLink(own_windows, own_debug, instant_clock, target, registration);

      std::thread presser([&] {
        for (int i = 0; i < kPresses; ++i) {
          while (own_mouse.queued_input() >= 16) std::this_thread::yield();
          const std::array<std::uint8_t, 4> report = {2, 0, static_cast<std::uint8_t>(i % 254 + 1), 0};
          own_mouse.SendInput(report);
          if (i % 8 == 0) std::this_thread::yield();
        }
      });
      for (int i = 0; i < kSwaps; ++i) stressed.OpenInterface(lengths[i % 4]);
      presser.join();
      // With the handle back and no more swaps, one last press, of a stage no
      // other press has, must arrive.
      stressed.OpenInterface(40);
      const std::array<std::uint8_t, 4> last = {2, 0, 255, 0};
      own_mouse.SendInput(last);

      // Every press is either lost by the system or handed to the reader.
      std::vector<PostedMessage> received;
      for (int wait = 0; wait < 5000; ++wait) {
        received = own_windows.ReceivedBy(target);
        if (static_cast<int>(received.size()) + own_mouse.input_lost() >= kPresses + 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      ASSERT_EQ(static_cast<int>(received.size()) + own_mouse.input_lost(), kPresses + 1) << "round " << round;
      ASSERT_EQ(received.back().wparam, 255u) << "the last press arrived last, round " << round;
      received.pop_back();
      // Stages run 1..254 and again; a press can only be followed by a later one.
      int previous = -1;
      for (const PostedMessage& message : received) {
        const int stage = static_cast<int>(message.wparam);
        int press = previous + 1;
        while (press < kPresses && press % 254 + 1 != stage) ++press;
        ASSERT_LT(press, kPresses) << "stage " << stage << " after press " << previous << " round " << round;
        previous = press;
      }
    }
    EXPECT_EQ(own_bus.reads_on_closed_handles(), 0) << "round " << round;
    EXPECT_EQ(own_bus.operations_on_closed_handles(), 0) << "round " << round;
    EXPECT_EQ(own_bus.closes_of_closed_handles(), 0) << "round " << round;
    EXPECT_EQ(own_bus.open_handles(), 0) << "round " << round;
  }
}

}  // namespace
}  // namespace qx27
