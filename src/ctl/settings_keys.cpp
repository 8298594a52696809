#include "ctl/settings_keys.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/text.h"
#include "ctl/names.h"
#include "settings/settings_file.h"
#include "settings/validation.h"

namespace qx27::ctl {
namespace {

std::string Numbered(const char* name, int index) { return name + std::to_string(index); }

KeyRef Integer(std::string name, std::int32_t& value, std::int32_t low, std::int32_t high) {
  KeyRef key;
  key.name = std::move(name);
  key.value = &value;
  key.low = low;
  key.high = high;
  return key;
}

KeyRef Colour(std::string name, std::int32_t& value) {
  KeyRef key;
  key.name = std::move(name);
  key.kind = KeyKind::kColour;
  key.value = &value;
  return key;
}

KeyRef Text(std::string name, std::span<char16_t> field) {
  KeyRef key;
  key.name = std::move(name);
  key.kind = KeyKind::kText;
  key.text = field;
  return key;
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

std::string Shown(const KeyRef& key) {
  switch (key.kind) {
    case KeyKind::kInteger:
      return std::to_string(*key.value);
    case KeyKind::kColour:
      return std::to_string(*key.value);
    case KeyKind::kText:
      return std::string("\"") + ToUtf8(FieldText(key.text)) + "\"";
    case KeyKind::kButton:
      return "(entry)";
  }
  return {};
}

}  // namespace

std::vector<KeyRef> ProfileKeys(ProfileRecord& p) {
  std::vector<KeyRef> keys;
  keys.push_back(Integer("GroupID", p.GroupID, 0, 20));
  keys.push_back(Integer("DPI_Cur", p.DPI_Cur, 0, 6));
  for (int i = 0; i < kDpiStages; ++i) {
    keys.push_back(Integer(Numbered("DPI_Value", i), p.DPI_Value[i], 0, 7));
    keys.push_back(Colour(Numbered("DPI_Color", i), p.DPI_Color[i]));
  }
  keys.push_back(Integer("POLLRATE_VALUE", p.POLLRATE_VALUE, 0, 3));
  keys.push_back(Integer("Enable_light", p.Enable_light, 0, 1));
  keys.push_back(Integer("Cycle_enable", p.Cycle_enable, 0, 1));
  keys.push_back(Integer("light_type", p.light_type, 0, 6));
  keys.push_back(Integer("light_bright", p.light_bright, 0, 5));
  keys.push_back(Integer("light_speed", p.light_speed, 1, 5));
  keys.push_back(Integer("light_bright_colorID", p.light_bright_colorID, 0, 6));
  keys.push_back(Integer("lift_height", p.lift_height, 0, 3));
  keys.push_back(Integer("GamingMode", p.GamingMode, 0, 1));
  for (int i = 0; i < kLightColors; ++i) keys.push_back(Colour(Numbered("light_Color", i), p.light_Color[i]));
  for (int i = 0; i < kLightColors; ++i) keys.push_back(Colour(Numbered("light_Cycle", i), p.light_Cycle[i]));
  keys.push_back(Integer("DBClick_Speed", p.DBClick_Speed, 1, 10));
  keys.push_back(Integer("Scroll_Speed", p.Scroll_Speed, 1, 10));
  keys.push_back(Integer("scroll_page", p.scroll_page, 0, 1));
  keys.push_back(Integer("Mouse_Speed", p.Mouse_Speed, 1, 10));
  keys.push_back(Integer("mouse_enhance", p.mouse_enhance, 0, 1));
  keys.push_back(Text("Profil_Name", p.Profil_Name));
  keys.push_back(Text("SYNCFilesPath", p.SYNCFilesPath));
  for (int i = 0; i < kButtonCount; ++i) {
    keys.push_back(Text(Numbered("ExePath", i), p.ExePath[i]));
    keys.push_back(Text(Numbered("ExeName", i), p.ExeName[i]));
    KeyRef button;
    button.name = Numbered("ButtonAssigned", i);
    button.kind = KeyKind::kButton;
    button.entry = &p.ButtonAssigned[i];
    button.settable = false;  // by the button and macro commands
    keys.push_back(button);
  }
  return keys;
}

std::vector<KeyRef> HeaderKeys(SettingsRecord& r) {
  const std::int32_t slots = SlotsInUse(r.Totle);
  std::vector<KeyRef> keys;
  keys.push_back(Integer("Totle", r.Totle, 1, kProfileSlots));
  keys.back().settable = false;
  keys.push_back(Integer("Current", r.Current, 0, slots - 1));
  keys.push_back(Integer("Active", r.Active, 0, slots - 1));
  keys.push_back(Integer("Show_TrayIcon", r.Show_TrayIcon, 0, 1));
  keys.push_back(Integer("Show_OSD", r.Show_OSD, 0, 1));
  keys.push_back(Integer("lan_id", r.lan_id, 0, 1));
  keys.push_back(Text("BGFilesPath", r.BGFilesPath));
  for (int i = 0; i < slots; ++i) {
    keys.push_back(Integer(std::to_string(i), r.ProfileNo[i], 0, kProfileSlots - 1));
    keys.back().settable = false;
  }
  return keys;
}

std::string Accepts(const KeyRef& key) {
  switch (key.kind) {
    case KeyKind::kInteger:
      return key.low == 0 && key.high == 1 ? "0 or 1 (off or on)"
                                           : std::to_string(key.low) + ".." + std::to_string(key.high);
    case KeyKind::kColour:
      return "a colour #RRGGBB, or its stored number 0..16777215";
    case KeyKind::kText:
      return "text of up to " + std::to_string(key.text.size() - 1) + " characters on one line";
    case KeyKind::kButton:
      return "a button assignment (qx27ctl button, qx27ctl macro)";
  }
  return {};
}

bool AssignFromText(KeyRef& key, std::string_view text, std::string& error) {
  const auto refuse = [&] {
    error = key.name + "=" + std::string(text) + " is refused: " + key.name + " accepts " + Accepts(key);
    return false;
  };
  switch (key.kind) {
    case KeyKind::kInteger: {
      const std::string word = NormalName(text);
      std::optional<std::int64_t> value = ParseInteger(text);
      if (key.low == 0 && key.high == 1) {
        if (word == "on" || word == "true" || word == "yes") value = 1;
        if (word == "off" || word == "false" || word == "no") value = 0;
      }
      if (!value || *value < key.low || *value > key.high) return refuse();
      *key.value = static_cast<std::int32_t>(*value);
      return true;
    }
    case KeyKind::kColour: {
      std::optional<std::int64_t> value;
      if (const auto colour = ParseColour(text)) value = *colour;
      if (!value) value = ParseInteger(text);
      if (!value || *value < 0 || *value > 0xFFFFFF) return refuse();
      *key.value = static_cast<std::int32_t>(*value);
      return true;
    }
    case KeyKind::kText: {
      const std::u16string value = FromUtf8(text);
      const std::string problem = TextProblem(value, key.text.size());
      if (!problem.empty()) {
        error = key.name + " is refused: " + problem;
        return false;
      }
      CopyToField(key.text, value);
      return true;
    }
    case KeyKind::kButton:
      return refuse();
  }
  return false;
}

std::string TextProblem(std::u16string_view text, std::size_t field_units) {
  if (text.size() + 1 > field_units) {
    return "it is " + std::to_string(text.size()) + " characters long; at most " + std::to_string(field_units - 1) +
           " fit";
  }
  for (const char16_t c : text) {
    if (c < 0x20 || c == 0x7F) return "it holds a line break or another control character";
  }
  if (!text.empty() && (text.front() == u' ' || text.back() == u' ' || text.front() == u'\t')) {
    return "it begins or ends with a space, which the settings file does not keep";
  }
  if (text.size() >= 2 &&
      ((text.front() == u'"' && text.back() == u'"') || (text.front() == u'\'' && text.back() == u'\''))) {
    return "it is in quotes, which the settings file does not keep";
  }
  return {};
}

std::u16string FileValue(const KeyRef& key) {
  switch (key.kind) {
    case KeyKind::kInteger:
    case KeyKind::kColour:
      return DecimalText(*key.value);
    case KeyKind::kText:
      return std::u16string(FieldText(key.text));
    case KeyKind::kButton: {
      std::u16string out;
      unsigned sum = 0;
      const auto hex = [&out](unsigned byte) {
        constexpr char16_t kDigits[] = u"0123456789ABCDEF";
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0xF]);
      };
      for (const std::uint8_t byte : EntryBytes(*key.entry)) {
        hex(byte);
        sum += byte;
      }
      hex(sum & 0xFF);
      return out;
    }
  }
  return {};
}

