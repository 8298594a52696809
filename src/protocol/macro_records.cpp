#include "protocol/macro_records.h"

namespace qx27 {
namespace {

constexpr std::uint8_t kFirstKeyNumber = 0x10;
constexpr std::uint16_t kNoUsage = 0;

// HID usages of the key numbers 0x10..0xA0, eight to a line.
constexpr std::array<std::uint16_t, 145> kKeyTable = {
    0x35,  0x1E,  0x14, 0x2B,  0x04, 0x29,  0x1D,  0,      // 0x10
    0x3A,  0x1F,  0x1A, 0x39,  0x16, 0,     0x1B,  0,      // 0x18
    0x3B,  0x20,  0x08, 0x3C,  0x07, 0x3D,  0x06,  0,      // 0x20
    0x22,  0x21,  0x15, 0x17,  0x09, 0x0A,  0x19,  0x05,   // 0x28
    0x23,  0x24,  0x18, 0x1C,  0x0D, 0x0B,  0x10,  0x11,   // 0x30
    0x2E,  0x25,  0x0C, 0x30,  0x0E, 0x3F,  0x36,  0,      // 0x38
    0x41,  0x26,  0x12, 0x40,  0x0F, 0,     0x37,  0,      // 0x40
    0x2D,  0x27,  0x13, 0x2F,  0x33, 0x34,  0,     0x38,   // 0x48
    0x42,  0x43,  0,    0x2A,  0x31, 0x3E,  0x28,  0x2C,   // 0x50
    0x49,  0x45,  0x60, 0x5D,  0x5A, 0x62,  0x54,  0x4F,   // 0x58
    0x4C,  0x44,  0x5F, 0x5C,  0x59, 0,     0x53,  0x51,   // 0x60
    0x4B,  0x4E,  0x61, 0x5E,  0x5B, 0x63,  0x55,  0x56,   // 0x68
    0x4A,  0x4D,  0x57, 0,     0x58, 0x52,  0x48,  0x50,   // 0x70
    0,     0x47,  0x46, 0,     0,    0xE2,  0,     0xE6,   // 0x78
    0xB1,  0xB2,  0xB3, 0xE1,  0xB4, 0xB5,  0xE5,  0xB0,   // 0x80
    0xE0,  0xB6,  0xB7, 0xB8,  0xB9, 0xBA,  0xE4,  0xE2,   // 0x88
    0x183, 0xCD,  0xEA, 0xE9,  0xE8, 0x1C9, 0xE9,  0xEA,   // 0x90
    0x82,  0x223, 0x65, 0x1C8, 0xE3, 0x22D, 0x22E, 0x231,  // 0x98
    0xE7,                                                  // 0xA0
};

constexpr std::uint8_t kModeStep = 0x10;
constexpr std::uint8_t kModeRepeatCounted = 0x20;  // the one mode that carries a repeat count
constexpr std::uint8_t kMaxRepeatCount = 15;

// A movement's high byte travels offset by this much.
constexpr std::uint8_t kMovementBias = 50;

// Preset general macros: one key, a 30 ms hold, released; told apart by the key.
constexpr std::uint16_t kPresetHold = 30;
struct PresetMacro {
  std::uint8_t key_number;
  std::uint8_t func_code;
};
constexpr std::array<PresetMacro, 7> kPresetMacros = {{
    {0x36, 0xAC},
    {0x38, 0xAD},
    {0x2C, 0xAE},
    {0x49, 0xAF},
    {0x41, 0xB0},
    {0x39, 0xB1},
    {0x31, 0xB2},
}};

constexpr bool IsMouseButtonStep(std::uint8_t code) {
  return code == 1 || code == 2 || code == 4 || code == 8 || code == kStepMouseButton5;
}

constexpr bool IsBulletClickStep(std::uint8_t code) { return code >= 1 && code <= 11; }

// The mouse's records always have a type nibble; a byte below 0x10 is read by
// its single hexadecimal digit, as the type of records has always been told.
constexpr std::uint8_t LeadingHexDigit(std::uint8_t byte) {
  return byte >= 0x10 ? static_cast<std::uint8_t>(byte >> 4) : byte;
}

constexpr std::uint8_t kDigitMouseDown = 0x2;
constexpr std::uint8_t kDigitMouseUp = 0xA;
constexpr std::uint8_t kDigitMovement = 0xC;

ButtonRecord MakeRecord(std::uint8_t type, std::uint8_t mode) {
  ButtonRecord record{};
  record.TypeAndButton = type;
  record.Mode = mode;
  return record;
}

enum class MacroKind { kGeneral, kBullet };

// Appends steps to a zeroed entry; steps past the entry's 92 are dropped so
// that a long record list never writes past Steps.
class StepList {
 public:
  explicit StepList(ButtonEntry& entry) : entry_(entry) {}

