// A client's end of qx27agentd's socket: qx27ctl and the tests use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/session/agent_socket.h"

namespace qx27::session {

class AgentClient {
 public:
  // Nothing when no agent answers on `socket_path`.
  static std::optional<AgentClient> Connect(const std::string& socket_path);

  ~AgentClient();
  AgentClient(AgentClient&& other) noexcept;
  AgentClient& operator=(AgentClient&& other) noexcept;
  AgentClient(const AgentClient&) = delete;
  AgentClient& operator=(const AgentClient&) = delete;

  // Queues the message for the agent, as PostMessage does.
  bool Post(std::uint32_t message, std::uint64_t wparam = 0, std::int64_t lparam = 0);
  // Has the agent handle the message and waits for the answer (kResult with
  // the handler's result in lparam, or kRefused), up to `timeout_ms` (-1: no
  // limit). Nothing when the agent ended or the time passed.
  std::optional<Record> Send(std::uint32_t message, std::uint64_t wparam, std::int64_t lparam, int timeout_ms);
  // Asks for the agent's notices and waits until the agent has it in force.
  bool Subscribe(int timeout_ms);
  // The next record from the agent; nothing when it ended or the time passed.
  std::optional<Record> Next(int timeout_ms);

  int fd() const { return fd_; }

 private:
  explicit AgentClient(int fd) : fd_(fd) {}
  bool Write(const Record& record);
  int fd_ = -1;
};

}  // namespace qx27::session
