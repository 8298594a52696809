// LoadSettings and SaveSettings of a six-profile settings file through the
// stand-in INI service, on a real file in a temporary folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "common/text.h"
#include "full_settings.h"
#include "platform/linux/ini_port.h"
#include "settings/settings_file.h"
#include "settings/validation.h"
#include "settings_file_stats.h"

namespace qx27::bench {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder with the full six-profile file, as the agent wrote it.
class FullFile {
 public:
  FullFile() {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("qx27-bench-" + std::to_string(random()));
    fs::create_directories(folder_);
    file_ = folder_ / "GamingMouse.ini";
    path_ = FromUtf8(file_.string());
    record_ = std::make_unique<SettingsRecord>();
    auto snapshot = std::make_unique<SettingsRecord>();
    auto working = std::make_unique<ProfileRecord>();
    LoadOrCreateSettings(ini_, path_, *record_, *snapshot, *working);
    FillFullSettings(*record_);
    if (!SaveSettings(ini_, path_, *record_)) std::abort();
    stats_ = Stats(ReadAll(file_));
  }
  ~FullFile() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  void Empty() const { std::ofstream(file_, std::ios::trunc); }
  void Restore() { SaveSettings(ini_, path_, *record_); }

  linux_host::StandInIniPort ini_;
  fs::path folder_;
  fs::path file_;
  std::u16string path_;
  std::unique_ptr<SettingsRecord> record_;
  FileStats stats_;
};

void FileCounters(benchmark::State& state, const FileStats& stats) {
  state.counters["file_bytes"] = static_cast<double>(stats.bytes);
  state.counters["keys"] = static_cast<double>(stats.keys);
  state.counters["keys/s"] = benchmark::Counter(
      static_cast<double>(stats.keys), benchmark::Counter::kIsRate | benchmark::Counter::kIsIterationInvariant);
}

void BM_LoadSettings(benchmark::State& state) {
  FullFile full;
  auto record = std::make_unique<SettingsRecord>();
  for (auto _ : state) {
    LoadSettings(full.ini_, full.path_, *record);
    benchmark::DoNotOptimize(record.get());
  }
  FileCounters(state, full.stats_);
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond);

// Saving what the file already holds: every key is read and compared, no
// write reaches the disk.
void BM_SaveSettings_Unchanged(benchmark::State& state) {
  FullFile full;
  for (auto _ : state) benchmark::DoNotOptimize(SaveSettings(full.ini_, full.path_, *full.record_));
  FileCounters(state, full.stats_);
}
BENCHMARK(BM_SaveSettings_Unchanged)->Unit(benchmark::kMillisecond);

// An apply after a change in every profile: one key per profile differs, so
// six rewrites of the whole file.
void BM_SaveSettings_OneKeyPerProfile(benchmark::State& state) {
  FullFile full;
  auto changed = std::make_unique<SettingsRecord>(*full.record_);
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    for (ProfileRecord& p : changed->Profiles) p.DPI_Cur = flip ? 5 : 0;
    benchmark::DoNotOptimize(SaveSettings(full.ini_, full.path_, *changed));
  }
  FileCounters(state, full.stats_);
}
BENCHMARK(BM_SaveSettings_OneKeyPerProfile)->Unit(benchmark::kMillisecond);

// Into an empty file: every key is added, each addition rewrites the file.
void BM_SaveSettings_IntoEmptyFile(benchmark::State& state) {
  FullFile full;
  for (auto _ : state) {
    state.PauseTiming();
    full.Empty();
    state.ResumeTiming();
    benchmark::DoNotOptimize(SaveSettings(full.ini_, full.path_, *full.record_));
  }
  FileCounters(state, full.stats_);
}
BENCHMARK(BM_SaveSettings_IntoEmptyFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qx27::bench
