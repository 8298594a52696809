// The words qx27ctl shows and accepts for what the settings file holds as
// numbers: colours, button functions, keys and macros. Every name stands for
// exactly one stored value, and every value shown can be typed back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_record.h"

namespace qx27::ctl {

// Colours are Windows COLORREF values: red in the low byte, then green, then
// blue, so the stored 255 is "#FF0000".
std::optional<std::int32_t> ParseColour(std::string_view text);
std::string ColourText(std::int32_t value);

// Lower case, with spaces and underscores read as dashes: "Left Click",
// "left_click" and "left-click" are one name.
std::string NormalName(std::string_view text);

// Function codes a button can be given by name; macros are set apart.
struct FunctionName {
  std::uint8_t code;
  const char* name;
  const char* shown;  // as `show` prints it
};
const std::vector<FunctionName>& FunctionNames();

// The code of a function name, or of a code written as 0xNN that names a
// function without steps; nullopt otherwise.
std::optional<std::uint8_t> ParseFunction(std::string_view text);

// A step list's key number by name ("a", "f5", "enter", "lctrl", "key-0x5a");
// nullopt with a reason for a name the mouse cannot play back as typed.
std::optional<std::uint8_t> ParseKey(std::string_view text, std::string& error);
// "A", "f5", "lctrl", or "key-0xNN" for a key number without a name.
std::string KeyName(std::uint8_t key_number);

// Steps of a general macro from text such as "A down, 50 ms, A up". A bare
// name stands for its press and release. Gives nullopt with a reason for text
// the mouse could not play as written.
std::optional<std::vector<MacroStep>> ParseMacro(std::string_view text, std::string& error);
// The steps of a general macro as ParseMacro reads them.
std::string MacroText(const ButtonEntry& entry);

// What a button does, in words ("left click", "ctrl+c", "macro: A down, ...").
std::string AssignmentText(const ButtonEntry& entry, int button_index);

}  // namespace qx27::ctl
