#include "platform/linux/session/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qx27::session {

InstanceLock::Taken InstanceLock::Take(const std::string& path) {
  Taken taken;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    taken.error = "cannot open " + path + ": " + std::strerror(errno);
    return taken;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      taken.held_by_other = true;
      char text[24] = {};
      const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
      if (got > 0) taken.other_pid = std::strtol(text, nullptr, 10);
    } else {
      taken.error = "cannot lock " + path + ": " + std::strerror(error);
    }
    ::close(fd);
    return taken;
  }
  // The holder's process ID, for the message a second agent gives.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t put = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  taken.lock = InstanceLock(fd);
  return taken;
}

InstanceLock::~InstanceLock() { Release(); }

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void InstanceLock::Release() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace qx27::session
