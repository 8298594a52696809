// The product's entry point: the Win32 ports, handed to the application
// object. The agent reads no command line and no environment.
#include <windows.h>

#include "app/hid_app.h"
#include "platform/win32/clock_and_debug.h"
#include "platform/win32/desktop_ports.h"
#include "platform/win32/hid_port.h"
#include "platform/win32/ini_port.h"
#include "platform/win32/window_port.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  qx27::win32::Win32HidPort hid;
  qx27::win32::Win32Windows windows;
  qx27::win32::Win32IniPort ini;
  qx27::win32::Win32SystemSettings system_settings;
  qx27::win32::Win32Shell shell;
  qx27::win32::Win32Clock clock;
  qx27::win32::Win32DebugOutput debug;
  qx27::win32::Win32Modules modules;
  const qx27::Ports ports{hid, windows, ini, system_settings, shell, clock, debug, modules};
  return qx27::TheApp().Run(ports);
}
