// qx27agentd: the agent on Linux. The portable core of qx27agent.exe, handed
// the Linux ports: hidraw for the mouse, the INI service on real files under
// the XDG configuration home, the socket for the window messages, and ports
// that do nothing for what Linux lacks (pointer settings, tray icon, presence
// DLL, OSD window; see README.md in platform/linux).
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/hid_app.h"
#include "interfaces/mouse_identity.h"
#include "platform/linux/agent/hotplug.h"
#include "platform/linux/agent/linux_ports.h"
#include "platform/linux/agent/session_events.h"
#include "platform/linux/agent/socket_windows.h"
#include "platform/linux/hidraw/hidraw_port.h"
#include "platform/linux/ini/ini_file_port.h"
#include "platform/linux/session/session_paths.h"
#include "platform/linux/session/xdg_shell.h"
#include "qx27_version.h"

namespace {

constexpr int kExitCannotStart = 1;
constexpr int kExitUsage = 2;
constexpr int kExitAnotherAgent = 3;

constexpr char kUsage[] =
    "usage: qx27agentd [--version | --help]\n"
    "Runs the VORN ELDAN QX27 agent for this user session in the foreground: applies the active\n"
    "profile when asked (qx27ctl), reads the mouse back when it is plugged in, and stores its DPI\n"
    "stage. Ends on SIGTERM or SIGINT. Exit codes: 0 ended; 1 could not start; 2 bad usage;\n"
    "3 another qx27agentd runs in this session.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::fputs("qx27agentd " QX27_VERSION_TEXT "\n", stdout);
      return 0;
    }
    const bool help = argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : kExitUsage;
  }

  // The ending signals arrive as data in the message loop, so the agent ends
  // as it does on WM_CLOSE. Blocked before any thread starts, so none takes them.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
  const int signals = ::signalfd(-1, &ending, SFD_CLOEXEC | SFD_NONBLOCK);

  const qx27::session::Environment env = qx27::session::ProcessEnvironment();
  qx27::agentd::StderrDebug debug;
  const std::optional<std::string> config_home = qx27::session::ConfigHome(env);
  if (!config_home) debug.Note("no home folder is known: running on default settings, storing nothing");
  const qx27::session::HidrawFolders folders = qx27::session::HidrawFoldersFrom(env);

  qx27::hidraw::HidrawPort hid({{qx27::mouse::kVendorId, qx27::mouse::kSecondVendorId},
                                {qx27::mouse::kProductId, qx27::mouse::kSecondProductId}},
                               {folders.sysfs, folders.dev});
  qx27::agentd::SocketWindows windows(
      qx27::session::RuntimeDir(env), env.uid,
      [&](std::string& error) {
        return folders.sysfs_given ? qx27::agentd::OpenSysfsWatch(folders.sysfs, error)
                                   : qx27::agentd::OpenUdevMonitor(error);
      },
      debug, signals,
      [&](std::string& following, std::string& error) -> std::unique_ptr<qx27::agentd::SessionSource> {
        qx27::agentd::LogindOptions logind;
        logind.bus_address = env.variable(qx27::agentd::kLogindBusVariable);
        if (logind.bus_address && logind.bus_address->empty()) {
          error = std::string(qx27::agentd::kLogindBusVariable) + " is set and empty";
          return nullptr;
        }
        logind.session_id = env.variable("XDG_SESSION_ID");
        logind.pid = static_cast<long>(::getpid());
        return qx27::agentd::OpenLogind(logind, following, error);
      });
  qx27::linux_host::IniFilePort ini;
  qx27::agentd::NoPointerSettings system_settings;
  qx27::session::XdgShell shell(config_home.value_or(""));
  qx27::agentd::MonotonicClock clock;
  qx27::agentd::NoModules modules;
  const qx27::Ports ports{hid, windows, ini, system_settings, shell, clock, debug, modules};

  const int code = qx27::TheApp().Run(ports);
  if (const std::optional<long> other = windows.refused_by()) {
    debug.Note("another qx27agentd is running in this session" +
               (*other > 0 ? " (process " + std::to_string(*other) + ")" : std::string()) + "; this one ends");
    return kExitAnotherAgent;
  }
  if (code == qx27::CHidApp::kWindowCreationFailed) {
    debug.Note("cannot start: " + windows.creation_error());
    return kExitCannotStart;
  }
  return code;
}
