// qx27agentd's socket: requests to the agent and its notices, one fixed-size
// record per packet on a SOCK_SEQPACKET Unix socket in the user's runtime
// folder. A record carries a window message of the Windows agent by its
// number, so the portable core handles a request exactly as it handles the
// same message posted to its window there. qx27agentd and every client
// (qx27ctl, test harnesses) use this header; nothing else defines the format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/little_endian.h"

namespace qx27::session {

enum class RecordKind : std::uint16_t {
  // Client to agent: queue the message for the agent; no answer.
  kPost = 1,
  // Client to agent: handle the message; a kResult (or kRefused) answers once
  // the agent's handler has returned, so the client knows the work is done.
  kSend = 2,
  // Agent to client: `lparam` holds the handler's result for a kSend.
  kResult = 3,
  // Client to agent: deliver to this connection every message the agent posts
  // to the companion UI; answered with kSubscribed once in force. The message
  // fields are not used.
  kSubscribe = 4,
  kSubscribed = 5,
  // Agent to subscriber: one message the agent posted to the companion UI
  // (0x0505, 0x0506, 0x0915, and WM_COMMAND 0xFFFFFFFF when it ends).
  kNotice = 6,
  // Agent to client: a kSend of a message the agent does not take from
  // outside (see AcceptedFromClients), or a record it could not decode.
  kRefused = 7,
};

// One record as it travels: 32 bytes, little-endian, no padding.
struct WireRecord {
  std::array<char, 4> magic;  // "QX27"
  LittleEndian<std::uint16_t> version;
  LittleEndian<std::uint16_t> kind;
  LittleEndian<std::uint32_t> message;
  LittleEndian<std::uint32_t> reserved;  // 0
  LittleEndian<std::uint64_t> wparam;
  LittleEndian<std::int64_t> lparam;
};
static_assert(sizeof(WireRecord) == 32 && alignof(WireRecord) == 1);
static_assert(offsetof(WireRecord, version) == 4 && offsetof(WireRecord, kind) == 6);
static_assert(offsetof(WireRecord, message) == 8 && offsetof(WireRecord, reserved) == 12);
static_assert(offsetof(WireRecord, wparam) == 16 && offsetof(WireRecord, lparam) == 24);

inline constexpr std::array<char, 4> kMagic = {'Q', 'X', '2', '7'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kRecordSize = sizeof(WireRecord);

struct Record {
  RecordKind kind = RecordKind::kPost;
  std::uint32_t message = 0;
  std::uint64_t wparam = 0;
  std::int64_t lparam = 0;
  bool operator==(const Record&) const = default;
};

std::array<std::uint8_t, kRecordSize> EncodeRecord(const Record& record);
// Nothing unless `bytes` is exactly one record of this version with a known
// kind and a zero reserved field.
std::optional<Record> DecodeRecord(std::span<const std::uint8_t> bytes);

// The messages a client may post or send to the agent: the companion UI's two
// requests, WM_CLOSE (ends the agent), and the device-change and
// session-change notifications, for a bridge that learns of them elsewhere.
// The mouse's own events (0x0500) come from the mouse only.
bool AcceptedFromClients(std::uint32_t message);

}  // namespace qx27::session
