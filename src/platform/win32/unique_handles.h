// One small owner per kind of system handle the Win32 ports hold for the
// length of a call. Each knows its API's own invalid value (CreateEventW fails
// with null, SetupDiGetClassDevsW with INVALID_HANDLE_VALUE) and its own
// release call, and closes exactly once. Handles handed out through a port
// (HID files, registry keys, menus, modules, the mutex) are owned on the
// portable side by ports/port_handle.h and hid/hid_roles.h.
#pragma once

#include <windows.h>

#include <utility>

extern "C" {
#include <hidsdi.h>
#include <setupapi.h>
}

namespace qx27::win32 {

template <typename T, T (*Invalid)(), void (*Release)(T)>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Invalid(); }
  T release() { return std::exchange(value_, Invalid()); }
  void reset(T value = Invalid()) {
    const T old = std::exchange(value_, value);
    if (old != Invalid()) {
      // Closing must not clobber the error code a caller is about to look at.
      const DWORD error = GetLastError();
      Release(old);
      SetLastError(error);
    }
  }

 private:
  T value_ = Invalid();
};

namespace detail {
inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidFileHandle() { return INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline HDEVINFO InvalidDevInfo() { return INVALID_HANDLE_VALUE; }
inline void DestroyDevInfo(HDEVINFO h) { SetupDiDestroyDeviceInfoList(h); }
inline PHIDP_PREPARSED_DATA NullPreparsed() { return nullptr; }
inline void FreePreparsed(PHIDP_PREPARSED_DATA p) { HidD_FreePreparsedData(p); }
}  // namespace detail

// CreateFileW handles: invalid is INVALID_HANDLE_VALUE.
using unique_hfile = UniqueResource<HANDLE, detail::InvalidFileHandle, detail::CloseKernelHandle>;
// Events, mutexes, threads: invalid is null.
using unique_handle = UniqueResource<HANDLE, detail::NullHandle, detail::CloseKernelHandle>;
using unique_hdevinfo = UniqueResource<HDEVINFO, detail::InvalidDevInfo, detail::DestroyDevInfo>;
using unique_preparsed = UniqueResource<PHIDP_PREPARSED_DATA, detail::NullPreparsed, detail::FreePreparsed>;

}  // namespace qx27::win32
