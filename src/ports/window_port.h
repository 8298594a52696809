// Port: windows, messages and the process's single-instance mutex. The
// portable framework (app/framework.h) is built on it; Win32 gives real
// windows, the Linux stand-in delivers messages in-process.
#pragma once

#include <cstdint>
#include <string_view>

namespace qx27 {

using WindowHandle = std::uintptr_t;  // 0: no window
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Receives the messages of one window, WM_CREATE included.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual LResult WindowProc(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) = 0;
};

struct WindowCreateParams {
  std::uint32_t ex_style = 0;
  std::u16string_view title;
  std::uint32_t style = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Creates a top-level window of a private class (no class style, cursor,
  // background or icon) whose messages go to `target`. WM_CREATE reaches the
  // target before this returns. Gives 0 on failure.
  virtual WindowHandle CreateTopLevelWindow(const WindowCreateParams& params, MessageTarget& target) = 0;
  virtual LResult DefaultProcessing(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) = 0;
  // Destroys the window: WM_DESTROY, then WM_NCDESTROY reach its target.
  virtual void DestroyWindow(WindowHandle window) = 0;
  // Runs the message loop until the quit message; gives its exit code.
  virtual int RunMessageLoop() = 0;
  virtual void PostQuit(int exit_code) = 0;
  // May be called from any thread.
  virtual bool Post(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) = 0;
  // Top-level window with exactly this title, any class; 0 when none.
  virtual WindowHandle FindWindowByTitle(std::u16string_view title) = 0;
  virtual void SetExStyle(WindowHandle window, std::uint32_t ex_style) = 0;
  // Registers the window for arrival and removal of HID interfaces; gives
  // an opaque registration, 0 on failure. It stays for the process's life.
  virtual std::uintptr_t RegisterHidNotifications(WindowHandle window) = 0;
  // Two facilities that are not windows live here on purpose: each serves
  // only the Agent window's life and a port of its own would hold one or two
  // calls. The system's version decides which session-change messages the
  // window acts on; the named mutex keeps a second Agent window from being
  // made in the same logon session.
  // The major version of the running system.
  virtual int SystemMajorVersion() = 0;
  // RegisterWindowMessageW: the number every program gets for this name, the
  // same for the same name in the session; 0 on failure.
  virtual std::uint32_t RegisterNamedMessage(std::u16string_view name) = 0;

  // Named mutex in the logon session's namespace. `already_existed` tells
  // whether another holder created it first. Gives 0 on failure.
  virtual std::uintptr_t CreateNamedMutex(std::u16string_view name, bool& already_existed) = 0;
  virtual void ReleaseAndCloseMutex(std::uintptr_t mutex) = 0;
  virtual void CloseMutex(std::uintptr_t mutex) = 0;
};

// Window messages and styles the agent deals in (values fixed by the system).
namespace msg {
inline constexpr std::uint32_t kNull = 0x0000;
inline constexpr std::uint32_t kCreate = 0x0001;
inline constexpr std::uint32_t kDestroy = 0x0002;
inline constexpr std::uint32_t kClose = 0x0010;
inline constexpr std::uint32_t kQuit = 0x0012;
inline constexpr std::uint32_t kNcDestroy = 0x0082;
inline constexpr std::uint32_t kCommand = 0x0111;
inline constexpr std::uint32_t kTimer = 0x0113;
inline constexpr std::uint32_t kDeviceChange = 0x0219;
inline constexpr std::uint32_t kSessionChange = 0x02B1;
}  // namespace msg

namespace style {
inline constexpr std::uint32_t kPopup = 0x80000000u;
inline constexpr std::uint32_t kExToolWindow = 0x00000080u;
}  // namespace style

}  // namespace qx27
