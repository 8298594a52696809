#include "platform/win32/clock_and_debug.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide.h"

namespace qx27::win32 {

std::uint32_t Win32Clock::TickCount() { return GetTickCount(); }

void Win32Clock::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void Win32DebugOutput::Output(std::u16string_view line) { OutputDebugStringW(Wide(line).c_str()); }

}  // namespace qx27::win32
