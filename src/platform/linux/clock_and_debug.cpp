#include "platform/linux/clock_and_debug.h"

#include <chrono>
#include <thread>

namespace qx27::linux_host {

std::uint32_t VirtualClock::TickCount() {
  std::lock_guard lock(mutex_);
  return now_;
}

void VirtualClock::Sleep(std::uint32_t milliseconds) {
  if (std::this_thread::get_id() != owner_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  std::lock_guard lock(mutex_);
  sleeps_.push_back(milliseconds);
  now_ += milliseconds;  // wraps like the system's tick count
}

void VirtualClock::Advance(std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  now_ += milliseconds;
}

void VirtualClock::Set(std::uint32_t now) {
  std::lock_guard lock(mutex_);
  now_ = now;
}

std::vector<std::uint32_t> VirtualClock::Sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

void VirtualClock::ClearSleeps() {
  std::lock_guard lock(mutex_);
  sleeps_.clear();
}

std::uint32_t SteadyClock::TickCount() {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

void SteadyClock::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void CapturedDebugOutput::Output(std::u16string_view line) {
  {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  }
  arrived_.notify_all();
}

std::vector<std::u16string> CapturedDebugOutput::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void CapturedDebugOutput::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

bool CapturedDebugOutput::WaitForLines(std::size_t count, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return lines_.size() >= count; });
}

}  // namespace qx27::linux_host
