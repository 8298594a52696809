// Macros as the mouse plays them: the 10-byte record that is the unit of the
// Button report, the mode byte, the key table, and the conversions between a
// Button entry's step list and a button's records, for general and bullet
// macros. Pure functions over fixed buffers; nothing here fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "common/little_endian.h"
#include "settings/settings_record.h"

namespace qx27 {

inline constexpr std::size_t kButtonRecordSize = 10;

// A button holds at most this many records, one per step an entry can hold.
inline constexpr int kMaxMacroRecords = kMacroSteps;

// Record types, the high nibble of a record's first byte.
inline constexpr std::uint8_t kRecordMouseDown = 0x20;
inline constexpr std::uint8_t kRecordMouseUp = 0xA0;
inline constexpr std::uint8_t kRecordDeviceFunction = 0x40;
inline constexpr std::uint8_t kRecordKeyboard = 0x60;
inline constexpr std::uint8_t kRecordSpecialFunction = 0x80;
inline constexpr std::uint8_t kRecordMovement = 0xC0;

struct ButtonRecord {
  std::uint8_t TypeAndButton;  // record type in the high nibble, button number 1..9 in the low nibble
  std::uint8_t Arg1;           // mask, selector, modifier bits, function bit or movement high byte
  std::uint8_t Arg2;           // keyboard usage or movement low byte
  std::uint8_t Arg3;           // bullet profile parameter of a movement
  std::uint8_t reserved[3];
  std::uint8_t Mode;  // macro mode byte; 0 marks a fixed assignment
  LeU16 Delay;        // hold value of a fixed assignment, or the delay after a macro record

  constexpr std::uint8_t Type() const { return static_cast<std::uint8_t>(TypeAndButton & 0xF0); }
  constexpr void SetButtonNumber(int number) {
    TypeAndButton = static_cast<std::uint8_t>((TypeAndButton & 0xF0) | (number & 0x0F));
  }
};
static_assert(sizeof(ButtonRecord) == kButtonRecordSize);
static_assert(offsetof(ButtonRecord, Arg1) == 1 && offsetof(ButtonRecord, Arg2) == 2);
static_assert(offsetof(ButtonRecord, Arg3) == 3 && offsetof(ButtonRecord, Mode) == 7);
static_assert(offsetof(ButtonRecord, Delay) == 8);
static_assert(std::is_trivially_copyable_v<ButtonRecord> && std::is_standard_layout_v<ButtonRecord>);

// Function codes a macro decode gives a button.
inline constexpr std::uint8_t kFuncGeneralMacro = 0xA6;
inline constexpr std::uint8_t kFuncBulletMacro = 0xA7;

// Step codes with a meaning of their own in a step list.
inline constexpr std::uint8_t kStepEnd = 0x00;
inline constexpr std::uint8_t kStepLeftClick = 0x01;
inline constexpr std::uint8_t kStepMovement = 0x0C;
inline constexpr std::uint8_t kStepMouseButton5 = 0x10;
inline constexpr std::uint8_t kStepDelay = 0xFF;

// The records of one button's macro, their button number not yet set.
struct MacroRecords {
  std::array<ButtonRecord, kMaxMacroRecords> records{};
  int count = 0;

  std::span<const ButtonRecord> View() const { return {records.data(), static_cast<std::size_t>(count)}; }
};

// Mode byte carried by every record of a macro, from the entry's repeat fields.
std::uint8_t MacroModeByte(std::uint8_t repeat_mode, std::uint8_t repeat_count);

// HID usage of a step list's key number; 0 for a number without one.
std::uint16_t KeyUsage(std::uint8_t key_number);

// Key number of a HID usage, the last one in table order when several share it;
// 0 for a usage the table does not hold.
std::uint8_t KeyNumberForUsage(std::uint16_t usage);

MacroRecords EncodeGeneralMacro(const ButtonEntry& entry);
MacroRecords EncodeBulletMacro(const ButtonEntry& entry);

// Rebuild a zeroed entry's step list, repeat fields, StepCount, ButtonNo and
// FuncCode from one button's records; give the number of steps. Records whose
// first one has a zero mode byte are no macro: the entry is left as it is.
int DecodeGeneralMacro(std::span<const ButtonRecord> records, int button_index, ButtonEntry& entry);
// The same with the mode byte given apart: a button's data may hold the first
// record's mode byte and no whole record, which is a macro of no steps.
int DecodeGeneralMacro(std::uint8_t mode, std::span<const ButtonRecord> records, int button_index, ButtonEntry& entry);
int DecodeBulletMacro(std::span<const ButtonRecord> records, int button_index, ButtonEntry& entry);

}  // namespace qx27
