// qx27ctl on Linux: the portable command on the settings file under the XDG
// configuration home, talking to qx27agentd over its socket.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "ctl/qx27ctl.h"
#include "interfaces/companion_ui.h"
#include "interfaces/mouse_identity.h"
#include "platform/linux/hidraw/hidraw_port.h"
#include "platform/linux/ini/ini_file_port.h"
#include "platform/linux/session/agent_client.h"
#include "platform/linux/session/session_paths.h"
#include "platform/linux/session/xdg_shell.h"

namespace {

constexpr qx27::ctl::CtlPlatform kLinuxPlatform = {"qx27agentd",
                                                   "Create it with mkdir -p (the agent does not create it)", u'/'};

// The agent's window is its socket: found when the socket answers, and a
// message posted to it is a post record. No other window exists for qx27ctl.
class AgentSocketWindows final : public qx27::WindowPort {
 public:
  explicit AgentSocketWindows(std::string socket_path) : socket_path_(std::move(socket_path)) {}

  qx27::WindowHandle FindWindowByTitle(std::u16string_view title) override {
    if (title != qx27::companion::kAgentWindowTitle) return 0;
    if (!agent_) agent_ = qx27::session::AgentClient::Connect(socket_path_);
    return agent_ ? kAgent : 0;
  }
  bool Post(qx27::WindowHandle window, std::uint32_t message, qx27::WParam wparam, qx27::LParam lparam) override {
    return window == kAgent && agent_ && agent_->Post(message, wparam, lparam);
  }

  qx27::WindowHandle CreateTopLevelWindow(const qx27::WindowCreateParams&, qx27::MessageTarget&) override { return 0; }
  qx27::LResult DefaultProcessing(qx27::WindowHandle, std::uint32_t, qx27::WParam, qx27::LParam) override { return 0; }
  void DestroyWindow(qx27::WindowHandle) override {}
  int RunMessageLoop() override { return 0; }
  void PostQuit(int) override {}
  void SetExStyle(qx27::WindowHandle, std::uint32_t) override {}
  std::uintptr_t RegisterHidNotifications(qx27::WindowHandle) override { return 0; }
  int SystemMajorVersion() override { return 10; }
  std::uint32_t RegisterNamedMessage(std::u16string_view) override { return 0; }
  std::uintptr_t CreateNamedMutex(std::u16string_view, bool& already_existed) override {
    already_existed = false;
    return 0;
  }
  void ReleaseAndCloseMutex(std::uintptr_t) override {}
  void CloseMutex(std::uintptr_t) override {}

 private:
  static constexpr qx27::WindowHandle kAgent = 1;
  std::string socket_path_;
  std::optional<qx27::session::AgentClient> agent_;
};

class PosixFiles final : public qx27::FilePort {
 public:
  std::optional<std::string> ReadWholeFile(std::u16string_view path) override {
    const int fd = ::open(qx27::ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        ::close(fd);
        return std::nullopt;
      }
      if (got == 0) break;
      bytes.append(buffer, static_cast<std::size_t>(got));
      // A backup is a few hundred kilobytes; anything far larger is no backup.
      if (bytes.size() > (64u << 20)) {
        ::close(fd);
        return std::nullopt;
      }
    }
    ::close(fd);
    return bytes;
  }

  bool WriteWholeFile(std::u16string_view path, std::string_view bytes) override {
    const int fd = ::open(qx27::ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t sent = 0; ok && sent < bytes.size();) {
      const ssize_t put = ::write(fd, bytes.data() + sent, bytes.size() - sent);
      if (put < 0 && errno == EINTR) continue;
      ok = put > 0;
      if (ok) sent += static_cast<std::size_t>(put);
    }
    return ::close(fd) == 0 && ok;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const qx27::session::Environment env = qx27::session::ProcessEnvironment();
  const qx27::session::HidrawFolders folders = qx27::session::HidrawFoldersFrom(env);

  qx27::linux_host::IniFilePort ini;
  // A stand-in runtime folder in /tmp that is not this user's alone may hold
  // anyone's socket: no agent is looked for there.
  const qx27::session::RuntimeFolder runtime = qx27::session::RuntimeDir(env);
  const bool runtime_fit = !runtime.stand_in || qx27::session::EnsurePrivateFolder(runtime.path, env.uid).empty();
  AgentSocketWindows windows(runtime_fit ? qx27::session::SocketPath(runtime) : std::string());
  qx27::session::XdgShell shell(qx27::session::ConfigHome(env).value_or(""));
  qx27::hidraw::HidrawPort hid({{qx27::mouse::kVendorId, qx27::mouse::kSecondVendorId},
                                {qx27::mouse::kProductId, qx27::mouse::kSecondProductId}},
                               {folders.sysfs, folders.dev});
  PosixFiles files;
  qx27::ctl::CtlPorts ports{ini, windows, shell, hid, files, kLinuxPlatform};
  const qx27::ctl::CtlResult result = qx27::ctl::RunCtl(args, ports);
  std::fwrite(result.out.data(), 1, result.out.size(), stdout);
  std::fflush(stdout);
  std::fwrite(result.err.data(), 1, result.err.size(), stderr);
  return result.exit_code;
}
