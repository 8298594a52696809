// Port: the millisecond tick count and blocking sleeps. Native tests use a
// virtual clock so every wait is checked without sleeping in real time.
#pragma once

#include <cstdint>

namespace qx27 {

class ClockPort {
 public:
  virtual ~ClockPort() = default;
  // Milliseconds since an arbitrary start; wraps after about 49.7 days.
  virtual std::uint32_t TickCount() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace qx27
