// Windows tests: how many top-level windows bear a title, to tell how many
// agents run.
#pragma once

#include <windows.h>

#include <string>

namespace qx27::test {

inline int CountWindowsTitled(const wchar_t* title) {
  struct Search {
    const wchar_t* title;
    int count;
  } search{title, 0};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        if (std::wstring(text) == s.title) ++s.count;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.count;
}

}  // namespace qx27::test
