// qx27testctl on Linux: the companion UI's and the system's messages to
// qx27agentd over its socket, for tools/linux-harness ctl. It prints itself as
// qx27ctl and prints what the Windows qx27testctl prints for the same
// commands, so that scripts read both alike.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "interfaces/companion_ui.h"
#include "platform/linux/session/agent_socket.h"
#include "platform/linux/session/session_paths.h"
#include "ports/window_port.h"

namespace {

using qx27::session::Record;
using qx27::session::RecordKind;

int Usage() {
  std::fputs(
      "usage: qx27ctl COMMAND [ARG]\n"
      "  apply | command | close          post 0x04FF, 0x0501, WM_CLOSE to the agent\n"
      "  session CODE | devicechange      post WM_WTSSESSION_CHANGE, WM_DEVICECHANGE\n"
      "  listen MS                        be the companion UI for MS ms (or until SIGTERM);\n"
      "                                   print each message the agent posts to it\n",
      stderr);
  return 2;
}

int Connect() {
  const qx27::session::RuntimeFolder runtime = qx27::session::RuntimeDir(qx27::session::ProcessEnvironment());
  const std::string path = qx27::session::SocketPath(runtime);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const int agent = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (path.size() >= sizeof address.sun_path || agent < 0) {
    if (agent >= 0) ::close(agent);
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::connect(agent, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(agent);
    return -1;
  }
  return agent;
}

bool Send(int agent, const Record& record) {
  const auto bytes = qx27::session::EncodeRecord(record);
  return ::send(agent, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::optional<Record> Receive(int agent) {
  std::uint8_t bytes[qx27::session::kRecordSize + 1];
  const ssize_t got = ::recv(agent, bytes, sizeof bytes, 0);
  if (got <= 0) return std::nullopt;
  return qx27::session::DecodeRecord(std::span(bytes, static_cast<std::size_t>(got)));
}

int PostToAgent(std::uint32_t message, std::uint64_t wparam) {
  const int agent = Connect();
  if (agent < 0) {
    std::fputs("qx27ctl: no agent window\n", stderr);
    return 1;
  }
  const bool sent = Send(agent, {RecordKind::kPost, message, wparam, 0});
  ::close(agent);
  return sent ? 0 : 1;
}

int Listen(long milliseconds, int signals) {
  const int agent = Connect();
  if (agent < 0) {
    std::fputs("qx27ctl: no agent window\n", stderr);
    return 1;
  }
  if (!Send(agent, {RecordKind::kSubscribe, 0, 0, 0})) return 1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  bool subscribed = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd waits[] = {{agent, POLLIN, 0}, {signals, POLLIN, 0}};
    if (::poll(waits, 2, static_cast<int>(left)) <= 0) continue;
    if (waits[1].revents != 0) break;
    const std::optional<Record> record = Receive(agent);
    if (!record) break;  // the agent ended or sent what is no record
    if (record->kind == RecordKind::kSubscribed && !subscribed) {
      subscribed = true;
      // Scripts wait for this line before they make the agent post anything.
      std::fputs("listening\n", stderr);
      std::fflush(stderr);
    } else if (record->kind == RecordKind::kNotice) {
      std::printf("0x%04" PRIx32 " 0x%" PRIx64 " 0x%" PRIx64 "\n", record->message, record->wparam,
                  static_cast<std::uint64_t>(record->lparam));
      std::fflush(stdout);
    }
  }
  ::close(agent);
  return subscribed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  // SIGTERM ends a listen cleanly, everything printed.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
  const int signals = ::signalfd(-1, &ending, SFD_CLOEXEC);

  const std::string command = argv[1];
  const char* arg = argc > 2 ? argv[2] : nullptr;
  if (command == "apply") return PostToAgent(qx27::companion::kApplyRequest, 0);
  if (command == "command") return PostToAgent(qx27::companion::kDeviceCommandRequest, 0);
  if (command == "close") return PostToAgent(qx27::msg::kClose, 0);
  if (command == "devicechange") return PostToAgent(qx27::msg::kDeviceChange, 0x0007);
  if (arg == nullptr) return Usage();
  if (command == "session") return PostToAgent(qx27::msg::kSessionChange, std::strtoull(arg, nullptr, 0));
  if (command == "listen") return Listen(std::strtol(arg, nullptr, 0), signals);
  return Usage();
}
