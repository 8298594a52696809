#include "protocol/button_report.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "protocol/macro_records.h"

namespace qx27 {
namespace {

struct ButtonReportLayout {
  std::uint8_t ReportId;
  LeU16 Pointers[kButtonCount];  // payload offset of each button's first record
  std::uint8_t reserved[30];
  ButtonRecord Records[kRecordAreaRecords];
};
static_assert(sizeof(ButtonReportLayout) == kButtonReportLength);
static_assert(offsetof(ButtonReportLayout, Records) == kRecordAreaOffset + 1);
static_assert(std::is_trivially_copyable_v<ButtonReportLayout>);

constexpr int kLastButton = kButtonCount - 1;
constexpr std::uint16_t kHoldUntilReleased = 0xFFFF;
constexpr std::uint16_t kDoubleClickDelay = 65;
constexpr std::uint8_t kLeftMask = 1;

// Pointers above the report length arrive cut to their low byte, which turns
// the encoder's 0xFFFF into 255: the mark of a button without data.
constexpr int kLargestPointer = static_cast<int>(kButtonReportLength);
constexpr int kNoDataPointer = 255;

// A button's data is read into this many records and no more.
constexpr std::size_t kScratchBytes = kMaxMacroRecords * kButtonRecordSize;

// Keyboard usage the Ctrl+Z assignment was once recognised by (the J key); a
// mouse written by older software may still carry it.
constexpr std::uint8_t kLegacyCtrlZUsage = 0x0D;
constexpr std::uint8_t kLeftCtrl = 0x01;

struct FixedAssignment {
  std::uint8_t func_code;
  std::uint8_t type;
  std::uint8_t arg1;
  std::uint8_t arg2;
  std::uint8_t arg3;
  std::uint16_t hold;
};

// One table for both directions, so a code is recognised by the very bytes it is sent with.
constexpr FixedAssignment kFixedAssignments[] = {
    {0xA0, kRecordMouseDown, 1, 0, 0, kHoldUntilReleased},
    {0xA1, kRecordMouseDown, 2, 0, 0, kHoldUntilReleased},
    {0xA2, kRecordMouseDown, 4, 0, 0, kHoldUntilReleased},
    {0xA3, kRecordMouseDown, 8, 0, 0, kHoldUntilReleased},
    {0xA4, kRecordMouseDown, 16, 0, 0, kHoldUntilReleased},
    {0xC0, kRecordKeyboard, kLeftCtrl, 0x06, 0, 0},  // Ctrl+C
    {0xC1, kRecordKeyboard, kLeftCtrl, 0x19, 0, 0},  // Ctrl+V
    {0xC2, kRecordKeyboard, kLeftCtrl, 0x1B, 0, 0},  // Ctrl+X
    {0xC3, kRecordKeyboard, kLeftCtrl, 0x04, 0, 0},  // Ctrl+A
    {0xC4, kRecordKeyboard, kLeftCtrl, 0x09, 0, 0},  // Ctrl+F
    {0xC5, kRecordKeyboard, kLeftCtrl, 0x11, 0, 0},  // Ctrl+N
    {0xC6, kRecordKeyboard, kLeftCtrl, 0x13, 0, 0},  // Ctrl+P
    {0xC7, kRecordKeyboard, kLeftCtrl, 0x16, 0, 0},  // Ctrl+S
    {kFuncCtrlZ, kRecordKeyboard, kLeftCtrl, 0x1D, 0, 0},
    {0xC9, kRecordSpecialFunction, 0, 0, 2, 0},
    {0xCA, kRecordKeyboard, 0x08, 0x00, 0, 0},  // GUI key alone
    {0xD0, kRecordDeviceFunction, 1, 0, 0, 0},
    {0xD1, kRecordDeviceFunction, 2, 0, 0, 0},
    {0xD2, kRecordDeviceFunction, 0, 0, 0, 0},
    {0xD3, kRecordKeyboard, 0x04, 0x2B, 0, 0},  // Alt+Tab
    {0xD4, kRecordKeyboard, 0x04, 0x3D, 0, 0},  // Alt+F4
    {0xD5, kRecordKeyboard, 0x08, 0x08, 0, 0},  // GUI+E
    {0xD6, kRecordKeyboard, 0x08, 0x07, 0, 0},  // GUI+D
    {0xD7, kRecordKeyboard, 0x08, 0x0F, 0, 0},  // GUI+L
    {0xE0, kRecordSpecialFunction, 8, 0, 0, 0},
    {0xE1, kRecordSpecialFunction, 4, 0, 0, 0},
    {0xE2, kRecordSpecialFunction, 1, 0, 0, 0},
    {0xE3, kRecordSpecialFunction, 2, 0, 0, 0},
    {0xE4, kRecordSpecialFunction, 64, 0, 0, 0},
    {0xE5, kRecordSpecialFunction, 128, 0, 0, 0},
    {0xE6, kRecordSpecialFunction, 16, 0, 0, 0},
};

constexpr bool IsGeneralMacroCode(std::uint8_t code) {
  return code == kFuncGeneralMacro || (code >= 0xAC && code <= 0xB2);
}
constexpr bool IsMacroCode(std::uint8_t code) { return IsGeneralMacroCode(code) || code == kFuncBulletMacro; }

ButtonRecord RecordOf(const FixedAssignment& fixed) {
  ButtonRecord record{};
  record.TypeAndButton = fixed.type;
  record.Arg1 = fixed.arg1;
  record.Arg2 = fixed.arg2;
  record.Arg3 = fixed.arg3;
  record.Delay = fixed.hold;
  return record;
}

MacroRecords DoubleClickRecords() {
  MacroRecords out;
  for (const std::uint8_t type : {kRecordMouseDown, kRecordMouseUp, kRecordMouseDown, kRecordMouseUp}) {
    ButtonRecord& record = out.records[out.count++];
    record.TypeAndButton = type;
    record.Arg1 = kLeftMask;
    record.Delay = kDoubleClickDelay;
  }
  return out;
}

// The records a function code sends, button numbers not yet set.
MacroRecords RecordsFor(std::uint8_t code, const ButtonEntry& entry) {
  if (IsGeneralMacroCode(code)) return EncodeGeneralMacro(entry);
  if (code == kFuncBulletMacro) return EncodeBulletMacro(entry);
  if (code == kFuncDoubleClick) return DoubleClickRecords();
  MacroRecords out;
  for (const FixedAssignment& fixed : kFixedAssignments) {
    if (fixed.func_code == code) out.records[out.count++] = RecordOf(fixed);
  }
  return out;
}

// The function code of a button that holds one record and no macro; 0 when none fits.
std::uint8_t ClassifySingleRecord(const ButtonRecord& record) {
  const std::uint8_t type = record.Type();
  if (type == kRecordKeyboard && record.Arg1 == kLeftCtrl && record.Arg2 == kLegacyCtrlZUsage) return kFuncCtrlZ;
  if (type == kRecordSpecialFunction && record.Arg2 == 0 && record.Arg3 == 2) return 0xC9;
  for (const FixedAssignment& fixed : kFixedAssignments) {
    if (fixed.type != type || fixed.arg1 != record.Arg1) continue;
    if (type == kRecordKeyboard && fixed.arg2 != record.Arg2) continue;
    if (type == kRecordSpecialFunction && fixed.arg3 != 0) continue;  // that one is told by bytes 2 and 3 above
    return fixed.func_code;
  }
  return 0;
}

// A bullet macro's third record is a movement: its first byte reads "c..." in hexadecimal.
bool IsBulletMacro(const ButtonRecord& third) {
  const std::uint8_t byte = third.TypeAndButton;
  return byte == 0x0C || (byte & 0xF0) == kRecordMovement;
}

// Equal for the MacroID rule: a delay on either side matches any step.
bool SameMacro(const ButtonEntry& a, const ButtonEntry& b) {
  if (a.FuncCode != b.FuncCode || a.StepCount != b.StepCount) return false;
  for (int i = 0; i < kMacroSteps; ++i) {
    const MacroStep& x = a.Steps[i];
    const MacroStep& y = b.Steps[i];
    if (x.StepCode == kStepDelay || y.StepCode == kStepDelay) continue;
    if (x.StepCode != y.StepCode || x.StepValue.Get() != y.StepValue.Get()) return false;
  }
  return true;
}

std::array<int, kButtonCount> ReadPointers(std::span<const std::uint8_t, kButtonPayloadLength> payload) {
  std::array<int, kButtonCount> pointers{};
  for (int k = 0; k < kButtonCount; ++k) {
    const int value = payload[2 * k] | payload[2 * k + 1] << 8;
    pointers[k] = value > kLargestPointer ? (value & 0xFF) : value;
  }
  return pointers;
}

// Each button's data reaches the next pointer that follows it; without a
// greater one it is a single record.
std::array<int, kButtonCount> DataLengths(const std::array<int, kButtonCount>& pointers) {
  std::array<int, kButtonCount> lengths{};
  for (int k = 0; k < kButtonCount; ++k) {
    if (pointers[k] == kNoDataPointer) continue;
    lengths[k] = static_cast<int>(kButtonRecordSize);
    for (int j = k + 1; j < kButtonCount; ++j) {
      if (pointers[j] == kNoDataPointer) continue;
      if (pointers[j] > pointers[k]) lengths[k] = pointers[j] - pointers[k];
      // The upload points an empty macro at the next button's records; sharing
      // them would make this button read back as a copy of that one.
      if (pointers[j] == pointers[k]) lengths[k] = 0;
      break;
    }
  }
  return lengths;
}

// Where an upload puts each button's records. The last button's records are
// kept room for, so they always close the area and every earlier button's
// extent is bounded by a pointer that follows it.
struct AreaPlan {
  std::array<MacroRecords, kButtonCount> records;
  std::array<std::uint16_t, kButtonCount> pointers{};
  std::array<int, kButtonCount> first_record{};
  // Buttons with records for which the area had no room.
  std::array<bool, kButtonCount> left_out{};
};

void PlanArea(std::span<const ButtonEntry, kButtonCount> entries, AreaPlan& plan) {
  // Button 9 is the right button whatever its entry says.
  const auto code_sent = [&entries](int k) { return k == kLastButton ? kFuncRightButton : entries[k].FuncCode; };
  for (int k = 0; k < kButtonCount; ++k) plan.records[k] = RecordsFor(code_sent(k), entries[k]);

  const int area_for_others = kRecordAreaRecords - plan.records[kLastButton].count;
  int next = 0;  // index into the record area
  for (int k = 0; k < kButtonCount; ++k) {
    const int count = plan.records[k].count;
    const int limit = k == kLastButton ? kRecordAreaRecords : area_for_others;
    const auto offset = static_cast<std::uint16_t>(kRecordAreaOffset + next * kButtonRecordSize);
    plan.first_record[k] = next;
    if (count == 0) {
      // An empty macro still points into the area, where the next button starts.
      plan.pointers[k] = IsMacroCode(code_sent(k)) ? offset : kNoRecords;
    } else if (next + count > limit) {
      // A macro is sent whole or not at all: cut, it could leave a key held
      // down. Later buttons that still fit are sent.
      plan.pointers[k] = kNoRecords;
      plan.left_out[k] = true;
    } else {
      plan.pointers[k] = offset;
      next += count;
    }
  }
}

}  // namespace

ButtonReport EncodeButtonReport(const ProfileRecord& working) {
  AreaPlan plan;
  PlanArea(working.ButtonAssigned, plan);
  ButtonReportLayout out{};
  out.ReportId = kButtonReportId;
  for (int k = 0; k < kButtonCount; ++k) {
    out.Pointers[k] = plan.pointers[k];
    if (plan.pointers[k] == kNoRecords) continue;
    for (int i = 0; i < plan.records[k].count; ++i) {
      ButtonRecord record = plan.records[k].records[i];
      record.SetButtonNumber(k + 1);
      out.Records[plan.first_record[k] + i] = record;
    }
  }
  return std::bit_cast<ButtonReport>(out);
}

void DecodeButtonReport(std::span<const std::uint8_t, kButtonReportLength> report, const ProfileRecord& stored_active,
                        ProfileRecord& working, BulletMacroSink* sink) {
  // Copied first: the caller may hand the same profile as stored and working.
  std::array<ButtonEntry, kButtonCount> stored;
  std::copy(std::begin(stored_active.ButtonAssigned), std::end(stored_active.ButtonAssigned), stored.begin());

  // What an upload of the stored profile had to leave out for lack of room.
  AreaPlan stored_plan;
  PlanArea(stored, stored_plan);

  const auto payload = report.subspan<1>();
  const std::array<int, kButtonCount> pointers = ReadPointers(payload);
  const std::array<int, kButtonCount> lengths = DataLengths(pointers);

  for (ButtonEntry& entry : working.ButtonAssigned) entry = ButtonEntry{};

  for (int k = 0; k < kButtonCount; ++k) {
    ButtonEntry& entry = working.ButtonAssigned[k];
    const int length = lengths[k];
    if (length == 0) {
      // The mouse cannot hold a stored macro that found no room in the area;
      // reading "no function" over it would lose it from the settings file.
      if (pointers[k] == kNoDataPointer && stored_plan.left_out[k]) {
        entry = stored[k];
      } else {
        entry.FuncCode = kFuncNoFunction;
      }
      continue;
    }

    // Reading stays inside the payload and the scratch records; what lies
    // beyond either reads as zero.
    std::array<ButtonRecord, kMaxMacroRecords> scratch{};
    const std::size_t start = static_cast<std::size_t>(pointers[k]);
    const std::size_t available = start < payload.size() ? payload.size() - start : 0;
    const std::size_t copied = std::min({static_cast<std::size_t>(length), kScratchBytes, available});
    if (copied > 0) std::memcpy(scratch.data(), payload.data() + start, copied);

    if (scratch[0].Mode == 0) {
      if (length == static_cast<int>(4 * kButtonRecordSize)) {
        entry.FuncCode = kFuncDoubleClick;
      } else if (length == static_cast<int>(kButtonRecordSize)) {
        entry.FuncCode = ClassifySingleRecord(scratch[0]);
      } else {
        entry.FuncCode = kFuncNoFunction;
      }
      continue;
    }

    // Records past the 92nd are not read. Data shorter than one record that
    // holds a mode byte is a macro of no records.
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(length) / kButtonRecordSize, kMaxMacroRecords);
    const std::span<const ButtonRecord> records(scratch.data(), count);
    const ButtonEntry& stored_entry = stored[k];
    entry.MacroID = -1;
    if (!IsBulletMacro(scratch[2])) {
      DecodeGeneralMacro(scratch[0].Mode, records, k, entry);
      if (SameMacro(entry, stored_entry)) entry.MacroID = stored_entry.MacroID;
      continue;
    }
    DecodeBulletMacro(records, k, entry);
    if (SameMacro(entry, stored_entry)) {
      entry.MacroID = stored_entry.MacroID;
    } else if (entry.Steps[0].StepCode >= 2) {
      // A macro of a bullet profile keeps its identifier; its new steps go to the macro file.
      entry.MacroID = stored_entry.MacroID;
      if (sink != nullptr) sink->StoreBulletMacro(entry, k);
    }
  }
}

}  // namespace qx27
