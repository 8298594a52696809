// A small windowing and application framework: an application object with
// start and exit operations around the message loop, and a window class that
// routes each message through a message map, with default processing for the
// rest. It runs on the windows-and-messages port, so the same dispatch is real
// Win32 in the product and in-process on the Linux stand-in.
#pragma once

#include <cstdint>
#include <span>

#include "ports/ports.h"

namespace qx27 {

class CWndBase : public MessageTarget {
 public:
  explicit CWndBase(WindowPort& windows) : windows_(windows) {}
  ~CWndBase() override;
  CWndBase(const CWndBase&) = delete;
  CWndBase& operator=(const CWndBase&) = delete;

  WindowHandle handle() const { return handle_; }

  LResult WindowProc(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) final;

 protected:
  using Handler = LResult (CWndBase::*)(WParam, LParam);
  static constexpr std::uint32_t kAnyCommand = 0xFFFFFFFFu;

  struct MessageRoute {
    std::uint32_t message;
    std::uint32_t command_id;  // WM_COMMAND only: the identifier in the low word
    Handler handler;
  };

  template <typename W>
  static constexpr MessageRoute OnMessage(std::uint32_t message, LResult (W::*handler)(WParam, LParam)) {
    return {message, kAnyCommand, static_cast<Handler>(handler)};
  }
  template <typename W>
  static constexpr MessageRoute OnCommand(std::uint16_t id, LResult (W::*handler)(WParam, LParam)) {
    return {msg::kCommand, id, static_cast<Handler>(handler)};
  }

  virtual std::span<const MessageRoute> MessageMap() const { return {}; }

  // Creates the window; WM_CREATE has been handled when this returns.
  bool CreateEx(const WindowCreateParams& params);
  // Default processing of the message now being handled.
  LResult Default();

  WindowPort& windows_;

 private:
  friend class CAppBase;
  struct Current {
    std::uint32_t message = 0;
    WParam wparam = 0;
    LParam lparam = 0;
  };

  WindowHandle handle_ = 0;
  Current current_;
  bool quit_when_destroyed_ = false;
  bool detached_ = false;
};

class CAppBase {
 public:
  virtual ~CAppBase() = default;

  // The framework's entry: start operation, message loop, exit operation.
  int Run(const Ports& ports);

 protected:
  // Gives false when the process is to end at once.
  virtual bool InitInstance() = 0;
  // Gives the process exit code.
  virtual int ExitInstance() { return exit_code_; }

  const Ports& ports() const { return *ports_; }
  // The main window's destruction ends the message loop with quit code 0.
  void SetMainWindow(CWndBase* window);
  void SetExitCode(int code) { exit_code_ = code; }

 private:
  const Ports* ports_ = nullptr;
  CWndBase* main_window_ = nullptr;
  int exit_code_ = 0;
};

}  // namespace qx27
