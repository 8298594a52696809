#include "app/framework.h"

namespace qx27 {

CWndBase::~CWndBase() {
  if (handle_ != 0) {
    // The derived part is gone: later messages, the destroy ones included,
    // get default processing only.
    detached_ = true;
    quit_when_destroyed_ = false;
    windows_.DestroyWindow(handle_);
  }
}

bool CWndBase::CreateEx(const WindowCreateParams& params) {
  return windows_.CreateTopLevelWindow(params, *this) != 0 && handle_ != 0;
}

LResult CWndBase::Default() {
  return windows_.DefaultProcessing(handle_, current_.message, current_.wparam, current_.lparam);
}

LResult CWndBase::WindowProc(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  if (detached_) return windows_.DefaultProcessing(window, message, wparam, lparam);
  if (handle_ == 0 && message != msg::kNcDestroy) handle_ = window;
  if (handle_ != window) return windows_.DefaultProcessing(window, message, wparam, lparam);

  // Handlers may cause nested messages; each keeps its own for Default().
  const Current saved = current_;
  current_ = {message, wparam, lparam};
  LResult result = 0;
  bool routed = false;
  for (const MessageRoute& route : MessageMap()) {
    if (route.message != message) continue;
    if (message == msg::kCommand && route.command_id != kAnyCommand && route.command_id != (wparam & 0xFFFFu)) {
      continue;
    }
    result = (this->*route.handler)(wparam, lparam);
    routed = true;
    break;
  }
  if (!routed) result = Default();
  current_ = saved;

  if (message == msg::kNcDestroy) {
    handle_ = 0;
    if (quit_when_destroyed_) windows_.PostQuit(0);
  }
  return result;
}

void CAppBase::SetMainWindow(CWndBase* window) {
  if (main_window_ != nullptr) main_window_->quit_when_destroyed_ = false;
  main_window_ = window;
  if (window != nullptr) window->quit_when_destroyed_ = true;
}

int CAppBase::Run(const Ports& ports) {
  ports_ = &ports;
  if (!InitInstance()) return ExitInstance();
  exit_code_ = ports.windows.RunMessageLoop();
  return ExitInstance();
}

}  // namespace qx27
