// qx27fusemouse: the simulated mouse as hidraw nodes served over FUSE, for
// running the Linux agent against it. Requests (MouseService's, "plug" and
// "unplug" included) arrive on a Unix socket, one per connection: the client
// writes the request, shuts down its sending side and reads the answer.
// "quit", SIGINT or SIGTERM unmount and end the program.
//
// usage: qx27fusemouse MOUNT SYSFS SOCKET [--unplugged] [--second-identity]
// Exits with 77 when this system offers no FUSE.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: qx27fusemouse MOUNT SYSFS SOCKET [--unplugged] [--second-identity]\n", stderr);
    return 2;
  }
  bool plugged = true;
  std::uint16_t vendor_id = 0x3938;
  std::uint16_t product_id = 0x1101;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unplugged") == 0) {
      plugged = false;
    } else if (std::strcmp(argv[i], "--second-identity") == 0) {
      vendor_id = 0x1B80;
      product_id = 0xB412;
    } else {
      std::fprintf(stderr, "qx27fusemouse: unknown option %s\n", argv[i]);
      return 2;
    }
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

  MouseService service(plugged, vendor_id, product_id);
  FuseMouse::Started started = FuseMouse::Start(service, {argv[1], argv[2]});
  if (started.mouse == nullptr) {
    std::fprintf(stderr, "qx27fusemouse: %s\n", started.error.c_str());
    ::unlink(argv[3]);
    return started.fuse_unavailable ? 77 : 1;
  }
  std::fputs(plugged ? "qx27fusemouse: serving, plugged\n" : "qx27fusemouse: serving, unplugged\n", stderr);

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
