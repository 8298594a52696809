#include "platform/linux/window_port.h"

#include <algorithm>
#include <chrono>

namespace qx27::linux_host {

WindowHandle InProcessWindows::CreateTopLevelWindow(const WindowCreateParams& params, MessageTarget& target) {
  WindowHandle handle = 0;
  {
    std::lock_guard lock(mutex_);
    if (fail_next_create_) {
      fail_next_create_ = false;
      return 0;
    }
    handle = next_window_;
    next_window_ += 0x10;
    Window& window = windows_[handle];
    window.title = params.title;
    window.target = &target;
    window.style = params.style;
    window.ex_style = params.ex_style;
  }
  // Like CreateWindowExW: WM_CREATE is handled before creation returns, and
  // -1 from it destroys the window and fails the creation.
  if (target.WindowProc(handle, msg::kCreate, 0, 0) == -1) {
    DestroyWindow(handle);
    return 0;
  }
  return handle;
}

LResult InProcessWindows::DefaultProcessing(WindowHandle window, std::uint32_t message, WParam, LParam) {
  if (message == msg::kClose) DestroyWindow(window);
  return 0;
}

void InProcessWindows::DestroyWindow(WindowHandle window) {
  MessageTarget* target = nullptr;
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(window);
    if (it == windows_.end()) return;
    target = it->second.target;
  }
  if (target != nullptr) {
    target->WindowProc(window, msg::kDestroy, 0, 0);
    target->WindowProc(window, msg::kNcDestroy, 0, 0);
  }
  std::lock_guard lock(mutex_);
  windows_.erase(window);
  hid_registered_.erase(std::remove(hid_registered_.begin(), hid_registered_.end(), window), hid_registered_.end());
  // Messages still queued for it are dropped, as the system does.
  std::erase_if(queue_, [&](const PostedMessage& m) { return m.window == window; });
}

bool InProcessWindows::Post(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(window);
    if (it == windows_.end()) return false;
    if (it->second.target == nullptr) {
      it->second.received.push_back({window, message, wparam, lparam});
      return true;
    }
    queue_.push_back({window, message, wparam, lparam});
  }
  posted_.notify_all();
  return true;
}

void InProcessWindows::PostQuit(int exit_code) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({0, msg::kQuit, static_cast<WParam>(exit_code), 0});
  }
  posted_.notify_all();
}

LResult InProcessWindows::Dispatch(const PostedMessage& message) {
  MessageTarget* target = nullptr;
  {
    std::lock_guard lock(mutex_);
    const auto it = windows_.find(message.window);
    if (it == windows_.end()) return 0;
    target = it->second.target;
  }
  return target != nullptr ? target->WindowProc(message.window, message.message, message.wparam, message.lparam) : 0;
}

int InProcessWindows::RunMessageLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    posted_.wait(lock, [&] { return !queue_.empty(); });
    const PostedMessage next = queue_.front();
    queue_.pop_front();
    if (next.message == msg::kQuit) return static_cast<int>(next.wparam);
    lock.unlock();
    Dispatch(next);
    lock.lock();
  }
}

int InProcessWindows::PumpPending() {
  int handled = 0;
  for (;;) {
    PostedMessage next;
    {
      std::lock_guard lock(mutex_);
      const auto it =
          std::find_if(queue_.begin(), queue_.end(), [](const PostedMessage& m) { return m.message != msg::kQuit; });
      if (it == queue_.end()) return handled;
      next = *it;
      queue_.erase(it);
    }
    Dispatch(next);
    ++handled;
  }
}

int InProcessWindows::PumpUntil(int count, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int handled = 0;
  while (handled < count) {
    {
      std::unique_lock lock(mutex_);
      const bool ready = posted_.wait_until(lock, deadline, [&] {
        return std::any_of(queue_.begin(), queue_.end(),
                           [](const PostedMessage& m) { return m.message != msg::kQuit; });
      });
      if (!ready) return handled;
    }
    handled += PumpPending();
  }
  return handled;
}

LResult InProcessWindows::Send(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam) {
  return Dispatch({window, message, wparam, lparam});
}

