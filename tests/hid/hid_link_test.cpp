#include "hid/hid_link.h"

#include <gtest/gtest.h>

#include <array>

#include "interfaces/mouse_identity.h"
#include "sim/sim_hid.h"

namespace qx27 {
namespace {

using sim::SimHidBus;

class HidLinkTest : public ::testing::Test {
 protected:
  HidLinkTest() { link.SetSecondIds(mouse::kSecondVendorId, mouse::kSecondProductId); }

  // The path of the interface a handle was opened on, from the bus's books.
  bool HandleOnInterfaceWith(HidHandle handle, int input_length, int feature_length) {
    HidCaps caps;
    if (!bus.GetCaps(handle, caps)) return false;
    return caps.input_report_length == input_length && caps.feature_report_length == feature_length;
  }

  SimHidBus bus;
  HidLink link{bus};
};

TEST_F(HidLinkTest, EveryPairingOfTheTwoIdentitiesIsTakenForTheMouse) {
  struct Pairing {
    std::uint16_t vid, pid;
  };
  for (const Pairing p :
       {Pairing{0x3938, 0x1101}, Pairing{0x3938, 0xB412}, Pairing{0x1B80, 0x1101}, Pairing{0x1B80, 0xB412}}) {
    SimHidBus own_bus;
    own_bus.AddDevice(sim::MouseLayout(p.vid, p.pid));
    HidLink own_link(own_bus);
    own_link.SetSecondIds(mouse::kSecondVendorId, mouse::kSecondProductId);
    EXPECT_EQ(own_link.OpenInterface(40), 1) << std::hex << p.vid << ":" << p.pid;
  }
}

TEST_F(HidLinkTest, OtherDevicesAreNotTakenForTheMouse) {
  bus.AddDevice(sim::MouseLayout(0x3938, 0x1102, u"other-product"));
  bus.AddDevice(sim::MouseLayout(0x046D, 0x1101, u"other-vendor"));
  EXPECT_EQ(link.OpenInterface(40), 0);
  EXPECT_EQ(link.input_handle(), kInvalidHid);
  EXPECT_EQ(bus.open_handles(), 0);
}

TEST_F(HidLinkTest, TheSecondIdentityCountsOnlyOnceStartUpHasStoredIt) {
  SimHidBus own_bus;
  own_bus.AddDevice(sim::MouseLayout(0x1B80, 0xB412));
  HidLink fresh(own_bus);
  EXPECT_EQ(fresh.OpenInterface(40), 0);
  fresh.SetSecondIds(mouse::kSecondVendorId, mouse::kSecondProductId);
  EXPECT_EQ(fresh.OpenInterface(40), 1);
}

TEST_F(HidLinkTest, SearchWithoutMatchingFeatureLengthStillOpensTheEventsInterface) {
  bus.AddDevice(sim::MouseLayout());
  EXPECT_EQ(link.OpenInterface(100), 0);
  EXPECT_EQ(link.feature_handle(), kInvalidHid);
  ASSERT_NE(link.input_handle(), kInvalidHid);
  EXPECT_TRUE(HandleOnInterfaceWith(link.input_handle(), 4, 0));
  EXPECT_EQ(bus.open_handles(), 1);
}

TEST_F(HidLinkTest, FeatureHandleFollowsTheLastLengthAskedFor) {
  bus.AddDevice(sim::MouseLayout());
  ASSERT_EQ(link.OpenInterface(40), 1);
  const HidHandle first = link.feature_handle();
  ASSERT_EQ(link.OpenInterface(2049), 1);
  EXPECT_TRUE(HandleOnInterfaceWith(link.feature_handle(), 0, 2049));
  HidCaps caps;
  EXPECT_FALSE(bus.GetCaps(first, caps)) << "the interface of the first length must be closed";
  EXPECT_EQ(bus.open_handles(), 2);
  EXPECT_EQ(bus.closes_of_closed_handles(), 0);
}

TEST_F(HidLinkTest, UnpluggedMouseLeavesBothHandlesInvalidAndNothingReachesADevice) {
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseLayout());
  ASSERT_EQ(link.OpenInterface(40), 1);
  mouse.Unplug();
  EXPECT_EQ(link.OpenInterface(40), 0);
  EXPECT_EQ(link.feature_handle(), kInvalidHid);
  EXPECT_EQ(link.input_handle(), kInvalidHid);
  std::array<std::uint8_t, 40> report{3};
  EXPECT_EQ(link.SetFeature(report), 0);
  EXPECT_EQ(link.GetFeature(report), 0);
  EXPECT_EQ(mouse.sets_refused(3) + mouse.sets_accepted(3), 0);
  EXPECT_EQ(bus.open_handles(), 0);
  EXPECT_EQ(bus.operations_on_closed_handles(), 0);
}

TEST_F(HidLinkTest, HandlesOfAnUnpluggedMouseFailUntilTheNextSearch) {
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseLayout());
  ASSERT_EQ(link.OpenInterface(40), 1);
  mouse.Unplug();
  std::array<std::uint8_t, 40> report{3};
  EXPECT_EQ(link.SetFeature(report), 0);
  EXPECT_NE(link.feature_handle(), kInvalidHid) << "nothing closes the handles on removal but the next search";
  mouse.Plug();
  EXPECT_EQ(link.OpenInterface(40), 1);
  EXPECT_EQ(link.SetFeature(report), 1);
}

