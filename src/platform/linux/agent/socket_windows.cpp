#include "platform/linux/agent/socket_windows.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "interfaces/companion_ui.h"
#include "platform/linux/session/agent_socket.h"

namespace qx27::agentd {
namespace {

constexpr WindowHandle kAgentWindow = 0x1000;
constexpr WindowHandle kCompanionWindow = 0x2000;
constexpr std::uintptr_t kLockHeld = 1;
constexpr std::uintptr_t kLockOfAnother = 2;
constexpr std::uintptr_t kHotplugRegistration = 0x3000;
// More connections at once than any session has clients: the rest are closed
// at once rather than letting one user's programs exhaust the agent's files.
constexpr std::size_t kMaxClients = 64;
// As a Windows thread's message queue: posts beyond it fail rather than let a
// client that floods the socket grow the agent without end.
constexpr std::size_t kMaxQueued = 10000;
constexpr WParam kDeviceArrival = 0x8000;
constexpr WParam kDeviceRemoveComplete = 0x8004;
// What the Windows agent is told when its session is locked and unlocked. A
// suspend is taken as a lock and a resume as an unlock: the mouse may have
// been changed or replaced while the machine slept.
constexpr WParam kSessionLock = 7;
constexpr WParam kSessionUnlock = 8;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

}  // namespace

SocketWindows::SocketWindows(session::RuntimeFolder runtime, unsigned uid, HotplugOpener open_hotplug, StderrDebug& log,
                             int signal_fd, SessionOpener open_session)
    : runtime_(std::move(runtime)),
      uid_(uid),
      open_hotplug_(std::move(open_hotplug)),
      open_session_(std::move(open_session)),
      log_(log),
      signal_fd_(signal_fd),
      wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

SocketWindows::~SocketWindows() {
  for (auto& [id, client] : clients_) ::close(client.fd);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

bool SocketWindows::PrepareRuntimeFolder() {
  if (runtime_ready_) return true;
  if (runtime_.stand_in) {
    log_.Note("XDG_RUNTIME_DIR is not set to an absolute path; using " + runtime_.path + " instead");
    if (const std::string error = session::EnsurePrivateFolder(runtime_.path, uid_); !error.empty()) {
      log_.Note(error);
      return false;
    }
  }
  runtime_ready_ = true;
  return true;
}

std::uintptr_t SocketWindows::CreateNamedMutex(std::u16string_view, bool& already_existed) {
  already_existed = false;
  if (!PrepareRuntimeFolder()) return 0;
  session::InstanceLock::Taken taken = session::InstanceLock::Take(session::LockPath(runtime_));
  if (taken.held_by_other) {
    already_existed = true;
    refused_by_ = taken.other_pid;
    return kLockOfAnother;
  }
  if (!taken.error.empty()) {
    // As with a mutex that cannot be made: the agent runs unguarded.
    log_.Note(taken.error + "; running without the one-agent lock");
    return 0;
  }
  lock_ = std::move(taken.lock);
  return kLockHeld;
}

void SocketWindows::CloseMutex(std::uintptr_t mutex) {
  if (mutex == kLockHeld) lock_.Release();
}

bool SocketWindows::Listen() {
  socket_path_ = session::SocketPath(runtime_);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path_.size() >= sizeof address.sun_path) {
    creation_error_ = "the socket path " + socket_path_ + " is too long for a Unix socket";
    return false;
  }
  std::memcpy(address.sun_path, socket_path_.c_str(), socket_path_.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    creation_error_ = std::string("cannot make a socket: ") + std::strerror(errno);
    return false;
  }
  if (!lock_.held()) {
    // Unguarded: a socket that answers belongs to a running agent.
    const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    const bool answered =
        probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0) ::close(probe);
    if (answered) {
      ::close(fd);
      creation_error_ = "another agent answers on " + socket_path_;
      return false;
    }
  }
  // Holding the lock, a socket file left here is a dead agent's.
  ::unlink(socket_path_.c_str());
  const mode_t old_mask = ::umask(0077);
  const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::umask(old_mask);
  if (!bound || ::listen(fd, 16) != 0) {
    creation_error_ = "cannot listen on " + socket_path_ + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  listen_fd_ = fd;
  return true;
}

WindowHandle SocketWindows::CreateTopLevelWindow(const WindowCreateParams& params, MessageTarget& target) {
  if (target_ != nullptr || params.title != companion::kAgentWindowTitle) return 0;
  if (wake_fd_ < 0) {
    creation_error_ = "cannot make an event descriptor";
    return 0;
  }
  if (!PrepareRuntimeFolder()) {
    creation_error_ = "no usable runtime folder for the socket";
    return 0;
  }
  if (!Listen()) return 0;
  target_ = &target;
  if (open_session_) {
    // Before WM_CREATE: a lock during the start-up's read is not missed.
    std::string following;
    std::string error;
    session_ = open_session_(following, error);
    log_.Note(session_ ? "following logind: " + following : error + "; session events are not followed");
    // What arrived while logind was asked already waits inside the source,
    // where no wait on its descriptor would see it.
    if (session_) DrainSession();
  }
  {
    std::lock_guard lock(mutex_);
    window_open_ = true;
  }
  // As CreateWindowExW: WM_CREATE is handled before creation returns, and -1
  // from it destroys the window and fails the creation.
  if (target.WindowProc(kAgentWindow, msg::kCreate, 0, 0) == -1) {
    DestroyWindow(kAgentWindow);
    creation_error_ = "the agent's start-up failed";
    return 0;
  }
  return kAgentWindow;
}

LResult SocketWindows::DefaultProcessing(WindowHandle window, std::uint32_t message, WParam, LParam) {
  if (message == msg::kClose) DestroyWindow(window);
  return 0;
}

void SocketWindows::DestroyWindow(WindowHandle window) {
  if (window != kAgentWindow || target_ == nullptr) return;
  MessageTarget* target = target_;
  target->WindowProc(window, msg::kDestroy, 0, 0);
  target->WindowProc(window, msg::kNcDestroy, 0, 0);
  target_ = nullptr;
  hotplug_.reset();
  session_.reset();
  // No new client finds a window that is gone; those connected still get the
  // answers to what they sent.
  if (listen_fd_ >= 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
    ::unlink(socket_path_.c_str());
  }
  // Messages still queued for it are dropped, as the system does; those a
  // client waits on are answered with the result of no handler.
  std::lock_guard lock(mutex_);
  window_open_ = false;
  std::erase_if(queue_, [](const Queued& item) { return !item.quit && item.reply_to == 0; });
}

bool SocketWindows::Enqueue(const Queued& item) {
  {
    std::lock_guard lock(mutex_);
    if (!item.quit && queue_.size() >= kMaxQueued) return false;
    queue_.push_back(item);
  }
  Wake();
  return true;
}

void SocketWindows::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t put = ::write(wake_fd_, &one, sizeof one);
}

