// The companion UI: the separate configuration program that shares the
// settings file with the agent. Its executable, the two window titles and the
// messages the two programs exchange are fixed here and nowhere else.
#pragma once

#include <cstdint>

namespace qx27::companion {

// The agent's own window, found by the companion UI through this title. The
// single-instance mutex has the same name.
inline constexpr char16_t kAgentWindowTitle[] = u"VORN ELDAN QX27_Hid";
inline constexpr char16_t kAgentMutexName[] = u"VORN ELDAN QX27_Hid";
// The companion UI's top-level window; also the tray icon's tip.
inline constexpr char16_t kWindowTitle[] = u"VORN ELDAN QX27";
inline constexpr char16_t kExecutable[] = u"Mantle.exe";

// Posted by the companion UI to the agent.
inline constexpr std::uint32_t kApplyRequest = 0x04FF;          // settings file written: reload and apply
inline constexpr std::uint32_t kDeviceCommandRequest = 0x0501;  // send the command report

// Posted by the agent to the companion UI.
inline constexpr std::uint32_t kConfigurationRead = 0x0505;  // the mouse was read and saved; wParam 0, lParam 0
inline constexpr std::uint32_t kDpiStageChanged = 0x0506;    // wParam Active, lParam stage - 1
inline constexpr std::uint32_t kReadFailed = 0x0915;         // wParam kReadFailedCode, lParam 0
inline constexpr std::uint32_t kReadFailedCode = 0x0917;
// The exit notice is WM_COMMAND with this wParam and lParam 0.
inline constexpr std::uintptr_t kExitNoticeCommand = 0xFFFFFFFFu;

// Posted by the agent's reader thread to the agent's own window.
inline constexpr std::uint32_t kDpiStageEvent = 0x0500;  // wParam: the stage reported by the mouse

}  // namespace qx27::companion
