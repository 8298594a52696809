// Input: the 2049 bytes of a received Button report, then the stored Button
// entries of slot Active the MacroID rule compares with. Also feeds the
// record area straight to both macro decodes.
#include <cstdlib>
#include <cstring>

#include "fuzz_inputs.h"
#include "profile_fixtures.h"
#include "protocol/button_report.h"
#include "protocol/macro_records.h"

using namespace qx27;

namespace {

class CheckingSink : public BulletMacroSink {
 public:
  void StoreBulletMacro(const ButtonEntry& entry, int button_index) override {
    if (button_index < 0 || button_index >= kButtonCount || button_index < last_index_) std::abort();
    if (entry.FuncCode != kFuncBulletMacro || entry.Steps[0].StepCode < 2) std::abort();
    last_index_ = button_index;
  }

 private:
  int last_index_ = -1;
};

void CheckEntry(const ButtonEntry& entry) {
  if (entry.StepCount > kMacroSteps) std::abort();
}

// Whatever is encoded: pointers are 0xFFFF or name whole records inside the area, in order.
void CheckEncoded(const ButtonReport& report) {
  int previous = 0;
  for (int k = 0; k < kButtonCount; ++k) {
    const int pointer = report[1 + 2 * k] | report[2 + 2 * k] << 8;
    if (pointer == kNoRecords) continue;
    const int record = (pointer - static_cast<int>(kRecordAreaOffset)) / static_cast<int>(kButtonRecordSize);
    if (pointer < static_cast<int>(kRecordAreaOffset) || record >= kRecordAreaRecords || pointer < previous)
      std::abort();
    if ((pointer - static_cast<int>(kRecordAreaOffset)) % static_cast<int>(kButtonRecordSize) != 0) std::abort();
    previous = pointer;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  ButtonReport report{};
  std::copy_n(input.begin(), std::min(size, report.size()), report.begin());
  ProfileRecord stored = test::DefaultProfile();
  if (size > report.size()) {
    fuzzing::Overlay(stored, offsetof(ProfileRecord, ButtonAssigned), sizeof stored.ButtonAssigned,
                     input.subspan(report.size()));
  }

  ProfileRecord working = stored;
  CheckingSink sink;
  DecodeButtonReport(report, stored, working, &sink);
  // A stored macro the area has no room for is kept as it was stored, its
  // StepCount included; every entry built from the report must be in range.
  for (int k = 0; k < kButtonCount; ++k) {
    if (std::memcmp(&working.ButtonAssigned[k], &stored.ButtonAssigned[k], sizeof(ButtonEntry)) != 0) {
      CheckEntry(working.ButtonAssigned[k]);
    }
  }
  CheckEncoded(EncodeButtonReport(working));

  // The record area as one button's records, for both kinds of macro.
  std::array<ButtonRecord, kRecordAreaRecords> area;
  std::memcpy(area.data(), report.data() + 1 + kRecordAreaOffset, sizeof area);
  const std::size_t count = 1 + report[2047] % kRecordAreaRecords;
  const int button_index = report[2048] % kButtonCount;
  ButtonEntry general{};
  ButtonEntry bullet{};
  if (DecodeGeneralMacro({area.data(), count}, button_index, general) > kMacroSteps) std::abort();
  if (DecodeBulletMacro({area.data(), count}, button_index, bullet) > kMacroSteps) std::abort();
  CheckEntry(general);
  CheckEntry(bullet);
  return 0;
}