bool SocketWindows::Post(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  if (window == kCompanionWindow) {
    Notify(message, wparam, lparam);
    return true;
  }
  if (window != kAgentWindow) return false;
  {
    // The reader thread posts while the main thread may be destroying the
    // window: a post to a window that is gone fails, as on Windows.
    std::lock_guard lock(mutex_);
    if (!window_open_ || queue_.size() >= kMaxQueued) return false;
    queue_.push_back({message, wparam, lparam, false, 0});
  }
  Wake();
  return true;
}

void SocketWindows::PostQuit(int exit_code) { Enqueue({0, static_cast<WParam>(exit_code), 0, true, 0}); }

WindowHandle SocketWindows::FindWindowByTitle(std::u16string_view title) {
  if (title == companion::kAgentWindowTitle) return target_ != nullptr ? kAgentWindow : 0;
  if (title == companion::kWindowTitle) {
    std::lock_guard lock(mutex_);
    for (const auto& [id, client] : clients_) {
      if (client.subscriber) return kCompanionWindow;
    }
  }
  return 0;
}

std::uintptr_t SocketWindows::RegisterHidNotifications(WindowHandle window) {
  if (window != kAgentWindow || !open_hotplug_) return 0;
  if (!hotplug_) {
    std::string error;
    hotplug_ = open_hotplug_(error);
    if (!hotplug_) {
      log_.Note(error + "; the mouse's coming and going is not followed");
      return 0;
    }
  }
  hotplug_window_ = true;
  return kHotplugRegistration;
}

std::optional<SocketWindows::Queued> SocketWindows::TakeQueued() {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  Queued next = queue_.front();
  queue_.pop_front();
  return next;
}

int SocketWindows::RunMessageLoop() {
  for (;;) {
    while (const std::optional<Queued> next = TakeQueued()) {
      if (next->quit) return static_cast<int>(next->wparam);
      LResult result = 0;
      if (target_ != nullptr) result = target_->WindowProc(kAgentWindow, next->message, next->wparam, next->lparam);
      if (next->reply_to != 0) {
        Reply(next->reply_to, session::EncodeRecord({session::RecordKind::kResult, next->message, next->wparam,
                                                     static_cast<std::int64_t>(result)}));
      }
    }
    WaitForWork();
  }
}

void SocketWindows::WaitForWork() {
  std::vector<pollfd> waits;
  std::vector<int> client_ids;
  waits.push_back({wake_fd_, POLLIN, 0});
  if (signal_fd_ >= 0) waits.push_back({signal_fd_, POLLIN, 0});
  if (listen_fd_ >= 0) waits.push_back({listen_fd_, POLLIN, 0});
  if (hotplug_ && hotplug_window_) waits.push_back({hotplug_->fd(), POLLIN, 0});
  if (session_) waits.push_back({session_->fd(), session_->poll_events(), 0});
  const std::size_t first_client = waits.size();
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, client] : clients_) {
      waits.push_back({client.fd, POLLIN, 0});
      client_ids.push_back(id);
    }
  }
  if (::poll(waits.data(), waits.size(), -1) < 0) return;

  std::uint64_t count = 0;
  if (waits[0].revents != 0) [[maybe_unused]]
    const ssize_t got = ::read(wake_fd_, &count, sizeof count);
  // Clients before hot-plug: a subscription made before a plug is in force
  // when the plug's read-back is told.
  for (std::size_t i = first_client; i < waits.size(); ++i) {
    if (waits[i].revents != 0) ReadClient(client_ids[i - first_client]);
  }
  for (std::size_t i = 1; i < first_client; ++i) {
    if (waits[i].revents == 0) continue;
    if (waits[i].fd == signal_fd_) {
      DrainSignals();
    } else if (waits[i].fd == listen_fd_) {
      AcceptClients();
    } else if (hotplug_ && waits[i].fd == hotplug_->fd()) {
      DrainHotplug();
    } else if (session_ && waits[i].fd == session_->fd()) {
      DrainSession();
    }
  }
}

