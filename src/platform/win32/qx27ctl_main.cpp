// qx27ctl.exe: the Win32 ports handed to the portable command, and its text
// to the console or to whatever standard output is.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"
#include "ctl/qx27ctl.h"
#include "platform/win32/desktop_ports.h"
#include "platform/win32/hid_port.h"
#include "platform/win32/ini_port.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/wide.h"
#include "platform/win32/window_port.h"

namespace {

class Win32Files final : public qx27::FilePort {
 public:
  std::optional<std::string> ReadWholeFile(std::u16string_view path) override {
    const qx27::win32::unique_hfile file(CreateFileW(qx27::win32::Wide(path).c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    // A backup is a few hundred kilobytes; anything far larger is no backup.
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
      bytes.append(buffer, read);
      if (bytes.size() > (64u << 20)) return std::nullopt;
    }
    return bytes;
  }

  bool WriteWholeFile(std::u16string_view path, std::string_view bytes) override {
    const qx27::win32::unique_hfile file(CreateFileW(qx27::win32::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }
};

// A console gets UTF-16, so any console code page shows the text; a pipe or a
// file gets UTF-8.
void Write(DWORD which, FILE* stream, const std::string& text) {
  if (text.empty()) return;
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    const std::wstring wide = qx27::win32::Wide(qx27::FromUtf8(text));
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < count; ++i) args.push_back(qx27::ToUtf8(qx27::win32::FromWide(argv[i])));
  if (argv != nullptr) LocalFree(argv);

  qx27::win32::Win32IniPort ini;
  qx27::win32::Win32Windows windows;
  qx27::win32::Win32Shell shell;
  qx27::win32::Win32HidPort hid;
  Win32Files files;
  qx27::ctl::CtlPorts ports{ini, windows, shell, hid, files};
  const qx27::ctl::CtlResult result = qx27::ctl::RunCtl(args, ports);
  Write(STD_OUTPUT_HANDLE, stdout, result.out);
  Write(STD_ERROR_HANDLE, stderr, result.err);
  return result.exit_code;
}
