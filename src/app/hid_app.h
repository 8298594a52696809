// The application object: one agent per logon session, the Agent window
// created at start, and torn down when the message loop ends.
#pragma once

#include <cstdint>
#include <memory>

#include "app/agent_window.h"
#include "app/framework.h"
#include "ports/port_handle.h"

namespace qx27 {

class CHidApp : public CAppBase {
 public:
  // Exit code when the Agent window cannot be created: a message loop
  // without a window would never end.
  static constexpr int kWindowCreationFailed = 1;

  CMyWnd* agent_window() const { return window_.get(); }

 protected:
  bool InitInstance() override;
  int ExitInstance() override;

 private:
  std::unique_ptr<CMyWnd> window_;
  UniqueMutex instance_mutex_;
};

// The one application object, constructed before the entry point runs.
CHidApp& TheApp();

}  // namespace qx27
