#include "platform/linux/agent/session_events.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <cstring>
#include <utility>

namespace qx27::agentd {
namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kManagerPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr char kUserSelf[] = "/org/freedesktop/login1/user/self";
// A logind that does not answer within this is as good as none; the agent's
// start-up waits no longer for it.
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;

std::string Described(const char* what, int result, const sd_bus_error* error) {
  std::string text = what;
  if (error != nullptr && sd_bus_error_is_set(error) != 0) {
    text += std::string(": ") + (error->message != nullptr ? error->message : error->name);
  } else if (result < 0) {
    text += std::string(": ") + std::strerror(-result);
  }
  return text;
}

class LogindWatch final : public SessionSource {
 public:
  explicit LogindWatch(sd_bus* bus) : bus_(bus) {}
  ~LogindWatch() override { sd_bus_flush_close_unref(bus_); }
  LogindWatch(const LogindWatch&) = delete;
  LogindWatch& operator=(const LogindWatch&) = delete;

  int fd() const override { return gone_ ? -1 : sd_bus_get_fd(bus_); }

  // The bus answers calls that anyone makes to this connection; an answer the
  // socket could not take at once waits for it to become writable.
  short poll_events() const override {
    const int events = sd_bus_get_events(bus_);
    return static_cast<short>(events > 0 ? events : POLLIN);
  }

  std::vector<SessionEvent> Drain() override {
    while (!gone_) {
      const int result = sd_bus_process(bus_, nullptr);
      if (result < 0 || sd_bus_is_open(bus_) <= 0) gone_ = true;
      if (result <= 0) break;
    }
    return std::exchange(pending_, {});
  }

  // Matches first, then the owner: an owner that changes in between is
  // still seen.
  bool Start(const LogindOptions& options, std::string& following, std::string& error) {
    int result = sd_bus_add_match(bus_, nullptr,
                                  "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                  "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                                  "arg0='org.freedesktop.login1'",
                                  &LogindWatch::OnOwnerChanged, this);
    if (result >= 0) {
      result = sd_bus_match_signal(bus_, nullptr, kLogind, kManagerPath, kManager, "PrepareForSleep",
                                   &LogindWatch::OnPrepareForSleep, this);
    }
    if (result < 0) {
      error = Described("cannot listen on the system bus", result, nullptr);
      return false;
    }

    // Asking for the session first starts a logind that is started on demand.
    std::string how;
    const std::string session = FindSession(options, how);
    if (!FindOwner(error)) return false;

    following = "sleep and resume";
    if (session.empty()) {
      following += "; no session of this user was found, so no lock is followed";
      return true;
    }
    for (const auto& [member, handler] :
         {std::pair{"Lock", &LogindWatch::OnLock}, std::pair{"Unlock", &LogindWatch::OnUnlock}}) {
      result = sd_bus_match_signal(bus_, nullptr, kLogind, session.c_str(), "org.freedesktop.login1.Session", member,
                                   handler, this);
      if (result < 0) {
        error = Described("cannot listen to the session's lock", result, nullptr);
        return false;
      }
    }
    following += ", and the lock of " + how + " " + session;
    return true;
  }

 private:
  std::string FindSession(const LogindOptions& options, std::string& how) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int result = -1;
    if (options.session_id && !options.session_id->empty()) {
      result = sd_bus_call_method(bus_, kLogind, kManagerPath, kManager, "GetSession", &error, &reply, "s",
                                  options.session_id->c_str());
      how = "this login session";
    } else {
      result = sd_bus_call_method(bus_, kLogind, kManagerPath, kManager, "GetSessionByPID", &error, &reply, "u",
                                  static_cast<std::uint32_t>(options.pid));
      how = "this process's session";
    }
    const char* path = nullptr;
    if (result < 0 || sd_bus_message_read(reply, "o", &path) < 0) {
      // Outside any session, as a systemd user service is: the session the
      // user's desktop runs in.
      sd_bus_error_free(&error);
      reply = sd_bus_message_unref(reply);
      const char* id = nullptr;
      result = sd_bus_get_property(bus_, kLogind, kUserSelf, "org.freedesktop.login1.User", "Display", &error, &reply,
                                   "(so)");
      if (result < 0 || sd_bus_message_read(reply, "(so)", &id, &path) < 0) path = nullptr;
      how = "the user's display session";
    }
    // logind names "no session" with the root path.
    std::string session = path != nullptr && std::strcmp(path, "/") != 0 ? path : "";
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return session;
  }

