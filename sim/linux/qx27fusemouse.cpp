// qx27fusemouse: the simulated mouse as hidraw nodes served over FUSE, for
// running the Linux agent against it. Requests (MouseService's, "plug" and
// "unplug" included) arrive on a Unix socket, one per connection: the client
// writes the request, shuts down its sending side and reads the answer.
// "quit", SIGINT or SIGTERM unmount and end the program.
//
// usage: qx27fusemouse MOUNT SYSFS SOCKET [--unplugged] [--second-identity]
//        qx27fusemouse ctl SOCKET COMMAND [ARG]   (the client: see Usage)
// Exits with 77 when this system offers no FUSE.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sim/linux/fuse_mouse.h"

namespace {

using qx27::sim::FuseMouse;
using qx27::sim::MouseService;

// A request larger than this is no request of the mouse's (a "load" of both
// reports is about 6.3 kB).
constexpr std::size_t kMaxRequest = 1 << 16;

int Listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return -1;
  ::unlink(path.c_str());
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 8) != 0) {
    ::close(listener);
    return -1;
  }
  return listener;
}

// Answers one client; gives whether it asked to quit.
bool Serve(FuseMouse& mouse, int client) {
  std::string request;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(client, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    request.append(chunk, static_cast<std::size_t>(got));
    if (request.size() > kMaxRequest) return false;
  }
  const MouseService::Answer answer = mouse.Handle(request);
  for (std::size_t sent = 0; sent < answer.text.size();) {
    const ssize_t put = ::write(client, answer.text.data() + sent, answer.text.size() - sent);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    sent += static_cast<std::size_t>(put);
  }
  return answer.event == MouseService::Event::kQuit;
}

// ---- the client: tools/linux-harness ctl mouse ... ----
// It prints what qx27testctl prints for the same commands, so that scripts
// read the Windows and the Linux mouse alike.

enum class AskResult { kAnswered, kNoMouse, kFailed };

// Any request is answered at once by a mouse that is running: a plug or an
// unplug only changes files and sends the event, it waits for no one.
constexpr int kAnswerMs = 10000;

sockaddr_un SocketAddress(const std::string& path, bool& fits) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  fits = path.size() < sizeof address.sun_path;
  if (fits) std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

