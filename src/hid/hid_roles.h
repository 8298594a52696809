// The two roles a handle on one of the mouse's interfaces can hold: the
// feature role (the interface feature reports are exchanged with) and the
// input role (the interface the reader thread reads). One interface may hold
// both. This is the one place that closes such handles: a handle is closed
// when no role holds it any more, and exactly once.
#pragma once

#include <utility>

#include "ports/hid_port.h"

namespace qx27 {

class HidRoles {
 public:
  enum Role { kFeature, kInput };

  explicit HidRoles(HidPort& port) : port_(port) {}
  ~HidRoles() {
    Close(kFeature);
    Close(kInput);
  }
  HidRoles(const HidRoles&) = delete;
  HidRoles& operator=(const HidRoles&) = delete;

  HidHandle Get(Role role) const { return held_[role]; }

  // Gives the role a handle; the one it held before is closed unless the
  // other role holds it too.
  void Set(Role role, HidHandle handle) {
    const HidHandle old = std::exchange(held_[role], handle);
    if (old != kInvalidHid && old != held_[kFeature] && old != held_[kInput]) port_.Close(old);
  }

  // Closes the role's handle and takes it from both roles: a role left
  // holding a closed value would be used again.
  void Close(Role role) {
    const HidHandle closing = std::exchange(held_[role], kInvalidHid);
    if (closing == kInvalidHid) return;
    if (held_[Other(role)] == closing) held_[Other(role)] = kInvalidHid;
    port_.Close(closing);
  }

  // Moves both handles into `to`, whose own roles must be empty.
  void MoveTo(HidRoles& to) {
    to.Set(kFeature, std::exchange(held_[kFeature], kInvalidHid));
    to.Set(kInput, std::exchange(held_[kInput], kInvalidHid));
  }

 private:
  static Role Other(Role role) { return role == kFeature ? kInput : kFeature; }

  HidPort& port_;
  HidHandle held_[2] = {kInvalidHid, kInvalidHid};
};

}  // namespace qx27
