// Port: the debugger output channel, the agent's only diagnostics.
#pragma once

#include <string_view>

namespace qx27 {

class DebugPort {
 public:
  virtual ~DebugPort() = default;
  // May be called from any thread.
  virtual void Output(std::u16string_view line) = 0;
};

}  // namespace qx27