  bool FindOwner(std::string& error) {
    sd_bus_error call_error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int result = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                          "GetNameOwner", &call_error, &reply, "s", kLogind);
    const char* owner = nullptr;
    const bool found = result >= 0 && sd_bus_message_read(reply, "s", &owner) >= 0 && owner != nullptr;
    if (found) {
      owner_ = owner;
    } else {
      error = Described("logind is not on the system bus", result, &call_error);
    }
    sd_bus_error_free(&call_error);
    sd_bus_message_unref(reply);
    return found;
  }

  // Anyone on the bus may send a signal that looks like logind's, even to
  // this connection alone, past the bus's matching: only the name's owner
  // counts.
  bool FromLogind(sd_bus_message* message) const {
    const char* sender = sd_bus_message_get_sender(message);
    return sender != nullptr && !owner_.empty() && owner_ == sender;
  }

  static int OnOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    auto* watch = static_cast<LogindWatch*>(self);
    const char* sender = sd_bus_message_get_sender(message);
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (sender != nullptr && std::strcmp(sender, "org.freedesktop.DBus") == 0 &&
        sd_bus_message_read(message, "sss", &name, &old_owner, &new_owner) >= 0 && name != nullptr &&
        std::strcmp(name, kLogind) == 0) {
      watch->owner_ = new_owner != nullptr ? new_owner : "";
    }
    return 0;
  }

  static int OnPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error*) {
    auto* watch = static_cast<LogindWatch*>(self);
    int sleeping = 0;
    if (watch->FromLogind(message) && sd_bus_message_read(message, "b", &sleeping) >= 0) {
      watch->pending_.push_back(sleeping != 0 ? SessionEvent::kSleep : SessionEvent::kWake);
    }
    return 0;
  }

  static int OnLock(sd_bus_message* message, void* self, sd_bus_error*) {
    auto* watch = static_cast<LogindWatch*>(self);
    if (watch->FromLogind(message)) watch->pending_.push_back(SessionEvent::kLock);
    return 0;
  }

  static int OnUnlock(sd_bus_message* message, void* self, sd_bus_error*) {
    auto* watch = static_cast<LogindWatch*>(self);
    if (watch->FromLogind(message)) watch->pending_.push_back(SessionEvent::kUnlock);
    return 0;
  }

  sd_bus* bus_;
  std::string owner_;
  std::vector<SessionEvent> pending_;
  bool gone_ = false;
};

}  // namespace

std::unique_ptr<SessionSource> OpenLogind(const LogindOptions& options, std::string& following, std::string& error) {
  sd_bus* bus = nullptr;
  int result = 0;
  if (options.bus_address) {
    result = sd_bus_new(&bus);
    if (result >= 0) result = sd_bus_set_address(bus, options.bus_address->c_str());
    if (result >= 0) result = sd_bus_set_bus_client(bus, 1);
    if (result >= 0) result = sd_bus_start(bus);
  } else {
    result = sd_bus_open_system(&bus);
  }
  if (result >= 0) result = sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  if (result < 0) {
    error = Described("no system bus", result, nullptr);
    sd_bus_unref(bus);
    return nullptr;
  }
  auto watch = std::make_unique<LogindWatch>(bus);
  if (!watch->Start(options, following, error)) return nullptr;
  return watch;
}

}  // namespace qx27::agentd
