#include "ctl/names.h"

#include <cctype>
#include <cstdio>

#include "protocol/button_report.h"
#include "protocol/macro_records.h"

namespace qx27::ctl {
namespace {

std::string Hex2(unsigned value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", value & 0xFFu);
  return buffer;
}

// Names of the keyboard usages the key table reaches; the others are shown
// by key number.
struct UsageName {
  std::uint16_t usage;
  const char* name;
};
constexpr UsageName kUsageNames[] = {
    {0x28, "enter"},     {0x29, "esc"},         {0x2A, "backspace"},   {0x2B, "tab"},        {0x2C, "space"},
    {0x2D, "minus"},     {0x2E, "equal"},       {0x2F, "lbracket"},    {0x30, "rbracket"},   {0x31, "backslash"},
    {0x33, "semicolon"}, {0x34, "quote"},       {0x35, "grave"},       {0x36, "comma"},      {0x37, "period"},
    {0x38, "slash"},     {0x39, "capslock"},    {0x46, "printscreen"}, {0x47, "scrolllock"}, {0x48, "pause"},
    {0x49, "insert"},    {0x4A, "home"},        {0x4B, "pageup"},      {0x4C, "delete"},     {0x4D, "end"},
    {0x4E, "pagedown"},  {0x4F, "right-arrow"}, {0x50, "left-arrow"},  {0x51, "down-arrow"}, {0x52, "up-arrow"},
    {0x53, "numlock"},   {0x54, "kp-slash"},    {0x55, "kp-star"},     {0x56, "kp-minus"},   {0x57, "kp-plus"},
    {0x58, "kp-enter"},  {0x62, "kp-0"},        {0x63, "kp-period"},   {0x65, "menu"},       {0xE0, "lctrl"},
    {0xE1, "lshift"},    {0xE2, "lalt"},        {0xE3, "lwin"},        {0xE4, "rctrl"},      {0xE5, "rshift"},
    {0xE6, "ralt"},      {0xE7, "rwin"},
};

struct Alias {
  const char* alias;
  const char* name;
};
constexpr Alias kKeyAliases[] = {{"ctrl", "lctrl"}, {"shift", "lshift"}, {"alt", "lalt"},
                                 {"win", "lwin"},   {"escape", "esc"},   {"return", "enter"}};

// The usage's name, empty when it has none.
std::string UsageText(std::uint16_t usage) {
  if (usage >= 0x04 && usage <= 0x1D) return std::string(1, static_cast<char>('A' + (usage - 0x04)));
  if (usage >= 0x1E && usage <= 0x26) return std::string(1, static_cast<char>('1' + (usage - 0x1E)));
  if (usage == 0x27) return "0";
  if (usage >= 0x3A && usage <= 0x45) return std::string("f") + std::to_string(usage - 0x3A + 1);
  if (usage >= 0x59 && usage <= 0x61) return std::string("kp-") + std::to_string(usage - 0x59 + 1);
  for (const UsageName& entry : kUsageNames) {
    if (entry.usage == usage) return entry.name;
  }
  return {};
}

// Mouse buttons in a macro: the step code is the button's mask.
struct MouseButtonName {
  std::uint8_t code;
  const char* name;
};
constexpr MouseButtonName kMouseButtons[] = {
    {1, "left"}, {2, "right"}, {4, "middle"}, {8, "back"}, {kStepMouseButton5, "forward"}};

std::string Trim(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

std::optional<std::uint32_t> ParseUnsigned(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

std::optional<std::uint32_t> ParseHexByte(std::string_view text) {
  if (text.size() < 3 || text.size() > 4 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text.substr(2)) {
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                  : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                  : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                              : -1;
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return value;
}

// A delay item: "50 ms" or "50ms".
std::optional<std::uint32_t> ParseDelay(std::string_view item) {
  std::string compact;
  for (const char c : item) {
    if (c != ' ') compact.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (compact.size() < 3 || compact.compare(compact.size() - 2, 2, "ms") != 0) return std::nullopt;
  return ParseUnsigned(std::string_view(compact).substr(0, compact.size() - 2));
}

bool IsGeneralMacroCode(std::uint8_t code) { return code == kFuncGeneralMacro || (code >= 0xAC && code <= 0xB2); }

}  // namespace

std::optional<std::int32_t> ParseColour(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  std::uint32_t rgb = 0;
  for (const char c : text.substr(1)) {
    const auto digit = ParseHexByte(std::string("0x") + c);
    if (!digit) return std::nullopt;
    rgb = rgb * 16 + *digit;
  }
  const std::uint32_t red = rgb >> 16, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
  return static_cast<std::int32_t>(red | green << 8 | blue << 16);
}

std::string ColourText(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
  return buffer;
}

std::string NormalName(std::string_view text) {
  std::string out;
  for (const char c : Trim(text)) {
    if (c == ' ' || c == '_') {
      if (out.empty() || out.back() != '-') out.push_back('-');
    } else {
      out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return out;
}

const std::vector<FunctionName>& FunctionNames() {
  // The mouse gives device and special functions their meaning; they are
  // named by the selector or bit the Button report carries for them.
  static const std::vector<FunctionName> names = {
      {0xA0, "left-click", "left click"},
      {0xA1, "right-click", "right click"},
      {0xA2, "middle-click", "middle click"},
      {0xA3, "back", "back (mouse button 4)"},
      {0xA4, "forward", "forward (mouse button 5)"},
      {0xA5, "double-click", "double click"},
      {kFuncNoFunction, "disabled", "disabled"},
      {0xC0, "ctrl+c", "ctrl+c"},
      {0xC1, "ctrl+v", "ctrl+v"},
      {0xC2, "ctrl+x", "ctrl+x"},
      {0xC3, "ctrl+a", "ctrl+a"},
      {0xC4, "ctrl+f", "ctrl+f"},
      {0xC5, "ctrl+n", "ctrl+n"},
      {0xC6, "ctrl+p", "ctrl+p"},
      {0xC7, "ctrl+s", "ctrl+s"},
      {kFuncCtrlZ, "ctrl+z", "ctrl+z"},
      {0xCA, "win", "win key"},
      {0xD3, "alt+tab", "alt+tab"},
      {0xD4, "alt+f4", "alt+f4"},
      {0xD5, "win+e", "win+e"},
      {0xD6, "win+d", "win+d"},
      {0xD7, "win+l", "win+l"},
      {0xD2, "device-function-0", "device function 0"},
      {0xD0, "device-function-1", "device function 1"},
      {0xD1, "device-function-2", "device function 2"},
      {0xE2, "special-function-1", "special function 1"},
      {0xE3, "special-function-2", "special function 2"},
      {0xE1, "special-function-4", "special function 4"},
      {0xE0, "special-function-8", "special function 8"},
      {0xE6, "special-function-16", "special function 16"},
      {0xE4, "special-function-64", "special function 64"},
      {0xE5, "special-function-128", "special function 128"},
      {0xC9, "special-function-c9", "special function 0xC9"},
  };
  return names;
}

std::optional<std::uint8_t> ParseFunction(std::string_view text) {
  std::string name = NormalName(text);
  if (name == "left") name = "left-click";
  if (name == "right") name = "right-click";
  if (name == "middle") name = "middle-click";
  for (const FunctionName& function : FunctionNames()) {
    if (name == function.name) return function.code;
  }
  if (const auto code = ParseHexByte(name)) {
    for (const FunctionName& function : FunctionNames()) {
      if (function.code == *code) return function.code;
    }
  }
  return std::nullopt;
}

std::optional<std::uint8_t> ParseKey(std::string_view text, std::string& error) {
  std::string name = NormalName(text);
  for (const Alias& alias : kKeyAliases) {
    if (name == alias.alias) name = alias.name;
  }
  std::uint16_t usage = 0;
  if (name.rfind("key-", 0) == 0) {
    const auto number = ParseHexByte(name.substr(4));
    if (!number || *number < 0x10 || *number > 0xA0) {
      error = std::string("\"") + std::string(text) + "\": a key number is key-0x10 to key-0xA0";
      return std::nullopt;
    }
    usage = KeyUsage(static_cast<std::uint8_t>(*number));
  } else {
    for (std::uint16_t u = 1; u <= 0xFF && usage == 0; ++u) {
      if (NormalName(UsageText(u)) == name && KeyNumberForUsage(u) != 0) usage = u;
    }
    if (usage == 0) {
      error = std::string("\"") + std::string(text) +
              "\" is no key name (a to z, 0 to 9, f1 to f12, enter, space, lctrl, ...)";
      return std::nullopt;
    }
  }
  // The mouse reads keys back by usage, and only usages of one byte come back.
  if (usage == 0 || usage > 0xFF) {
    error = std::string("\"") + std::string(text) + "\" has no key code the mouse can play and read back";
    return std::nullopt;
  }
  const std::uint8_t number = KeyNumberForUsage(usage);
  if (number == kStepMouseButton5) {
    error =
        std::string("\"") + std::string(text) + "\" cannot be in a macro: its key number is the one of mouse button 5";
    return std::nullopt;
  }
  return number;
}

std::string KeyName(std::uint8_t key_number) {
  const std::uint16_t usage = KeyUsage(key_number);
  if (usage != 0 && usage <= 0xFF && KeyNumberForUsage(usage) == key_number) {
    const std::string name = UsageText(usage);
    if (!name.empty()) return name;
  }
  return "key-" + Hex2(key_number);
}

std::optional<std::vector<MacroStep>> ParseMacro(std::string_view text, std::string& error) {
  std::vector<MacroStep> steps;
  const auto add = [&steps](std::uint8_t code, std::uint16_t value) {
    MacroStep step{};
    step.StepCode = code;
    step.StepValue = value;
    steps.push_back(step);
  };
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string item = Trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    const std::string lower = NormalName(item);
    if (item.empty()) {
      error = "an empty step (two commas in a row, or a comma at an end)";
      return std::nullopt;
    }
    if (const auto delay = ParseDelay(item)) {
      if (*delay < 1 || *delay > 65535) {
        error = std::string("\"") + item + "\": a delay is 1 to 65535 ms";
        return std::nullopt;
      }
      if (steps.empty()) {
        error = "a macro cannot begin with a delay: the mouse has no step to hold it";
        return std::nullopt;
      }
      if (steps.back().StepCode == kStepDelay) {
        error = std::string("\"") + item + "\" follows another delay; write them as one";
        return std::nullopt;
      }
      add(kStepDelay, static_cast<std::uint16_t>(*delay));
    } else {
      std::string name = lower;
      int action = 2;  // 1 down, 0 up, 2 both
      const auto ends_with = [&name](const char* suffix) {
        const std::string s = std::string("-") + suffix;
        return name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0;
      };
      if (ends_with("down")) {
        action = 1;
        name.resize(name.size() - 5);
      } else if (ends_with("up")) {
        action = 0;
        name.resize(name.size() - 3);
      }
      std::uint8_t code = 0;
      for (const MouseButtonName& button : kMouseButtons) {
        if (name == button.name || name == std::string(button.name) + "-button") code = button.code;
      }
      if (code == 0) {
        const auto key = ParseKey(name, error);
        if (!key) return std::nullopt;
        code = *key;
      }
      if (action != 0) add(code, 1);
      if (action != 1) add(code, 0);
    }
    if (steps.size() > static_cast<std::size_t>(kMacroSteps)) {
      error = "the macro has more than " + std::to_string(kMacroSteps) + " steps (a delay is a step)";
      return std::nullopt;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return steps;
}

std::string MacroText(const ButtonEntry& entry) {
  std::string out;
  for (int i = 0; i < kMacroSteps && entry.Steps[i].StepCode != kStepEnd; ++i) {
    const MacroStep& step = entry.Steps[i];
    if (!out.empty()) out += ", ";
    if (step.StepCode == kStepDelay && i > 0) {
      out += std::to_string(step.StepValue.Get()) + " ms";
      continue;
    }
    std::string name;
    for (const MouseButtonName& button : kMouseButtons) {
      if (button.code == step.StepCode) name = button.name;
    }
    if (name.empty()) name = KeyName(step.StepCode);
    out += name + ((step.StepValue.Get() & 1) != 0 ? " down" : " up");
  }
  return out;
}

std::string AssignmentText(const ButtonEntry& entry, int button_index) {
  if (button_index == kButtonCount - 1) return "right click (button 9 always is)";
  const std::uint8_t code = entry.FuncCode;
  std::string repeat;
  if (entry.RepeatMode != 0 || entry.RepeatCount != 0) {
    repeat = " (repeat mode " + std::to_string(entry.RepeatMode);
    if (entry.RepeatMode == 1) repeat += ", " + std::to_string(entry.RepeatCount) + " times";
    repeat += ")";
  }
  if (IsGeneralMacroCode(code)) {
    const std::string steps = MacroText(entry);
    return "macro: " + (steps.empty() ? std::string("(no steps)") : steps) + repeat;
  }
  if (code == kFuncBulletMacro) {
    int count = 0;
    while (count < kMacroSteps && entry.Steps[count].StepCode != kStepEnd) ++count;
    return "bullet macro of " + std::to_string(count) + " steps" + repeat;
  }
  for (const FunctionName& function : FunctionNames()) {
    if (function.code == code) return function.shown;
  }
  if (code >= 0xA8 && code <= 0xAA) return "disabled (" + Hex2(code) + ")";
  return "none (" + Hex2(code) + ")";
}

}  // namespace qx27::ctl
