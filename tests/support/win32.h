// What the Windows test programs share: counting the windows of a title (how
// many agents run) and reading a program's manifest.
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

// The application manifest as the loader reads it: type RT_MANIFEST, identifier 1.
inline std::string ManifestOf(const std::wstring& program) {
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  std::string text;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    if (HGLOBAL loaded = LoadResource(module, found)) {
      text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
    }
  }
  FreeLibrary(module);
  return text;
}

}  // namespace qx27::test
