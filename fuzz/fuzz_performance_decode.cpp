// Input: the 40 bytes of a received Performance report, then the Working
// profile's lighting and DPI block as it stood before the download.
#include <cstdlib>

#include "fuzz_inputs.h"
#include "profile_fixtures.h"
#include "protocol/performance_report.h"

using namespace qx27;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  PerformanceReport report{};
  std::copy_n(input.begin(), std::min(size, report.size()), report.begin());
  ProfileRecord working = test::DefaultProfile();
  if (size > report.size()) {
    fuzzing::Overlay(working, fuzzing::kPerformanceBlockStart, fuzzing::kPerformanceBlockSize,
                     input.subspan(report.size()));
  }
  const ProfileRecord before = working;

  DecodePerformanceReport(report, working);
  // Nibbles read as 0..9; everything outside the block is the download's to leave alone.
  if (working.light_type < 0 || working.light_type > 9 || working.Cycle_enable < 0 || working.Cycle_enable > 9)
    std::abort();
  if (std::memcmp(&working.DBClick_Speed, &before.DBClick_Speed,
                  sizeof(ProfileRecord) - offsetof(ProfileRecord, DBClick_Speed)) != 0) {
    std::abort();
  }
  if (std::memcmp(working.DPI_Value, before.DPI_Value, sizeof before.DPI_Value) != 0) std::abort();

  // The next upload encodes whatever the download left.
  const PerformanceReport sent = EncodePerformanceReport(working);
  if (sent[0] != kPerformanceReportId) std::abort();
  return 0;
}
