// Win32 clock-and-sleep and debug-output ports.
#pragma once

#include "ports/clock_port.h"
#include "ports/debug_port.h"

namespace qx27::win32 {

class Win32Clock final : public ClockPort {
 public:
  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;
};

class Win32DebugOutput final : public DebugPort {
 public:
  void Output(std::u16string_view line) override;
};

}  // namespace qx27::win32
