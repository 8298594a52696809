#include "platform/linux/session/agent_socket.h"

#include <cstring>

#include "interfaces/companion_ui.h"
#include "ports/window_port.h"

namespace qx27::session {

std::array<std::uint8_t, kRecordSize> EncodeRecord(const Record& record) {
  WireRecord wire{};
  wire.magic = kMagic;
  wire.version = kVersion;
  wire.kind = static_cast<std::uint16_t>(record.kind);
  wire.message = record.message;
  wire.reserved = 0;
  wire.wparam = record.wparam;
  wire.lparam = record.lparam;
  std::array<std::uint8_t, kRecordSize> bytes{};
  std::memcpy(bytes.data(), &wire, kRecordSize);
  return bytes;
}

std::optional<Record> DecodeRecord(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kRecordSize) return std::nullopt;
  WireRecord wire{};
  std::memcpy(&wire, bytes.data(), kRecordSize);
  if (wire.magic != kMagic || wire.version != kVersion || wire.reserved != 0) return std::nullopt;
  const std::uint16_t kind = wire.kind;
  if (kind < static_cast<std::uint16_t>(RecordKind::kPost) || kind > static_cast<std::uint16_t>(RecordKind::kRefused)) {
    return std::nullopt;
  }
  return Record{static_cast<RecordKind>(kind), wire.message, wire.wparam, wire.lparam};
}

bool AcceptedFromClients(std::uint32_t message) {
  return message == companion::kApplyRequest || message == companion::kDeviceCommandRequest || message == msg::kClose ||
         message == msg::kDeviceChange || message == msg::kSessionChange;
}

}  // namespace qx27::session
