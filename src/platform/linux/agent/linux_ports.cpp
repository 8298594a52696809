#include "platform/linux/agent/linux_ports.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"

namespace qx27::agentd {

std::uint32_t MonotonicClock::TickCount() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  // Wraps like the system's tick count on Windows.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

void MonotonicClock::Sleep(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void StderrDebug::Output(std::u16string_view line) {
  std::string text = ToUtf8(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  WriteLine(text);
}

void StderrDebug::Note(const std::string& text) { WriteLine("qx27agentd: " + text); }

void StderrDebug::WriteLine(const std::string& line) {
  const std::string whole = line + "\n";
  std::lock_guard lock(mutex_);
  for (std::size_t sent = 0; sent < whole.size();) {
    const ssize_t put = ::write(STDERR_FILENO, whole.data() + sent, whole.size() - sent);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    sent += static_cast<std::size_t>(put);
  }
}

}  // namespace qx27::agentd
