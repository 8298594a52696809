// The settings file's keys as qx27ctl reads, checks and writes them: each key
// with its field of the Settings record and the values the agent accepts for
// it. The ranges are the agent's own validation, and a native test holds the
// two together, so the tool never writes a value the agent would repair.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_record.h"

namespace qx27::ctl {

enum class KeyKind { kInteger, kColour, kText, kButton };

struct KeyRef {
  std::string name;  // as the file spells it
  KeyKind kind = KeyKind::kInteger;
  std::int32_t low = 0, high = 0;  // kInteger
  std::int32_t* value = nullptr;   // kInteger, kColour
  std::span<char16_t> text;        // kText
  ButtonEntry* entry = nullptr;    // kButton
  // Keys that shape the file (Totle, the slot keys) change only by import.
  bool settable = true;
};

// The keys of a profile section, in the order the agent writes them.
std::vector<KeyRef> ProfileKeys(ProfileRecord& profile);
// The keys of the section "Setting" for the slots in use, "Device" aside.
std::vector<KeyRef> HeaderKeys(SettingsRecord& record);

// What a key accepts, for messages: "0..3", "#RRGGBB", "text of up to 49 characters".
std::string Accepts(const KeyRef& key);

// Sets the key's field from command-line text: a decimal number, on/off for
// 0/1 keys, #RRGGBB for colours. Gives false with a message naming the key.
bool AssignFromText(KeyRef& key, std::string_view text, std::string& error);

// Why a text cannot be stored as typed (line breaks would end the value,
// outer spaces and quotes are dropped by the INI service); empty when it can.
std::string TextProblem(std::u16string_view text, std::size_t field_units);

// The value as the settings file holds it: the integer, the text, or the
// struct value (hex bytes and checksum) of a Button entry.
std::u16string FileValue(const KeyRef& key);
// A Button entry from its struct value; nullopt when length, digits or
// checksum are wrong.
std::optional<ButtonEntry> ParseStructValue(std::u16string_view text);

// Values the agent repairs when it loads `raw`, one line each, naming the
// section, the key, the stored value and the value the agent uses.
std::vector<std::string> Repairs(const SettingsRecord& raw, const SettingsRecord& valid);

}  // namespace qx27::ctl
