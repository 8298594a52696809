// One small owner per kind of system handle. Each knows its API's own invalid
// value (CreateFileW fails with INVALID_HANDLE_VALUE, CreateEventW with null)
// and its own release call, and closes exactly once.
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
inline HKEY NullKey() { return nullptr; }
inline void CloseKey(HKEY k) { RegCloseKey(k); }
inline HMODULE NullModule() { return nullptr; }
inline void ReleaseModule(HMODULE m) { ::FreeLibrary(m); }
inline HMENU NullMenu() { return nullptr; }
inline void ReleaseMenu(HMENU m) { ::DestroyMenu(m); }
}  // namespace detail

// CreateFileW handles: invalid is INVALID_HANDLE_VALUE.
using unique_hfile = UniqueResource<HANDLE, detail::InvalidFileHandle, detail::CloseKernelHandle>;
// Events, mutexes, threads: invalid is null.
using unique_handle = UniqueResource<HANDLE, detail::NullHandle, detail::CloseKernelHandle>;
using unique_hdevinfo = UniqueResource<HDEVINFO, detail::InvalidDevInfo, detail::DestroyDevInfo>;
using unique_preparsed = UniqueResource<PHIDP_PREPARSED_DATA, detail::NullPreparsed, detail::FreePreparsed>;
using unique_hkey = UniqueResource<HKEY, detail::NullKey, detail::CloseKey>;
using unique_hmodule = UniqueResource<HMODULE, detail::NullModule, detail::ReleaseModule>;
using unique_hmenu = UniqueResource<HMENU, detail::NullMenu, detail::ReleaseMenu>;

}  // namespace qx27::win32
