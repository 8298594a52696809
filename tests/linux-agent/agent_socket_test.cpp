#include "platform/linux/session/agent_socket.h"

#include <gtest/gtest.h>

#include <vector>

namespace qx27::session {
namespace {

std::vector<std::uint8_t> Bytes(const std::array<std::uint8_t, kRecordSize>& record) {
  return {record.begin(), record.end()};
}

TEST(AgentSocketRecord, AnApplyRequestTravelsAsThirtyTwoLittleEndianBytes) {
  const auto bytes = EncodeRecord({RecordKind::kSend, 0x04FF, 0x0102030405060708u, -2});
  EXPECT_EQ(Bytes(bytes), (std::vector<std::uint8_t>{'Q',  'X',  '2',  '7',  1,    0,    2,    0,    0xFF, 0x04, 0,
                                                     0,    0,    0,    0,    0,    0x08, 0x07, 0x06, 0x05, 0x04, 0x03,
                                                     0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(DecodeRecord(bytes), (Record{RecordKind::kSend, 0x04FF, 0x0102030405060708u, -2}));
}

TEST(AgentSocketRecord, ANoticeKeepsTheWholeRangeOfItsParameters) {
  const Record exit_notice{RecordKind::kNotice, 0x0111, 0xFFFFFFFFFFFFFFFFu, INT64_MIN};
  EXPECT_EQ(DecodeRecord(EncodeRecord(exit_notice)), exit_notice);
}

TEST(AgentSocketRecord, AnythingButOneWholeRecordOfThisVersionIsRefused) {
  const auto good = EncodeRecord({RecordKind::kPost, 0x04FF, 0, 0});
  ASSERT_TRUE(DecodeRecord(good));
  const std::vector<std::uint8_t> whole = Bytes(good);

  EXPECT_FALSE(DecodeRecord(std::span(whole).first(kRecordSize - 1)));
  std::vector<std::uint8_t> longer = whole;
  longer.push_back(0);
  EXPECT_FALSE(DecodeRecord(longer));
  EXPECT_FALSE(DecodeRecord({}));

  const auto changed = [&](std::size_t offset, std::uint8_t value) {
    std::vector<std::uint8_t> bytes = whole;
    bytes[offset] = value;
    return DecodeRecord(bytes);
  };
  EXPECT_FALSE(changed(0, 'q'));  // magic
  EXPECT_FALSE(changed(4, 2));    // version
  EXPECT_FALSE(changed(6, 0));    // kind 0
  EXPECT_FALSE(changed(6, 8));    // kind past the last
  EXPECT_FALSE(changed(7, 1));    // kind 0x0101
  EXPECT_FALSE(changed(12, 1));   // reserved
  EXPECT_TRUE(changed(6, 7));     // kRefused, the last kind
}

TEST(AgentSocketRecord, ClientsMayAskForRequestsAndNotificationsButNotForTheMousesOwnEvents) {
  for (const std::uint32_t taken : {0x04FFu, 0x0501u, 0x0010u, 0x0219u, 0x02B1u}) {
    EXPECT_TRUE(AcceptedFromClients(taken)) << taken;
  }
  // The DPI-stage event, WM_CREATE, WM_DESTROY, WM_TIMER (the presence check),
  // the tray callback and WM_COMMAND (the tray menu, the exit notice).
  for (const std::uint32_t refused : {0x0500u, 0x0001u, 0x0002u, 0x0113u, 0x0465u, 0x0111u}) {
    EXPECT_FALSE(AcceptedFromClients(refused)) << refused;
  }
}

}  // namespace
}  // namespace qx27::session