  void Append(std::uint8_t code, std::uint16_t value) {
    if (count_ == kMacroSteps) return;
    entry_.Steps[count_].StepCode = code;
    entry_.Steps[count_].StepValue = value;
    ++count_;
  }
  int Count() const { return count_; }
  std::uint8_t CodeBack(int places) const { return entry_.Steps[count_ - places].StepCode; }

 private:
  ButtonEntry& entry_;
  int count_ = 0;
};

// The decode shared by both kinds; gives the step count, or -1 when the
// records are no macro.
int DecodeSteps(std::uint8_t mode, std::span<const ButtonRecord> records, MacroKind kind, ButtonEntry& entry) {
  if (mode == 0) return -1;
  entry.RepeatMode = static_cast<std::uint8_t>(mode / kModeStep - 1);
  entry.RepeatCount = static_cast<std::uint8_t>(mode % kModeStep);

  const bool bullet = kind == MacroKind::kBullet;
  StepList steps(entry);
  std::uint16_t movement = 0;
  std::uint8_t bullet_parameter = 0;
  for (const ButtonRecord& record : records) {
    const std::uint8_t digit = LeadingHexDigit(record.TypeAndButton);
    const std::uint16_t delay = record.Delay.Get();
    std::uint8_t raw = 0;
    std::uint8_t code = 0;
    if (digit == kDigitMouseDown || (bullet && digit == kDigitMouseUp)) {
      raw = code = record.Arg1;
    } else if (bullet && digit == kDigitMovement) {
      raw = code = kStepMovement;
      movement = static_cast<std::uint16_t>(((record.Arg1 + kMovementBias) & 0xFF) << 8 | record.Arg2);
      bullet_parameter = record.Arg3;
    } else {
      raw = record.Arg2;
      code = KeyNumberForUsage(record.Arg2);
    }

    if (raw != 0) {
      std::uint16_t value = 1;
      if (bullet && raw == kStepMovement) {
        value = movement;
      } else if (bullet && digit == kDigitMouseUp) {
        value = 0;
      }
      steps.Append(code, value);
    } else if (steps.Count() > 0) {
      // A release names the step it ends: the last one, or the one before a
      // delay that follows it. The record's own delay comes after the release
      // and says nothing about it. The code decides whether the next upload
      // sends a key or a button release, and a code of 0 would end the list
      // there and leave the key held down. Delays alone have nothing to release.
      const int back = steps.CodeBack(1) == kStepDelay ? 2 : 1;
      if (steps.Count() >= back && steps.CodeBack(back) != kStepDelay) steps.Append(steps.CodeBack(back), 0);
    }
    if (delay != 0) steps.Append(kStepDelay, delay);
  }

  if (bullet && bullet_parameter != 0) {
    for (int i = 0; i < steps.Count(); ++i) {
      if (entry.Steps[i].StepCode == kStepLeftClick) {
        entry.Steps[i].StepCode = static_cast<std::uint8_t>(kStepLeftClick + bullet_parameter);
      }
    }
  }
  return steps.Count();
}

// The mode byte of a button's first record; 0, no macro, when there is none.
std::uint8_t FirstModeByte(std::span<const ButtonRecord> records) { return records.empty() ? 0 : records.front().Mode; }

}  // namespace

std::uint8_t MacroModeByte(std::uint8_t repeat_mode, std::uint8_t repeat_count) {
  const auto mode = static_cast<std::uint8_t>((repeat_mode + 1) * kModeStep);
  if (mode != kModeRepeatCounted) return mode;
  const std::uint8_t count = repeat_count == 0 ? 1 : (repeat_count > kMaxRepeatCount ? kMaxRepeatCount : repeat_count);
  return static_cast<std::uint8_t>(kModeRepeatCounted + count);
}

std::uint16_t KeyUsage(std::uint8_t key_number) {
  if (key_number < kFirstKeyNumber || key_number - kFirstKeyNumber >= static_cast<int>(kKeyTable.size())) {
    return kNoUsage;
  }
  return kKeyTable[key_number - kFirstKeyNumber];
}

std::uint8_t KeyNumberForUsage(std::uint16_t usage) {
  if (usage == kNoUsage) return 0;
  std::uint8_t found = 0;
  for (std::size_t i = 0; i < kKeyTable.size(); ++i) {
    if (kKeyTable[i] == usage) found = static_cast<std::uint8_t>(kFirstKeyNumber + i);
  }
  return found;
}

// The walk both macro encoders share: steps up to the end mark, a delay after
// the first step going to the record before it (of several in a row the last
// counts), every other step made into one record by `make(code, value,
// previous)`, where previous is the record before it or null.
template <typename MakeStepRecord>
MacroRecords EncodeSteps(const ButtonEntry& entry, const MakeStepRecord& make) {
  MacroRecords out;
  for (int i = 0; i < kMacroSteps && entry.Steps[i].StepCode != kStepEnd; ++i) {
    const std::uint8_t code = entry.Steps[i].StepCode;
    const std::uint16_t value = entry.Steps[i].StepValue;
    if (code == kStepDelay && i > 0) {
      if (out.count > 0) out.records[out.count - 1].Delay = value;
      continue;
    }
    const ButtonRecord* previous = out.count > 0 ? &out.records[out.count - 1] : nullptr;
    out.records[out.count++] = make(code, value, previous);
  }
  return out;
}

MacroRecords EncodeGeneralMacro(const ButtonEntry& entry) {
  const std::uint8_t mode = MacroModeByte(entry.RepeatMode, entry.RepeatCount);
  return EncodeSteps(entry, [mode](std::uint8_t code, std::uint16_t value, const ButtonRecord* previous) {
    const bool press = (value & 1) != 0;
    ButtonRecord record{};
    if (IsMouseButtonStep(code)) {
      record = MakeRecord(press ? kRecordMouseDown : kRecordMouseUp, mode);
      record.Arg1 = press ? code : (previous ? previous->Arg1 : std::uint8_t{0});
    } else {
      record = MakeRecord(kRecordKeyboard, mode);
      // Usages above 0xFF do not fit the record's byte; the mouse gets the low byte.
      record.Arg2 = press ? static_cast<std::uint8_t>(KeyUsage(code)) : std::uint8_t{0};
    }
    return record;
  });
}

MacroRecords EncodeBulletMacro(const ButtonEntry& entry) {
  const std::uint8_t mode = MacroModeByte(entry.RepeatMode, entry.RepeatCount);
  const std::uint8_t first = entry.Steps[0].StepCode;
  // The bullet profile travels as profile + 1 in every movement record; 0 is none.
  const std::uint8_t parameter = first >= 2 ? static_cast<std::uint8_t>(first - 1) : std::uint8_t{0};
  return EncodeSteps(entry, [mode, parameter](std::uint8_t code, std::uint16_t value, const ButtonRecord* previous) {
    ButtonRecord record{};
    if (IsBulletClickStep(code)) {
      record = MakeRecord(value != 0 ? kRecordMouseDown : kRecordMouseUp, mode);
      record.Arg1 = value != 0 ? kStepLeftClick : (previous ? previous->Arg1 : std::uint8_t{0});
    } else if (code == kStepMovement && value != 0) {
      record = MakeRecord(kRecordMovement, mode);
      record.Arg1 = static_cast<std::uint8_t>((value >> 8) - kMovementBias);
      record.Arg2 = static_cast<std::uint8_t>(value & 0xFF);
      record.Arg3 = parameter;
    } else if (code == kStepMovement) {
      record = MakeRecord(kRecordMouseUp, mode);
      if (previous) {
        record.Arg1 = previous->Arg1;
        record.Arg2 = previous->Arg2;
      }
    } else {
      record = MakeRecord(kRecordKeyboard, mode);
    }
    return record;
  });
}

int DecodeGeneralMacro(std::span<const ButtonRecord> records, int button_index, ButtonEntry& entry) {
  return DecodeGeneralMacro(FirstModeByte(records), records, button_index, entry);
}

int DecodeGeneralMacro(std::uint8_t mode, std::span<const ButtonRecord> records, int button_index, ButtonEntry& entry) {
  const int n = DecodeSteps(mode, records, MacroKind::kGeneral, entry);
  if (n < 0) return 0;
  entry.FuncCode = kFuncGeneralMacro;
  if (n > 0) entry.Steps[n - 1].StepValue = 0;
  entry.StepCount = static_cast<std::uint8_t>(n);
  entry.ButtonNo = static_cast<std::uint8_t>(button_index + 1);
  if (n == 3 && entry.Steps[1].StepValue == kPresetHold) {
    for (const PresetMacro& preset : kPresetMacros) {
      if (entry.Steps[0].StepCode == preset.key_number) entry.FuncCode = preset.func_code;
    }
  }
  return n;
}

int DecodeBulletMacro(std::span<const ButtonRecord> records, int button_index, ButtonEntry& entry) {
  const int n = DecodeSteps(FirstModeByte(records), records, MacroKind::kBullet, entry);
  if (n < 0) return 0;
  entry.FuncCode = kFuncBulletMacro;
  entry.StepCount = static_cast<std::uint8_t>(n);
  entry.ButtonNo = static_cast<std::uint8_t>(button_index + 1);
  // The macro file keeps all 92 steps; the one after the last must read as ended.
  if (n < kMacroSteps) entry.Steps[n].StepValue = 0;
  return n;
}

}  // namespace qx27
