// Where the Linux agent and its clients find things, by the XDG Base
// Directory rules: the settings folder under the user's configuration home,
// the socket and the lock in the user's runtime folder. The test variables
// that point the HID port at a stand-in of sysfs and /dev are read here too.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qx27::session {

struct Environment {
  // The variable's value; nullopt when it is unset.
  std::function<std::optional<std::string>(const char* name)> variable;
  // The home folder from the password database, for when HOME is unset or empty.
  std::function<std::optional<std::string>()> passwd_home;
  unsigned uid = 0;
};

// The running process's environment, user and password entry.
Environment ProcessEnvironment();

// $XDG_CONFIG_HOME when it is an absolute path; otherwise (unset, empty or
// relative, which the rules say to ignore) $HOME/.config. Nothing when no home
// is known either.
std::optional<std::string> ConfigHome(const Environment& env);

// The folder the settings file and the macro file live in.
inline constexpr char kSettingsSubfolder[] = "VORN/ELDAN QX27";

struct RuntimeFolder {
  std::string path;
  // XDG_RUNTIME_DIR was unset, empty or relative: a private folder in /tmp
  // stands in for it, as the rules allow with a warning.
  bool stand_in = false;
};
// $XDG_RUNTIME_DIR when absolute, otherwise /tmp/qx27-UID.
RuntimeFolder RuntimeDir(const Environment& env);

inline constexpr char kSocketName[] = "qx27agentd.socket";
inline constexpr char kLockName[] = "qx27agentd.lock";

std::string SocketPath(const RuntimeFolder& runtime);
std::string LockPath(const RuntimeFolder& runtime);

// Makes sure `path` is a folder only this user can enter: created with mode
// 0700 when missing, refused when it is a link, someone else's, or open to
// others. Gives an error text, empty when the folder is fit.
std::string EnsurePrivateFolder(const std::string& path, unsigned uid);

// Test hooks: a folder standing for /sys/class/hidraw (enumeration, and
// hot-plug by watching it) and one standing for /dev (the nodes).
inline constexpr char kHidrawSysfsVariable[] = "QX27_HIDRAW_SYSFS";
inline constexpr char kHidrawDevVariable[] = "QX27_HIDRAW_DEV";

struct HidrawFolders {
  std::string sysfs = "/sys/class/hidraw";
  std::string dev = "/dev";
  bool sysfs_given = false;  // QX27_HIDRAW_SYSFS was set: hot-plug comes from watching it
};
HidrawFolders HidrawFoldersFrom(const Environment& env);

}  // namespace qx27::session
