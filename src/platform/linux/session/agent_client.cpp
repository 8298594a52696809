#include "platform/linux/session/agent_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qx27::session {

std::optional<AgentClient> AgentClient::Connect(const std::string& socket_path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.empty() || socket_path.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return AgentClient(fd);
}

AgentClient::~AgentClient() {
  if (fd_ >= 0) ::close(fd_);
}

AgentClient::AgentClient(AgentClient&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

AgentClient& AgentClient::operator=(AgentClient&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool AgentClient::Write(const Record& record) {
  const auto bytes = EncodeRecord(record);
  for (;;) {
    const ssize_t put = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    return put == static_cast<ssize_t>(bytes.size());
  }
}

bool AgentClient::Post(std::uint32_t message, std::uint64_t wparam, std::int64_t lparam) {
  return Write({RecordKind::kPost, message, wparam, lparam});
}

std::optional<Record> AgentClient::Send(std::uint32_t message, std::uint64_t wparam, std::int64_t lparam,
                                        int timeout_ms) {
  if (!Write({RecordKind::kSend, message, wparam, lparam})) return std::nullopt;
  // Notices of a subscribed connection may come first.
  while (std::optional<Record> answer = Next(timeout_ms)) {
    if (answer->kind == RecordKind::kResult || answer->kind == RecordKind::kRefused) return answer;
  }
  return std::nullopt;
}

bool AgentClient::Subscribe(int timeout_ms) {
  if (!Write({RecordKind::kSubscribe, 0, 0, 0})) return false;
  const std::optional<Record> answer = Next(timeout_ms);
  return answer && answer->kind == RecordKind::kSubscribed;
}

std::optional<Record> AgentClient::Next(int timeout_ms) {
  pollfd wait{fd_, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&wait, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    break;
  }
  std::array<std::uint8_t, kRecordSize + 1> bytes{};
  ssize_t got = -1;
  do {
    got = ::recv(fd_, bytes.data(), bytes.size(), 0);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return std::nullopt;
  return DecodeRecord(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(got)));
}

}  // namespace qx27::session