AskResult Ask(const std::string& path, std::string_view request, std::string& answer, int timeout_ms = kAnswerMs) {
  bool fits = false;
  const sockaddr_un address = SocketAddress(path, fits);
  if (!fits) return AskResult::kNoMouse;
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (server < 0) return AskResult::kFailed;
  if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(server);
    return AskResult::kNoMouse;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  AskResult result = AskResult::kFailed;
  bool sent = true;
  for (std::size_t done = 0; done < request.size();) {
    const ssize_t put = ::send(server, request.data() + done, request.size() - done, MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      sent = false;
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  if (sent && ::shutdown(server, SHUT_WR) == 0) {
    answer.clear();
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd wait{server, POLLIN, 0};
      if (left <= 0 || ::poll(&wait, 1, static_cast<int>(left)) == 0) break;
      char chunk[4096];
      const ssize_t got = ::read(server, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) break;
      if (got == 0) {
        // A mouse that ends mid-request closes without a word.
        if (!answer.empty()) result = AskResult::kAnswered;
        break;
      }
      answer.append(chunk, static_cast<std::size_t>(got));
    }
  }
  ::close(server);
  return result;
}

int ClientUsage() {
  std::fputs(
      "usage: qx27fusemouse ctl SOCKET COMMAND [ARG]\n"
      "  dump                             print reports 3 and 4 as the mouse holds them:\n"
      "                                   'perf' + 40 bytes, 'buttons' + 2049 bytes, in hex\n"
      "  load FILE                        what the next gets of reports 3 and 4 return\n"
      "  dpi N                            send input report 02 00 N 00\n"
      "  unplug | plug                    unplug or plug the mouse: its nodes and sysfs entries\n"
      "                                   go or come, and the hot-plug event is sent\n"
      "  refuse-sets N                    refuse the next N feature reports set\n"
      "  report ID                        print the stored feature report ID (6 or 0x06)\n"
      "  log                              print every set and get that reached the mouse\n"
      "  status                           print plugged, open handles, open events handles\n"
      "  wait MS                          wait up to MS ms for the simulated mouse\n"
      "  quit                             end the simulated mouse\n",
      stderr);
  return 2;
}

int PrintAnswer(const std::string& path, const std::string& request) {
  std::string answer;
  switch (Ask(path, request, answer)) {
    case AskResult::kAnswered:
      break;
    case AskResult::kNoMouse:
      std::fputs("qx27ctl: no simulated mouse\n", stderr);
      return 1;
    case AskResult::kFailed:
      std::fputs("qx27ctl: the simulated mouse did not answer\n", stderr);
      return 1;
  }
  const std::size_t line_end = answer.find('\n');
  const std::string first = answer.substr(0, line_end);
  const std::string body = line_end == std::string::npos ? std::string() : answer.substr(line_end + 1);
  if (first != "ok") {
    const std::string error = first.starts_with("error ") ? first.substr(6) : first;
    std::fprintf(stderr, "qx27ctl: mouse: %s\n", error.c_str());
    return 1;
  }
  std::fwrite(body.data(), 1, body.size(), stdout);
  std::fflush(stdout);
  return 0;
}

int WaitForMouse(const std::string& path, long milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    std::string answer;
    if (Ask(path, "status", answer, 2000) == AskResult::kAnswered) return 0;
    if (std::chrono::steady_clock::now() >= deadline) return 1;
    // Nothing to wait on before the socket exists: the mouse is polled.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

int RunClient(int argc, char** argv) {
  if (argc < 4) return ClientUsage();
  const std::string path = argv[2];
  const std::string command = argv[3];
  const char* arg = argc > 4 ? argv[4] : nullptr;
  if (command == "wait" && arg != nullptr) return WaitForMouse(path, std::strtol(arg, nullptr, 0));
  std::string request;
  switch (MouseService::ControlRequest(command, arg, request)) {
    case MouseService::ControlVerb::kRequest:
      return PrintAnswer(path, request);
    case MouseService::ControlVerb::kUnreadableFile:
      std::fprintf(stderr, "qx27ctl: cannot read %s\n", arg);
      return 1;
    case MouseService::ControlVerb::kUsage:
      break;
  }
  return ClientUsage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "ctl") == 0) return RunClient(argc, argv);
  if (argc < 4) {
    std::fputs("usage: qx27fusemouse MOUNT SYSFS SOCKET [--unplugged] [--second-identity]\n", stderr);
    return 2;
  }
  MouseService::StartOptions options;
  if (const char* unknown = MouseService::ParseStartOptions({argv + 4, argv + argc}, options)) {
    std::fprintf(stderr, "qx27fusemouse: unknown option %s\n", unknown);
    return 2;
  }

  // The signals that end the program arrive as readable data, so that the
  // mount is always undone on the way out.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
  const int signals = ::signalfd(-1, &ending, SFD_CLOEXEC);
  const int listener = Listen(argv[3]);
  if (signals < 0 || listener < 0) {
    std::fprintf(stderr, "qx27fusemouse: cannot listen on %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }

  MouseService service(options);
  FuseMouse::Started started = FuseMouse::Start(service, {argv[1], argv[2]});
  if (started.mouse == nullptr) {
    std::fprintf(stderr, "qx27fusemouse: %s\n", started.error.c_str());
    ::unlink(argv[3]);
    return started.fuse_unavailable ? 77 : 1;
  }
  if (!started.error.empty()) std::fprintf(stderr, "qx27fusemouse: %s\n", started.error.c_str());
  std::fputs(options.plugged ? "qx27fusemouse: serving, plugged\n" : "qx27fusemouse: serving, unplugged\n", stderr);

  std::array<pollfd, 2> waits{{{listener, POLLIN, 0}, {signals, POLLIN, 0}}};
  for (;;) {
    if (::poll(waits.data(), waits.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (waits[1].revents != 0) break;
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const bool quit = Serve(*started.mouse, client);
    ::close(client);
    if (quit) break;
  }
  started.mouse.reset();
  ::close(listener);
  ::unlink(argv[3]);
  std::fputs("qx27fusemouse: quit\n", stderr);
  return 0;
}
