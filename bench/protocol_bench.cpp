// Encode and decode of the Performance report and the Button report, for the
// default profile and for one whose macros fill the record area.
#include <benchmark/benchmark.h>

#include "profile_fixtures.h"
#include "protocol/button_report.h"
#include "protocol/macro_records.h"
#include "protocol/performance_report.h"

namespace qx27::bench {
namespace {

void SetKeyPresses(ButtonEntry& entry, int presses) {
  entry = ButtonEntry{};
  entry.FuncCode = kFuncGeneralMacro;
  entry.StepCount = static_cast<std::uint8_t>(presses);
  for (int i = 0; i < presses; ++i) {
    entry.Steps[i].StepCode = 0x14;
    entry.Steps[i].StepValue = 1;
  }
}

// 199 of the 200 records in use: the largest report the encoder sends.
ProfileRecord MacroProfile() {
  ProfileRecord p = test::DefaultProfile();
  SetKeyPresses(p.ButtonAssigned[0], 92);
  SetKeyPresses(p.ButtonAssigned[1], 92);
  SetKeyPresses(p.ButtonAssigned[2], 15);
  for (int k = 3; k < 8; ++k) p.ButtonAssigned[k].FuncCode = kFuncNoFunction;
  return p;
}

ProfileRecord Which(int which) { return which == 0 ? test::DefaultProfile() : MacroProfile(); }

void BM_EncodePerformance(benchmark::State& state) {
  const ProfileRecord p = test::DefaultProfile();
  for (auto _ : state) {
    PerformanceReport report = EncodePerformanceReport(p);
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(BM_EncodePerformance);

void BM_DecodePerformance(benchmark::State& state) {
  ProfileRecord p = test::DefaultProfile();
  const PerformanceReport report = EncodePerformanceReport(p);
  for (auto _ : state) {
    DecodePerformanceReport(report, p);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_DecodePerformance);

// Argument 0: the default profile; 1: macros filling the record area.
void BM_EncodeButtons(benchmark::State& state) {
  const ProfileRecord p = Which(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ButtonReport report = EncodeButtonReport(p);
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(BM_EncodeButtons)->ArgName("macros")->Arg(0)->Arg(1);

void BM_DecodeButtons(benchmark::State& state) {
  const ProfileRecord stored = Which(static_cast<int>(state.range(0)));
  ProfileRecord working = stored;
  const ButtonReport report = EncodeButtonReport(stored);
  for (auto _ : state) {
    DecodeButtonReport(report, stored, working, nullptr);
    benchmark::DoNotOptimize(working);
  }
}
BENCHMARK(BM_DecodeButtons)->ArgName("macros")->Arg(0)->Arg(1);

}  // namespace
}  // namespace qx27::bench
