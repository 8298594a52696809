// The operating system as the portable agent sees it: one port per facility.
// The platform's entry point (platform/win32 or platform/linux) fills this.
#pragma once

#include "ports/clock_port.h"
#include "ports/debug_port.h"
#include "ports/hid_port.h"
#include "ports/ini_port.h"
#include "ports/module_port.h"
#include "ports/shell_port.h"
#include "ports/system_settings_port.h"
#include "ports/window_port.h"

namespace qx27 {

struct Ports {
  HidPort& hid;
  WindowPort& windows;
  IniPort& ini;
  SystemSettingsPort& system_settings;
  ShellPort& shell;
  ClockPort& clock;
  DebugPort& debug;
  ModulePort& modules;
};

}  // namespace qx27