std::optional<ButtonEntry> ParseStructValue(std::u16string_view text) {
  if (text.size() != 2 * (sizeof(ButtonEntry) + 1)) return std::nullopt;
  ButtonEntry entry{};
  auto bytes = EntryBytes(entry);
  unsigned sum = 0;
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    const auto byte = static_cast<std::uint8_t>(high * 16 + low);
    if (i == bytes.size()) return byte == (sum & 0xFF) ? std::optional<ButtonEntry>(entry) : std::nullopt;
    bytes[i] = byte;
    sum += byte;
  }
  return std::nullopt;
}

std::vector<std::string> Repairs(const SettingsRecord& raw, const SettingsRecord& valid) {
  std::vector<std::string> out;
  auto stored = std::make_unique<SettingsRecord>(raw);
  auto used = std::make_unique<SettingsRecord>(valid);
  const auto compare = [&out](const std::string& section, std::vector<KeyRef> a, std::vector<KeyRef> b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
      if (a[i].kind == KeyKind::kButton) {
        // Button 9's entry is reset at every load unless it holds a valid
        // function, and the mouse never gets it: no news for the user.
        if (a[i].name == "ButtonAssigned" + std::to_string(kButtonCount - 1)) continue;
        if (std::memcmp(a[i].entry, b[i].entry, sizeof(ButtonEntry)) != 0) {
          out.push_back("[" + section + "] " + a[i].name +
                        " is missing, damaged or holds no valid function; the agent uses the default assignment");
        }
      } else if (FileValue(a[i]) != FileValue(b[i])) {
        out.push_back("[" + section + "] " + a[i].name + "=" + Shown(a[i]) + " is out of range; the agent uses " +
                      Shown(b[i]));
      }
    }
  };
  compare(ToUtf8(kHeaderSection), HeaderKeys(*stored), HeaderKeys(*used));
  for (int i = 0; i < SlotsInUse(used->Totle); ++i) {
    compare(ToUtf8(ProfileSection(stored->ProfileNo[i])), ProfileKeys(stored->Profiles[i]),
            ProfileKeys(used->Profiles[i]));
  }
  return out;
}

}  // namespace qx27::ctl
