// The window-and-message port of qx27agentd. The Agent window is a message
// queue in this process; other programs reach it through the Unix socket
// (platform/linux/session/agent_socket.h), whose records carry the window
// messages of the Windows agent by number. The companion UI's window "exists"
// while a client has subscribed to the agent's notices, and what the core
// posts to it goes to every subscriber. The single-instance mutex is the
// session's lock file, and the registration for HID notifications starts the
// hot-plug source. Session events (logind's) reach the Agent window as the
// WM_WTSSESSION_CHANGE records a client may post. Every other window (the OSD
// window) is never found.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/linux/agent/hotplug.h"
#include "platform/linux/agent/linux_ports.h"
#include "platform/linux/agent/session_events.h"
#include "platform/linux/session/instance_lock.h"
#include "platform/linux/session/session_paths.h"
#include "ports/window_port.h"

namespace qx27::agentd {

class SocketWindows final : public WindowPort {
 public:
  using HotplugOpener = std::function<std::unique_ptr<HotplugSource>(std::string& error)>;
  // Null, with `error` set, when session events cannot be followed; otherwise
  // `following` says what is.
  using SessionOpener = std::function<std::unique_ptr<SessionSource>(std::string& following, std::string& error)>;

  // `signal_fd`: a signalfd whose signals end the agent as WM_CLOSE does, or
  // -1. `open_session` is asked once the Agent window is made.
  SocketWindows(session::RuntimeFolder runtime, unsigned uid, HotplugOpener open_hotplug, StderrDebug& log,
                int signal_fd = -1, SessionOpener open_session = {});
  ~SocketWindows() override;
  SocketWindows(const SocketWindows&) = delete;
  SocketWindows& operator=(const SocketWindows&) = delete;

  WindowHandle CreateTopLevelWindow(const WindowCreateParams& params, MessageTarget& target) override;
  LResult DefaultProcessing(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) override;
  void DestroyWindow(WindowHandle window) override;
  int RunMessageLoop() override;
  void PostQuit(int exit_code) override;
  bool Post(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) override;
  WindowHandle FindWindowByTitle(std::u16string_view title) override;
  void SetExStyle(WindowHandle, std::uint32_t) override {}
  std::uintptr_t RegisterHidNotifications(WindowHandle window) override;
  // Lock and unlock events are taken as on Windows 6 and later.
  int SystemMajorVersion() override { return 10; }
  // No shell announces itself on Linux: nothing is registered.
  std::uint32_t RegisterNamedMessage(std::u16string_view) override { return 0; }
  std::uintptr_t CreateNamedMutex(std::u16string_view name, bool& already_existed) override;
  void ReleaseAndCloseMutex(std::uintptr_t mutex) override { CloseMutex(mutex); }
  void CloseMutex(std::uintptr_t mutex) override;

  // The process ID of the agent that held the lock when this one asked for it;
  // nullopt when this one was not refused.
  std::optional<long> refused_by() const { return refused_by_; }
  // Why the window could not be made, for the message before the exit.
  const std::string& creation_error() const { return creation_error_; }

 private:
  struct Queued {
    std::uint32_t message = 0;
    WParam wparam = 0;
    LParam lparam = 0;
    bool quit = false;
    int reply_to = 0;  // a client's ID waiting for the result, 0 for none
  };
  struct Client {
    int fd = -1;
    bool subscriber = false;
  };

  bool PrepareRuntimeFolder();
  bool Listen();
  bool Enqueue(const Queued& item);
  void Wake();
  std::optional<Queued> TakeQueued();
  void WaitForWork();
  void AcceptClients();
  void ReadClient(int id);
  void DropClient(int id);
  void Reply(int id, const std::array<std::uint8_t, 32>& bytes);
  void Notify(std::uint32_t message, WParam wparam, LParam lparam);
  void DrainHotplug();
  void DrainSession();
  void DrainSignals();

  const session::RuntimeFolder runtime_;
  const unsigned uid_;
  HotplugOpener open_hotplug_;
  SessionOpener open_session_;
  StderrDebug& log_;
  const int signal_fd_;
  int wake_fd_ = -1;  // eventfd: something was queued from another thread
  int listen_fd_ = -1;
  std::string socket_path_;
  bool runtime_ready_ = false;

  session::InstanceLock lock_;
  std::optional<long> refused_by_;
  std::string creation_error_;

  MessageTarget* target_ = nullptr;  // the Agent window, while it exists
  std::unique_ptr<HotplugSource> hotplug_;
  bool hotplug_window_ = false;
  std::unique_ptr<SessionSource> session_;

  mutable std::mutex mutex_;  // guards window_open_, queue_ and clients_
  bool window_open_ = false;
  std::deque<Queued> queue_;
  std::map<int, Client> clients_;
  int next_client_ = 1;
};

}  // namespace qx27::agentd
