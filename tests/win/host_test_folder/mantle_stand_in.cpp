// Stands in for the companion UI in the host tests: proves it was started by
// leaving a file beside itself, then ends.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring marker(self);
  marker = marker.substr(0, marker.find_last_of(L'\\')) + L"\\mantle-started.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}
