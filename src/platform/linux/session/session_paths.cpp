#include "platform/linux/session/session_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qx27::session {
namespace {

// The rules ignore a relative path in any of their variables.
std::optional<std::string> AbsoluteVariable(const Environment& env, const char* name) {
  std::optional<std::string> value = env.variable(name);
  if (!value || value->empty() || value->front() != '/') return std::nullopt;
  return value;
}

}  // namespace

Environment ProcessEnvironment() {
  Environment env;
  env.variable = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
  env.passwd_home = []() -> std::optional<std::string> {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
      return std::nullopt;
    }
    return std::string(found->pw_dir);
  };
  env.uid = ::getuid();
  return env;
}

std::optional<std::string> ConfigHome(const Environment& env) {
  if (auto config = AbsoluteVariable(env, "XDG_CONFIG_HOME")) return config;
  std::optional<std::string> home = env.variable("HOME");
  if (!home || home->empty()) home = env.passwd_home ? env.passwd_home() : std::nullopt;
  if (!home || home->empty()) return std::nullopt;
  if (home->size() > 1 && home->back() == '/') home->pop_back();
  return *home + "/.config";
}

RuntimeFolder RuntimeDir(const Environment& env) {
  if (auto runtime = AbsoluteVariable(env, "XDG_RUNTIME_DIR")) return {*runtime, false};
  return {"/tmp/qx27-" + std::to_string(env.uid), true};
}

std::string SocketPath(const RuntimeFolder& runtime) { return runtime.path + "/" + kSocketName; }
std::string LockPath(const RuntimeFolder& runtime) { return runtime.path + "/" + kLockName; }

std::string EnsurePrivateFolder(const std::string& path, unsigned uid) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot create " + path + ": " + std::strerror(errno);
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "cannot examine " + path + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return path + " is not a folder";
  if (info.st_uid != uid) return path + " belongs to another user";
  if ((info.st_mode & 0077) != 0) return path + " is open to other users";
  return {};
}

HidrawFolders HidrawFoldersFrom(const Environment& env) {
  HidrawFolders folders;
  if (auto sysfs = env.variable(kHidrawSysfsVariable); sysfs && !sysfs->empty()) {
    folders.sysfs = *sysfs;
    folders.sysfs_given = true;
  }
  if (auto dev = env.variable(kHidrawDevVariable); dev && !dev->empty()) {
    folders.dev = *dev;
  }
  return folders;
}

}  // namespace qx27::session
