// One owner for each kind of handle a port gives out (registry key, menu,
// loaded module, mutex): it closes the handle through the port that gave it,
// exactly once, in the manner of the Win32 owners in platform/win32.
#pragma once

#include <cstdint>
#include <utility>

#include "ports/module_port.h"
#include "ports/shell_port.h"
#include "ports/system_settings_port.h"
#include "ports/window_port.h"

namespace qx27 {

// Handle 0 means none for every port handle.
template <typename Port, typename Handle, void (Port::*Close)(Handle)>
class PortHandle {
 public:
  PortHandle() = default;
  PortHandle(Port& port, Handle handle) : port_(&port), handle_(handle) {}
  ~PortHandle() { reset(); }
  PortHandle(PortHandle&& other) noexcept : port_(other.port_), handle_(other.release()) {}
  PortHandle& operator=(PortHandle&& other) noexcept {
    if (this != &other) {
      reset();
      port_ = other.port_;
      handle_ = other.release();
    }
    return *this;
  }
  PortHandle(const PortHandle&) = delete;
  PortHandle& operator=(const PortHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  // Gives the handle up without closing it.
  Handle release() { return std::exchange(handle_, Handle{0}); }
  void reset() {
    if (const Handle old = release(); old != 0) (port_->*Close)(old);
  }

 private:
  Port* port_ = nullptr;
  Handle handle_ = 0;
};

using UniqueRegistryKey = PortHandle<SystemSettingsPort, RegistryHandle, &SystemSettingsPort::CloseKey>;
using UniqueMenu = PortHandle<ShellPort, MenuHandle, &ShellPort::DestroyMenu>;
using UniqueModule = PortHandle<ModulePort, ModuleHandle, &ModulePort::FreeDll>;
// Closes without releasing: only the process that made the mutex releases
// it, at its exit.
using UniqueMutex = PortHandle<WindowPort, std::uintptr_t, &WindowPort::CloseMutex>;

}  // namespace qx27
