// LoadSettings and SaveSettings of the six-profile settings file through the
// real private-profile service (run under Wine on the build machine). Google
// Benchmark is not at hand for mingw, so this times a fixed number of
// repetitions with the performance counter and prints the median and the
// fastest. Usage: win_settings_bench [repetitions]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "full_settings.h"
#include "platform/win32/ini_port.h"
#include "platform/win32/wide.h"
#include "settings/settings_file.h"
#include "settings/validation.h"
#include "settings_file_stats.h"

using namespace qx27;

namespace {

double Seconds(LONGLONG ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

// Runs `prepare` (untimed) and `operation` (timed) `repetitions` times and
// prints the median and the minimum in milliseconds.
void Time(const char* name, int repetitions, const std::function<void()>& prepare,
          const std::function<void()>& operation) {
  std::vector<double> ms;
  for (int i = 0; i < repetitions; ++i) {
    prepare();
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    operation();
    QueryPerformanceCounter(&end);
    ms.push_back(1000.0 * Seconds(end.QuadPart - start.QuadPart));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-34s median %9.3f ms   min %9.3f ms   (%d runs)\n", name, ms[ms.size() / 2], ms.front(), repetitions);
}

std::string ReadAll(const std::wstring& file) {
  std::ifstream in(file.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

  wchar_t temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0) return 1;
  const std::wstring folder = std::wstring(temp) + L"qx27-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring file = folder + L"\\GamingMouse.ini";
  const std::u16string path = win32::FromWide(file);

  win32::Win32IniPort ini;
  auto record = std::make_unique<SettingsRecord>();
  auto snapshot = std::make_unique<SettingsRecord>();
  auto working = std::make_unique<ProfileRecord>();
  LoadOrCreateSettings(ini, path, *record, *snapshot, *working);
  bench::FillFullSettings(*record);
  if (!SaveSettings(ini, path, *record)) return 1;
  const bench::FileStats stats = bench::Stats(ReadAll(file));
  std::printf("settings file: %zu bytes, %zu keys\n", stats.bytes, stats.keys);

  auto loaded = std::make_unique<SettingsRecord>();
  auto changed = std::make_unique<SettingsRecord>(*record);
  bool flip = false;
  const auto nothing = [] {};
  Time("LoadSettings", repetitions, nothing, [&] { LoadSettings(ini, path, *loaded); });
  Time("SaveSettings unchanged", repetitions, nothing, [&] { SaveSettings(ini, path, *record); });
  Time(
      "SaveSettings one key per profile", repetitions,
      [&] {
        flip = !flip;
        for (ProfileRecord& p : changed->Profiles) p.DPI_Cur = flip ? 5 : 0;
      },
      [&] { SaveSettings(ini, path, *changed); });
  Time(
      "SaveSettings into empty file", std::max(1, repetitions / 4),
      [&] {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      },
      [&] { SaveSettings(ini, path, *record); });

  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
  return 0;
}
