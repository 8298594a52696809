// Every port's Linux stand-in in one place, with the simulated mouse plugged
// in: what a native test of the agent runs on.
#pragma once

#include "platform/linux/clock_and_debug.h"
#include "platform/linux/desktop_stand_ins.h"
#include "platform/linux/window_port.h"
#include "ports/ports.h"
#include "sim/sim_hid.h"

namespace qx27::testing_support {

// Until the settings store lands: an INI service that holds nothing and
// refuses every write.
class EmptyIni final : public IniPort {
 public:
  std::uint32_t ReadInt(std::u16string_view, std::u16string_view, std::int32_t d, std::u16string_view) override {
    return static_cast<std::uint32_t>(d);
  }
  std::size_t ReadString(std::u16string_view, std::u16string_view, std::u16string_view, std::span<char16_t> b,
                         std::u16string_view) override {
    if (!b.empty()) b[0] = 0;
    return 0;
  }
  bool ReadStruct(std::u16string_view, std::u16string_view, std::span<std::uint8_t>, std::u16string_view) override {
    return false;
  }
  bool WriteString(std::u16string_view, std::u16string_view, std::u16string_view, std::u16string_view) override {
    return false;
  }
  bool WriteStruct(std::u16string_view, std::u16string_view, std::span<const std::uint8_t>,
                   std::u16string_view) override {
    return false;
  }
};

struct StandInSystem {
  sim::SimHidBus bus;
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseSpec());
  linux_host::InProcessWindows windows;
  EmptyIni ini;
  linux_host::RecordingSystemSettings system_settings;
  linux_host::RecordingShell shell;
  linux_host::VirtualClock clock;
  linux_host::CapturedDebugOutput debug;
  linux_host::FakeModules modules;
  Ports ports{bus, windows, ini, system_settings, shell, clock, debug, modules};
};

}  // namespace qx27::testing_support
