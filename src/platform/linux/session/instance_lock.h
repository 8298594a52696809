// One qx27agentd per user session: an exclusive flock on a file in the
// runtime folder. The kernel drops the lock when its holder ends, however it
// ends, so a crashed agent never blocks the next one; the file itself stays.
#pragma once

#include <string>

namespace qx27::session {

class InstanceLock {
 public:
  struct Taken;
  // Takes the lock, or tells why not.
  static Taken Take(const std::string& path);

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  bool held() const { return fd_ >= 0; }
  void Release();

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

struct InstanceLock::Taken {
  InstanceLock lock;  // held when taken
  bool held_by_other = false;
  long other_pid = 0;  // the holder's process ID as it wrote it, 0 when unknown
  std::string error;   // the lock file could not be used at all
};

}  // namespace qx27::session