TEST_F(HidLinkTest, OneInterfaceInBothRolesHoldsOneHandleAndIsClosedOnce) {
  bus.AddDevice(sim::MouseLayoutSharedEventsInterface());
  {
    HidLink shared(bus);
    ASSERT_EQ(shared.OpenInterface(8), 1);
    EXPECT_EQ(shared.feature_handle(), shared.input_handle());
    EXPECT_EQ(bus.open_handles(), 1);
    ASSERT_EQ(shared.OpenInterface(8), 1);
    EXPECT_EQ(bus.open_handles(), 1);
  }
  EXPECT_EQ(bus.open_handles(), 0);
  EXPECT_EQ(bus.closes_of_closed_handles(), 0);
}

TEST_F(HidLinkTest, ClosingTheSharedFeatureHandleTakesTheInputRoleWithIt) {
  bus.AddDevice(sim::MouseLayoutSharedEventsInterface());
  ASSERT_EQ(link.OpenInterface(8), 1);
  link.CloseFeatureHandle();
  EXPECT_EQ(link.input_handle(), kInvalidHid);
  EXPECT_EQ(bus.open_handles(), 0);
  EXPECT_EQ(bus.closes_of_closed_handles(), 0);
}

TEST_F(HidLinkTest, ManySearchesLeaveExactlyTheTwoRoleHandlesOpen) {
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseLayout());
  bus.AddDevice(sim::MouseLayout(0x046D, 0xC077, u"bystander"));
  const int lengths[] = {100, 8, 40, 2049, 40, 7};
  for (int round = 0; round < 50; ++round) link.OpenInterface(lengths[round % 6]);
  link.OpenInterface(40);
  EXPECT_EQ(bus.open_handles(), 2);
  EXPECT_EQ(bus.open_handles_on(mouse), 2);
  EXPECT_EQ(bus.closes_of_closed_handles(), 0);
}

TEST_F(HidLinkTest, InterfaceThatCannotBeOpenedIsSkipped) {
  // The first interface of the simulated mouse is the system-owned pointer.
  bus.AddDevice(sim::MouseLayout());
  EXPECT_EQ(link.OpenInterface(2049), 1);
  EXPECT_TRUE(HandleOnInterfaceWith(link.feature_handle(), 0, 2049));
}

TEST_F(HidLinkTest, FeatureReportsTravelOnTheInterfaceOfTheirLength) {
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseLayout());
  ASSERT_EQ(link.OpenInterface(40), 1);
  std::array<std::uint8_t, 40> out{3, 1, 2, 3};
  EXPECT_EQ(link.SetFeature(out), 1);
  std::array<std::uint8_t, 40> in{3};
  EXPECT_EQ(link.GetFeature(in), 1);
  EXPECT_EQ(in, out);
  std::array<std::uint8_t, 2049> wrong_length{4};
  EXPECT_EQ(link.SetFeature(wrong_length), 0);
  EXPECT_EQ(mouse.sets_accepted(4), 0);
}

TEST_F(HidLinkTest, DestructionClosesEveryHandle) {
  bus.AddDevice(sim::MouseLayout());
  {
    HidLink temporary(bus);
    ASSERT_EQ(temporary.OpenInterface(40), 1);
    EXPECT_EQ(bus.open_handles(), 2);
  }
  EXPECT_EQ(bus.open_handles(), 0);
  EXPECT_EQ(bus.closes_of_closed_handles(), 0);
}

}  // namespace
}  // namespace qx27
