// The ports of qx27agentd besides HID, INI and the socket: the clock, the
// debug output, and the facilities Linux has no counterpart of, left out
// through ports that do nothing. What each one leaves out is said at its class
// (the shell's is session/xdg_shell.h).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "ports/clock_port.h"
#include "ports/debug_port.h"
#include "ports/module_port.h"
#include "ports/system_settings_port.h"

namespace qx27::agentd {

// The monotonic clock in milliseconds, and real sleeps.
class MonotonicClock final : public ClockPort {
 public:
  std::uint32_t TickCount() override;
  void Sleep(std::uint32_t milliseconds) override;
};

// One line on standard error per output, whole even when threads write at once.
class StderrDebug final : public DebugPort {
 public:
  void Output(std::u16string_view line) override;
  // The agent's own lines, apart from the core's: "qx27agentd: TEXT".
  void Note(const std::string& text);

 private:
  void WriteLine(const std::string& line);
  std::mutex mutex_;
};

// Linux has no system-wide double-click time, pointer speed or wheel lines
// that a user program sets: every call fails and nothing is changed.
class NoPointerSettings final : public SystemSettingsPort {
 public:
  RegistryHandle OpenKey(RegistryRoot, std::u16string_view, std::uint32_t) override { return 0; }
  RegistryHandle CreateKey(RegistryRoot, std::u16string_view) override { return 0; }
  bool SetStringValue(RegistryHandle, std::u16string_view, std::span<const char16_t>) override { return false; }
  void CloseKey(RegistryHandle) override {}
  bool SetDoubleClickTime(std::uint32_t) override { return false; }
  bool SystemParametersInfoArray(std::uint32_t, std::uint32_t, std::span<std::int32_t, 3>, std::uint32_t) override {
    return false;
  }
  bool SystemParametersInfoValue(std::uint32_t, std::uint32_t, std::uintptr_t, std::uint32_t) override { return false; }
};

// No agent folder is given out, so the presence DLL, the companion program and
// the tray menu's language files are never looked for; no DLL loads.
class NoModules final : public ModulePort {
 public:
  std::size_t GetOwnFileName(std::span<char16_t, 260> buffer) override {
    buffer[0] = u'\0';
    return 0;
  }
  ModuleHandle LoadDll(std::u16string_view) override { return 0; }
  bool CallExport(ModuleHandle, const char*, std::int32_t, std::int32_t, std::int32_t&) override { return false; }
  void FreeDll(ModuleHandle) override {}
};

}  // namespace qx27::agentd
