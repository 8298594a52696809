// Linux stand-ins for the clock-and-sleep and debug-output ports.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ports/clock_port.h"
#include "ports/debug_port.h"

namespace qx27::linux_host {

// Virtual time for the thread that made the clock (the window's thread in a
// test): its Sleep advances the clock at once instead of waiting, and each of
// its waits is recorded so tests can check them. Other threads (the reader)
// sleep in real time, unrecorded, so they neither spin nor move the clock.
class VirtualClock final : public ClockPort {
 public:
  explicit VirtualClock(std::uint32_t start = 0) : now_(start), owner_(std::this_thread::get_id()) {}

  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;

  void Advance(std::uint32_t milliseconds);
  void Set(std::uint32_t now);
  std::vector<std::uint32_t> Sleeps() const;
  void ClearSleeps();

 private:
  mutable std::mutex mutex_;
  std::uint32_t now_;
  std::thread::id owner_;
  std::vector<std::uint32_t> sleeps_;
};

// Real time, for programs that run the portable agent on Linux.
class SteadyClock final : public ClockPort {
 public:
  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;
};

// Keeps every line, in order, and can wait for one to arrive.
class CapturedDebugOutput final : public DebugPort {
 public:
  void Output(std::u16string_view line) override;

  std::vector<std::u16string> Lines() const;
  void Clear();
  // Waits up to `timeout_ms` (real time) for at least `count` lines.
  bool WaitForLines(std::size_t count, int timeout_ms) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<std::u16string> lines_;
};

}  // namespace qx27::linux_host
