// Windows, messages and the single-instance mutex on the Win32 window manager.
#pragma once

#include "ports/window_port.h"

namespace qx27::win32 {

class Win32Windows final : public WindowPort {
 public:
  WindowHandle CreateTopLevelWindow(const WindowCreateParams& params, MessageTarget& target) override;
  LResult DefaultProcessing(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) override;
  void DestroyWindow(WindowHandle window) override;
  int RunMessageLoop() override;
  void PostQuit(int exit_code) override;
  bool Post(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) override;
  WindowHandle FindWindowByTitle(std::u16string_view title) override;
  void SetExStyle(WindowHandle window, std::uint32_t ex_style) override;
  std::uintptr_t RegisterHidNotifications(WindowHandle window) override;
  int SystemMajorVersion() override;
  std::uint32_t RegisterNamedMessage(std::u16string_view name) override;
  std::uintptr_t CreateNamedMutex(std::u16string_view name, bool& already_existed) override;
  void ReleaseAndCloseMutex(std::uintptr_t mutex) override;
  void CloseMutex(std::uintptr_t mutex) override;
};

}  // namespace qx27::win32
