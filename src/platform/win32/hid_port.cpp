#include "platform/win32/hid_port.h"

#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/wide.h"

extern "C" {
#include <hidpi.h>
}

namespace qx27::win32 {
namespace {

HANDLE ToHandle(HidHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// An overlapped read with its own event; the OVERLAPPED record lives here so
// it outlives the read.
class Win32PendingRead final : public PendingRead {
 public:
  Win32PendingRead(HANDLE file, unique_handle event) : file_(file), event_(std::move(event)) {
    overlapped_.hEvent = event_.get();
  }

  OVERLAPPED* overlapped() { return &overlapped_; }
  // The read failed at once: nothing is pending, nothing will be written.
  void Abandon() { waited_ = true; }

  int Wait() override {
    if (waited_) return bytes_;
    waited_ = true;
    // A read that completed at once has set its event too.
    WaitForSingleObject(event_.get(), INFINITE);
    // After the wait the result is fetched without waiting again; a read
    // ended by closing its handle reports no bytes.
    DWORD bytes = 0;
    GetOverlappedResult(file_, &overlapped_, &bytes, FALSE);
    bytes_ = static_cast<int>(bytes);
    return bytes_;
  }

  ~Win32PendingRead() override {
    // The system may still write into the OVERLAPPED record and the buffer
    // until the read has ended.
    if (!waited_) {
      CancelIoEx(file_, &overlapped_);
      Wait();
    }
  }

 private:
  HANDLE file_;
  unique_handle event_;
  OVERLAPPED overlapped_{};
  bool waited_ = false;
  int bytes_ = 0;
};

}  // namespace

std::vector<std::u16string> Win32HidPort::EnumerateInterfaces() {
  std::vector<std::u16string> paths;
  GUID hid_guid;
  HidD_GetHidGuid(&hid_guid);
  unique_hdevinfo list(SetupDiGetClassDevsW(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!list) return paths;

  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof(interface);
    if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &hid_guid, index, &interface)) break;

    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(list.get(), &interface, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<std::uint8_t> storage(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &interface, detail, required, nullptr, nullptr)) continue;
    // The path is terminated inside the block the system sized for it.
    const std::size_t max_units =
        (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    const std::wstring_view path(detail->DevicePath, wcsnlen(detail->DevicePath, max_units));
    paths.push_back(FromWide(path));
  }
  return paths;
}

HidHandle Win32HidPort::Open(std::u16string_view path) {
  const std::wstring wide_path = Wide(path);
  HANDLE file = CreateFileW(wide_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidHid;
  return reinterpret_cast<HidHandle>(file);
}

bool Win32HidPort::GetCaps(HidHandle handle, HidCaps& caps) {
  PHIDP_PREPARSED_DATA raw = nullptr;
  if (!HidD_GetPreparsedData(ToHandle(handle), &raw)) return false;
  unique_preparsed preparsed(raw);
  HIDP_CAPS hid_caps{};
  if (HidP_GetCaps(preparsed.get(), &hid_caps) != HIDP_STATUS_SUCCESS) return false;
  caps.input_report_length = hid_caps.InputReportByteLength;
  caps.feature_report_length = hid_caps.FeatureReportByteLength;
  return true;
}

bool Win32HidPort::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  HIDD_ATTRIBUTES hid_attributes{};
  hid_attributes.Size = sizeof(hid_attributes);
  if (!HidD_GetAttributes(ToHandle(handle), &hid_attributes)) return false;
  attributes.vendor_id = hid_attributes.VendorID;
  attributes.product_id = hid_attributes.ProductID;
  return true;
}

bool Win32HidPort::SetFeature(HidHandle handle, std::span<const std::uint8_t> report) {
  // HidD_SetFeature takes a non-const buffer but does not write to it.
  std::vector<std::uint8_t> copy(report.begin(), report.end());
  return HidD_SetFeature(ToHandle(handle), copy.data(), static_cast<ULONG>(copy.size())) != FALSE;
}

bool Win32HidPort::GetFeature(HidHandle handle, std::span<std::uint8_t> report) {
  return HidD_GetFeature(ToHandle(handle), report.data(), static_cast<ULONG>(report.size())) != FALSE;
}

std::unique_ptr<PendingRead> Win32HidPort::BeginRead(HidHandle handle, std::span<std::uint8_t> buffer) {
  unique_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) return nullptr;
  HANDLE file = ToHandle(handle);
  auto read = std::make_unique<Win32PendingRead>(file, std::move(event));
  if (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, read->overlapped())) return read;
  if (GetLastError() != ERROR_IO_PENDING) {
    read->Abandon();
    return nullptr;
  }
  return read;
}

void Win32HidPort::Close(HidHandle handle) {
  if (handle == kInvalidHid) return;
  HANDLE file = ToHandle(handle);
  // Ends a read pending on it, whichever thread issued it.
  CancelIoEx(file, nullptr);
  CloseHandle(file);
}

}  // namespace qx27::win32
