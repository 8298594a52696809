// Where qx27agentd learns that the user's session goes away and comes back:
// logind's signals on the system bus, the nearest Linux has to the session
// notifications the Windows agent registers for.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qx27::agentd {

enum class SessionEvent {
  kLock,    // the session's Lock signal
  kUnlock,  // its Unlock signal
  kSleep,   // PrepareForSleep(true): the machine is about to suspend
  kWake,    // PrepareForSleep(false): it has resumed
};

class SessionSource {
 public:
  virtual ~SessionSource() = default;
  // Readable when events may be waiting; never blocks a reader. -1 once the
  // bus has gone: nothing more will come.
  virtual int fd() const = 0;
  // What to wait for on fd(): poll's POLLIN, with POLLOUT while the source has
  // something of its own to write.
  virtual short poll_events() const = 0;
  // The events that arrived since the last call.
  virtual std::vector<SessionEvent> Drain() = 0;
};

// Test hook: the address of a bus standing for the system bus (a private
// dbus-daemon with a stand-in of logind). Set and empty: no bus is asked and
// session events are not followed.
inline constexpr char kLogindBusVariable[] = "QX27_LOGIND_BUS";

struct LogindOptions {
  // The bus to ask; nullopt for the system bus.
  std::optional<std::string> bus_address;
  // $XDG_SESSION_ID, when the agent runs inside a login session.
  std::optional<std::string> session_id;
  // Asked for by process when no session ID is given.
  long pid = 0;
};

// Follows logind's PrepareForSleep and the Lock and Unlock of the agent's
// session: the one named by `session_id`, otherwise the one `pid` belongs to,
// otherwise (a systemd user service has no session of its own) the user's
// display session. Only signals sent by the current owner of logind's name
// count. Null, with `error` set, when there is no bus or no logind on it;
// otherwise `following` says what is followed.
std::unique_ptr<SessionSource> OpenLogind(const LogindOptions& options, std::string& following, std::string& error);

}  // namespace qx27::agentd
