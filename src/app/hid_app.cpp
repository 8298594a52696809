#include "app/hid_app.h"

#include "interfaces/companion_ui.h"

namespace qx27 {

namespace {
CHidApp the_app;
}  // namespace

CHidApp& TheApp() { return the_app; }

bool CHidApp::InitInstance() {
  bool already_existed = false;
  WindowPort& windows = ports().windows;
  instance_mutex_ = UniqueMutex(windows, windows.CreateNamedMutex(companion::kAgentMutexName, already_existed));
  if (already_existed) {
    // Another agent runs in this logon session; it is not told.
    instance_mutex_.reset();
    return false;
  }
  // Any other failure of the mutex leaves the agent running unguarded.

  window_ = std::make_unique<CMyWnd>(ports());
  if (window_->CreateAgentWindow() == 0) {
    SetExitCode(kWindowCreationFailed);
    return false;
  }
  SetMainWindow(window_.get());
  return true;
}

int CHidApp::ExitInstance() {
  // The mutex is released here only: this process made it.
  if (instance_mutex_) ports().windows.ReleaseAndCloseMutex(instance_mutex_.release());
  SetMainWindow(nullptr);
  window_.reset();
  return CAppBase::ExitInstance();
}

}  // namespace qx27