void SocketWindows::AcceptClients() {
  for (;;) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;
    }
    std::lock_guard lock(mutex_);
    if (clients_.size() >= kMaxClients) {
      ::close(fd);
      continue;
    }
    clients_[next_client_++] = Client{fd, false};
  }
}

void SocketWindows::ReadClient(int id) {
  int fd = -1;
  {
    std::lock_guard lock(mutex_);
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    fd = it->second.fd;
  }
  for (;;) {
    std::array<std::uint8_t, session::kRecordSize + 1> bytes{};
    const ssize_t got = ::recv(fd, bytes.data(), bytes.size(), MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
      DropClient(id);
      return;
    }
    const std::optional<session::Record> record =
        session::DecodeRecord(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(got)));
    if (!record) {
      log_.Note("a client sent a record that is not one; refused");
      Reply(id, session::EncodeRecord({session::RecordKind::kRefused, 0, 0, 0}));
      continue;
    }
    switch (record->kind) {
      case session::RecordKind::kSubscribe: {
        {
          std::lock_guard lock(mutex_);
          if (const auto it = clients_.find(id); it != clients_.end()) it->second.subscriber = true;
        }
        Reply(id, session::EncodeRecord({session::RecordKind::kSubscribed, 0, 0, 0}));
        break;
      }
      case session::RecordKind::kPost:
      case session::RecordKind::kSend: {
        const bool send = record->kind == session::RecordKind::kSend;
        if (!session::AcceptedFromClients(record->message) || target_ == nullptr) {
          log_.Note("a client's message " + Hex(record->message) + " is not taken; dropped");
          if (send) {
            Reply(id, session::EncodeRecord(
                          {session::RecordKind::kRefused, record->message, record->wparam, record->lparam}));
          }
          break;
        }
        if (!Enqueue({record->message, static_cast<WParam>(record->wparam), static_cast<LParam>(record->lparam), false,
                      send ? id : 0}) &&
            send) {
          Reply(id, session::EncodeRecord(
                        {session::RecordKind::kRefused, record->message, record->wparam, record->lparam}));
        }
        break;
      }
      default:
        log_.Note("a client sent a record only the agent sends; refused");
        Reply(id, session::EncodeRecord({session::RecordKind::kRefused, record->message, 0, 0}));
        break;
    }
  }
}

void SocketWindows::DropClient(int id) {
  std::lock_guard lock(mutex_);
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  ::close(it->second.fd);
  clients_.erase(it);
}

void SocketWindows::Reply(int id, const std::array<std::uint8_t, session::kRecordSize>& bytes) {
  int fd = -1;
  {
    std::lock_guard lock(mutex_);
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    fd = it->second.fd;
  }
  // Never waits on a client: one that does not read loses the answer.
  if (::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 && errno != EAGAIN) DropClient(id);
}

void SocketWindows::Notify(std::uint32_t message, WParam wparam, LParam lparam) {
  const auto bytes = session::EncodeRecord(
      {session::RecordKind::kNotice, message, static_cast<std::uint64_t>(wparam), static_cast<std::int64_t>(lparam)});
  std::vector<int> gone;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [id, client] : clients_) {
      if (!client.subscriber) continue;
      if (::send(client.fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 && errno != EAGAIN) {
        gone.push_back(id);
      }
    }
  }
  for (const int id : gone) DropClient(id);
}

void SocketWindows::DrainHotplug() {
  for (const HotplugEvent& event : hotplug_->Drain()) {
    const bool added = event.action == HotplugEvent::Action::kAdd;
    Post(kAgentWindow, msg::kDeviceChange, added ? kDeviceArrival : kDeviceRemoveComplete, 0);
  }
}

void SocketWindows::DrainSession() {
  for (const SessionEvent event : session_->Drain()) {
    const bool away = event == SessionEvent::kLock || event == SessionEvent::kSleep;
    Post(kAgentWindow, msg::kSessionChange, away ? kSessionLock : kSessionUnlock, 0);
  }
  // A bus that has gone would wake every wait at once: it is no longer asked.
  if (session_->fd() < 0) {
    log_.Note("the system bus has gone; session events are no longer followed");
    session_.reset();
  }
}

void SocketWindows::DrainSignals() {
  signalfd_siginfo info{};
  while (::read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    log_.Note(std::string("ending on signal ") + std::to_string(info.ssi_signo));
    Post(kAgentWindow, msg::kClose, 0, 0);
  }
}

}  // namespace qx27::agentd
