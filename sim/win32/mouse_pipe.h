// Asking the simulated-mouse process (qx27mouse.exe) something over its
// control pipe: one request, one answer, each a single pipe message. Used by
// the stand-in HID and device-setup libraries and by qx27ctl.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qx27::simmouse {

enum class AskResult {
  kAnswered,
  kNoMouse,  // no qx27mouse process is serving the control pipe
  kFailed,   // the pipe broke or the answer did not come in time
};

// The mouse answers a plug or unplug only once the agent's window has taken
// one device-interface notification per interface, each sent with a time
// limit as the system sends them, and each may make the agent read the mouse
// back. A client waits as long as the mouse's own bound allows.
inline constexpr DWORD kNotifyTimeoutMs = 10000;
inline constexpr DWORD kMaxInterfaces = 5;
inline constexpr DWORD kTransitionAnswerMs = kNotifyTimeoutMs * kMaxInterfaces + 10000;
// Any other request is answered at once by a mouse that is running.
inline constexpr DWORD kAnswerMs = 10000;
// The time limit by the request: kTransitionAnswerMs for plug and unplug.
DWORD AnswerTimeFor(std::string_view request);

inline constexpr DWORD kByRequest = 0;
AskResult AskMouse(std::string_view request, std::string& answer, DWORD timeout_ms = kByRequest);

// The answer's first line is "ok" or "error WORD text"; the body follows it.
bool AnswerIsOk(std::string_view answer);
std::string_view AnswerBody(std::string_view answer);
// "WORD text" of an error answer, without the leading "error ".
std::string_view AnswerError(std::string_view answer);

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace qx27::simmouse
