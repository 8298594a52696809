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
  kNoMouse,     // no qx27mouse process is serving the control pipe
  kFailed,      // the pipe broke or the answer did not come in time
};

AskResult AskMouse(std::string_view request, std::string& answer, DWORD timeout_ms = 10000);

// The answer's first line is "ok" or "error WORD text"; the body follows it.
bool AnswerIsOk(std::string_view answer);
std::string_view AnswerBody(std::string_view answer);
// "WORD text" of an error answer, without the leading "error ".
std::string_view AnswerError(std::string_view answer);

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace qx27::simmouse