WindowHandle InProcessWindows::FindWindowByTitle(std::u16string_view title) {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, window] : windows_) {
    if (window.title == title) return handle;
  }
  return 0;
}

void InProcessWindows::SetExStyle(WindowHandle window, std::uint32_t ex_style) {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  if (it != windows_.end()) it->second.ex_style = ex_style;
}

std::uintptr_t InProcessWindows::RegisterHidNotifications(WindowHandle window) {
  std::lock_guard lock(mutex_);
  if (windows_.count(window) == 0) return 0;
  hid_registered_.push_back(window);
  return 0x7000 + hid_registered_.size();
}

int InProcessWindows::SystemMajorVersion() { return major_version_; }

namespace {

// Names of registered messages compare without regard to case, as Windows' do.
std::u16string MessageKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& c : key) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return key;
}

}  // namespace

std::uint32_t InProcessWindows::RegisterNamedMessage(std::u16string_view name) {
  std::lock_guard lock(mutex_);
  ++named_message_registrations_;
  if (name.empty()) return 0;
  // Registered numbers lie in 0xC000..0xFFFF.
  const auto [it, added] =
      named_messages_.try_emplace(MessageKey(name), static_cast<std::uint32_t>(0xC000 + named_messages_.size()));
  return it->second;
}

std::uint32_t InProcessWindows::NamedMessage(std::u16string_view name) const {
  std::lock_guard lock(mutex_);
  const auto it = named_messages_.find(MessageKey(name));
  return it == named_messages_.end() ? 0 : it->second;
}

int InProcessWindows::named_message_registrations() const {
  std::lock_guard lock(mutex_);
  return named_message_registrations_;
}

std::uintptr_t InProcessWindows::CreateNamedMutex(std::u16string_view name, bool& already_existed) {
  std::lock_guard lock(mutex_);
  already_existed =
      std::any_of(mutexes_.begin(), mutexes_.end(), [&](const auto& entry) { return entry.second.name == name; });
  const std::uintptr_t handle = next_mutex_;
  next_mutex_ += 4;
  mutexes_[handle] = {std::u16string(name)};
  return handle;
}

void InProcessWindows::ReleaseAndCloseMutex(std::uintptr_t mutex) { CloseMutex(mutex); }

void InProcessWindows::CloseMutex(std::uintptr_t mutex) {
  std::lock_guard lock(mutex_);
  mutexes_.erase(mutex);
}

WindowHandle InProcessWindows::AddForeignWindow(std::u16string_view title) {
  std::lock_guard lock(mutex_);
  const WindowHandle handle = next_window_;
  next_window_ += 0x10;
  windows_[handle].title = title;
  return handle;
}

void InProcessWindows::RemoveForeignWindow(WindowHandle window) {
  std::lock_guard lock(mutex_);
  windows_.erase(window);
}

std::vector<PostedMessage> InProcessWindows::ReceivedBy(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  return it == windows_.end() ? std::vector<PostedMessage>{} : it->second.received;
}

void InProcessWindows::ClearReceived() {
  std::lock_guard lock(mutex_);
  for (auto& [handle, window] : windows_) window.received.clear();
}

void InProcessWindows::BroadcastHidChange(WParam event_type) {
  std::vector<WindowHandle> targets;
  {
    std::lock_guard lock(mutex_);
    targets = hid_registered_;
  }
  for (const WindowHandle window : targets) Post(window, msg::kDeviceChange, event_type, 0);
}

std::uint32_t InProcessWindows::ExStyle(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  return it == windows_.end() ? 0 : it->second.ex_style;
}

std::uint32_t InProcessWindows::Style(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  const auto it = windows_.find(window);
  return it == windows_.end() ? 0 : it->second.style;
}

bool InProcessWindows::Exists(WindowHandle window) const {
  std::lock_guard lock(mutex_);
  return windows_.count(window) != 0;
}

int InProcessWindows::live_mutexes() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(mutexes_.size());
}

int InProcessWindows::hid_registrations() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(hid_registered_.size());
}

}  // namespace qx27::linux_host
