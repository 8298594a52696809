// Stand-in hid.dll for the harness: the HID class functions qx27agent.exe
// imports, answered by the simulated-mouse process. A handle is one the
// agent's own CreateFileW opened on a path from the stand-in setupapi.dll, a
// named pipe of qx27mouse; the pipe's name tells which interface it is.
// Loaded only by the harness, through a native DLL override; nothing installs it.
#include <windows.h>

extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "sim/mouse_service.h"
#include "sim/report_text.h"
#include "sim/win32/mouse_pipe.h"

// The opaque block HidD_GetPreparsedData hands out; the magic lets HidP_GetCaps
// refuse anything else, as the system's does.
struct _HIDP_PREPARSED_DATA {
  char magic[8];
  USHORT input_report_length;
  USHORT feature_report_length;
};

namespace {

using qx27::simmouse::AnswerBody;
using qx27::simmouse::AnswerError;
using qx27::simmouse::AnswerIsOk;
using qx27::simmouse::AskMouse;
using qx27::simmouse::AskResult;

constexpr char kMagic[8] = {'q', 'x', '2', '7', 'h', 'i', 'd', 0};
constexpr GUID kHidGuid = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The interface behind a handle: the name of the qx27mouse pipe it was opened on.
std::optional<std::string> InterfaceName(HANDLE handle) {
  alignas(FILE_NAME_INFO) std::uint8_t storage[sizeof(FILE_NAME_INFO) + 1024 * sizeof(wchar_t)] = {};
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(storage);
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, info, sizeof(storage))) {
    // The mouse disconnects a handle's pipe when it is unplugged; the system
    // reports a device that is gone.
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE) SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return std::nullopt;
  }
  std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
  if (name.starts_with(L"\\")) name.remove_prefix(1);
  const std::string narrow = qx27::simmouse::Narrow(name);
  if (!narrow.starts_with(std::string(qx27::sim::kControlPipeName) + ".")) {
    // Not a HID interface at all: the system would not know the request.
    SetLastError(ERROR_INVALID_FUNCTION);
    return std::nullopt;
  }
  return narrow;
}

// Asks the mouse; on failure sets the error the system would report and gives nothing.
std::optional<std::string> Ask(const std::string& request) {
  std::string answer;
  if (AskMouse(request, answer) != AskResult::kAnswered) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return std::nullopt;
  }
  if (AnswerIsOk(answer)) return std::string(AnswerBody(answer));
  const std::string_view error = AnswerError(answer);
  if (error.starts_with("absent")) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
  } else if (error.starts_with("refused")) {
    SetLastError(ERROR_GEN_FAILURE);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  return std::nullopt;
}

std::optional<std::pair<unsigned, unsigned>> TwoNumbers(const std::string& body) {
  unsigned first = 0;
  unsigned second = 0;
  if (std::sscanf(body.c_str(), "%u %u", &first, &second) != 2) return std::nullopt;
  return std::pair(first, second);
}

BOOLEAN Exchange(const char* verb, HANDLE handle, PVOID buffer, ULONG length, bool read_back) {
  if (buffer == nullptr || length == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto name = InterfaceName(handle);
  if (!name) return FALSE;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  const auto body = Ask(std::string(verb) + " " + *name + " " + qx27::sim::HexBytes(std::span(bytes, length)));
  if (!body) return FALSE;
  if (!read_back) return TRUE;
  std::string_view text = *body;
  if (text.ends_with('\n')) text.remove_suffix(1);
  const auto report = qx27::sim::ParseHexBytes(text);
  if (!report || report->size() != length) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  std::memcpy(bytes, report->data(), length);
  return TRUE;
}

}  // namespace

extern "C" {

void NTAPI HidD_GetHidGuid(LPGUID guid) {
  if (guid != nullptr) *guid = kHidGuid;
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
  if (attributes == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto name = InterfaceName(handle);
  if (!name) return FALSE;
  const auto body = Ask("attributes " + *name);
  if (!body) return FALSE;
  const auto ids = TwoNumbers(*body);
  if (!ids) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  attributes->Size = sizeof(HIDD_ATTRIBUTES);
  attributes->VendorID = static_cast<USHORT>(ids->first);
  attributes->ProductID = static_cast<USHORT>(ids->second);
  attributes->VersionNumber = 0x0100;
  return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* preparsed) {
  if (preparsed == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto name = InterfaceName(handle);
  if (!name) return FALSE;
  const auto body = Ask("caps " + *name);
  if (!body) return FALSE;
  const auto lengths = TwoNumbers(*body);
  if (!lengths) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  auto* data =
      static_cast<_HIDP_PREPARSED_DATA*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(_HIDP_PREPARSED_DATA)));
  if (data == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::memcpy(data->magic, kMagic, sizeof(kMagic));
  data->input_report_length = static_cast<USHORT>(lengths->first);
  data->feature_report_length = static_cast<USHORT>(lengths->second);
  *preparsed = data;
  return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed) {
  if (preparsed == nullptr || std::memcmp(preparsed->magic, kMagic, sizeof(kMagic)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A second free of the same block is caught rather than corrupting the heap.
  std::memset(preparsed->magic, 0, sizeof(preparsed->magic));
  HeapFree(GetProcessHeap(), 0, preparsed);
  return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) {
  if (preparsed == nullptr || caps == nullptr || std::memcmp(preparsed->magic, kMagic, sizeof(kMagic)) != 0) {
    return HIDP_STATUS_INVALID_PREPARSED_DATA;
  }
  std::memset(caps, 0, sizeof(*caps));
  // A vendor-defined collection: the agent tells the interfaces apart by
  // their report lengths only.
  caps->UsagePage = 0xFF00;
  caps->Usage = 0x0001;
  caps->InputReportByteLength = preparsed->input_report_length;
  caps->FeatureReportByteLength = preparsed->feature_report_length;
  return HIDP_STATUS_SUCCESS;
}

BOOLEAN NTAPI HidD_SetFeature(HANDLE handle, PVOID buffer, ULONG length) {
  return Exchange("set", handle, buffer, length, false);
}

BOOLEAN NTAPI HidD_GetFeature(HANDLE handle, PVOID buffer, ULONG length) {
  return Exchange("get", handle, buffer, length, true);
}

}  // extern "C"
