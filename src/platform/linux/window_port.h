// Linux stand-in for the windows-and-messages port: windows, their titles and
// one message queue, all in-process. Windows of other programs (the companion
// UI, the OSD window) are stand-in windows that record what is posted to them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ports/window_port.h"

namespace qx27::linux_host {

struct PostedMessage {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  WParam wparam = 0;
  LParam lparam = 0;
  bool operator==(const PostedMessage&) const = default;
};

class InProcessWindows final : public WindowPort {
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

  // ---- for tests ----
  // A window of another program; what is posted to it is recorded in order.
  WindowHandle AddForeignWindow(std::u16string_view title);
  void RemoveForeignWindow(WindowHandle window);
  std::vector<PostedMessage> ReceivedBy(WindowHandle window) const;
  void ClearReceived();
  // Delivers a message at once, as SendMessage does.
  LResult Send(WindowHandle window, std::uint32_t message, WParam wparam = 0, LParam lparam = 0);
  // Dispatches what is queued now, without blocking; gives the count.
  int PumpPending();
  // Dispatches until `count` messages were handled or the timeout (real
  // milliseconds) passes; for messages posted from other threads.
  int PumpUntil(int count, int timeout_ms);
  // The system's notification of a HID interface arriving or leaving, posted
  // to every registered window.
  void BroadcastHidChange(WParam event_type = 0x8000);
  void SetSystemMajorVersion(int major) { major_version_ = major; }
  // The next window creation fails, as it does without a desktop.
  void FailNextCreate() { fail_next_create_ = true; }

  // The number registered for this name, 0 when none was, and how many
  // registrations were asked for.
  std::uint32_t NamedMessage(std::u16string_view name) const;
  int named_message_registrations() const;

  std::uint32_t ExStyle(WindowHandle window) const;
  std::uint32_t Style(WindowHandle window) const;
  bool Exists(WindowHandle window) const;
  int live_mutexes() const;
  int hid_registrations() const;

 private:
  struct Window {
    std::u16string title;
    MessageTarget* target = nullptr;  // null: another program's window
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::vector<PostedMessage> received;
  };
  struct Mutex {
    std::u16string name;
  };

  bool DispatchOne(std::unique_lock<std::mutex>& lock);
  LResult Dispatch(const PostedMessage& message);

  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::map<WindowHandle, Window> windows_;
  std::deque<PostedMessage> queue_;
  std::vector<WindowHandle> hid_registered_;
  std::map<std::uintptr_t, Mutex> mutexes_;
  std::map<std::u16string, std::uint32_t> named_messages_;  // by lower-cased name
  int named_message_registrations_ = 0;
  WindowHandle next_window_ = 0x10010;
  std::uintptr_t next_mutex_ = 0x20;
  int major_version_ = 10;
  bool fail_next_create_ = false;
};

}  // namespace qx27::linux_host
