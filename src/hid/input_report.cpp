#include "hid/input_report.h"

#include "common/text.h"
#include "interfaces/mouse_identity.h"

namespace qx27 {

std::u16string FormatInputReportLine(int length, std::span<const std::uint8_t, 8> bytes) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  std::u16string line = DecimalText(length);
  line += u':';
  for (const std::uint8_t b : bytes) {
    line += u' ';
    line += kHex[b >> 4];
    line += kHex[b & 0xF];
  }
  line += u'\n';
  return line;
}

int DpiStageOf(std::span<const std::uint8_t, mouse::kInputReportLength> report) {
  if (report[0] != mouse::kDpiStageReportId || report[1] != 0 || report[3] != 0) return 0;
  return report[2];
}

}  // namespace qx27
