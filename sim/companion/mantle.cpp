// Stand-in Mantle.exe for the harness folder: proves that the agent started
// the companion UI, and from where. Each start appends one line, its own full
// path, to the file named by QX27_MANTLE_MARKER (the harness sets it), or to
// Mantle.started beside itself. It opens no window and ends at once.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring marker;
  wchar_t from_environment[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"QX27_MANTLE_MARKER", from_environment, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    marker = from_environment;
  } else {
    marker = self;
    marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"Mantle.started";
  }
  FILE* file = _wfopen(marker.c_str(), L"ab");
  if (file == nullptr) return 1;
  std::fprintf(file, "%ls\n", self);
  std::fclose(file);
  return 0;
}
