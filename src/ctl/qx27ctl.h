// qx27ctl: read and change the mouse's profiles from the command line. It
// reads and writes the user's settings file through the agent's own settings
// store, checks every value as the agent's validation would before anything
// is written, and asks the running agent to apply what it wrote.
#pragma once

#include <string>
#include <vector>

#include "ports/file_port.h"
#include "ports/hid_port.h"
#include "ports/ini_port.h"
#include "ports/shell_port.h"
#include "ports/window_port.h"

namespace qx27::ctl {

// What the tool's texts say about the system it runs on.
struct CtlPlatform {
  const char* agent;          // the agent program as the user starts it
  const char* create_folder;  // how the settings folder comes to be
  char16_t separator;         // shown between a path's folders
};
inline constexpr CtlPlatform kWindowsPlatform = {
    "qx27agent.exe", "The installer creates it; without the installer: mkdir \"%APPDATA%\\VORN\\ELDAN QX27\"", u'\\'};

struct CtlPorts {
  IniPort& ini;
  WindowPort& windows;
  ShellPort& shell;
  HidPort& hid;
  FilePort& files;
  const CtlPlatform& platform = kWindowsPlatform;
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;            // no settings file, a file that cannot be read or written
inline constexpr int kExitRefused = 2;           // bad usage, unknown key, value out of range: nothing written
inline constexpr int kExitNoAgent = 3;           // written, but no agent runs to apply it
inline constexpr int kExitChangedMeanwhile = 4;  // written, but another program changed those keys since

struct CtlResult {
  int exit_code = kExitOk;
  std::string out;  // UTF-8
  std::string err;  // UTF-8
};

// Runs one command; `args` are UTF-8 and exclude the program's name.
CtlResult RunCtl(const std::vector<std::string>& args, CtlPorts& ports);

}  // namespace qx27::ctl
