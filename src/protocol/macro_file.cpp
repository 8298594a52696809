#include "protocol/macro_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/text.h"

namespace qx27 {
namespace {

constexpr std::uint8_t kMovementStep = 12;

}  // namespace

void MacroFileWriter::StoreBulletMacro(const ButtonEntry& entry, int) {
  // The decode hands over only bullet macros whose first step names a bullet
  // profile (code 2 or more); anything else has no section to go to.
  if (entry.Steps[0].StepCode < 2) return;
  const std::u16string section = u"BulletProfile" + DecimalText(entry.Steps[0].StepCode - 2);

  const int counted = std::min<int>(entry.StepCount, kMacroSteps);
  std::int32_t movements = 0;
  for (int i = 0; i < counted; ++i) {
    if (entry.Steps[i].StepCode == kMovementStep) ++movements;
  }
  file_.WriteInt(section, u"BulletNum", movements);

  std::uint8_t steps[sizeof(entry.Steps)];
  static_assert(sizeof(steps) == 368);
  std::memcpy(steps, entry.Steps, sizeof(steps));
  file_.WriteStruct(section, u"Macro", steps);
}

}  // namespace qx27
