// Every port's Linux stand-in in one place, with the simulated mouse plugged
// in and a fresh application-data folder on disk: what a native test of the
// agent runs on.
#pragma once

#include <filesystem>
#include <string>

#include "common/text.h"
#include "platform/linux/clock_and_debug.h"
#include "platform/linux/desktop_stand_ins.h"
#include "platform/linux/ini_port.h"
#include "platform/linux/window_port.h"
#include "ports/ports.h"
#include "sim/sim_hid.h"
#include "support/temp_folder.h"

namespace qx27::test {

struct StandInSystem {
  StandInSystem() {
    shell.SetAppDataFolder(FromUtf8(app_data.Root().string()));
    std::filesystem::create_directories(agent_folder());
  }
  // "<application data>/VORN/ELDAN QX27", made as an installer would.
  std::filesystem::path agent_folder() const { return app_data.Root() / "VORN" / "ELDAN QX27"; }
  std::filesystem::path settings_file() const { return agent_folder() / "GamingMouse"; }
  std::filesystem::path macro_file() const { return agent_folder() / "BulletSetting"; }

  test::TempFolder app_data;
  sim::SimHidBus bus;
  sim::SimDevice& mouse = bus.AddDevice(sim::MouseLayout());
  linux_host::InProcessWindows windows;
  linux_host::StandInIniPort ini;
  linux_host::RecordingSystemSettings system_settings;
  linux_host::RecordingShell shell;
  linux_host::VirtualClock clock;
  linux_host::CapturedDebugOutput debug;
  linux_host::FakeModules modules;
  Ports ports{bus, windows, ini, system_settings, shell, clock, debug, modules};
};

}  // namespace qx27::test
