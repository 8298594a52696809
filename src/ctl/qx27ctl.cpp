#include "ctl/qx27ctl.h"

#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "common/text.h"
#include "ctl/json.h"
#include "ctl/names.h"
#include "ctl/settings_keys.h"
#include "interfaces/companion_ui.h"
#include "interfaces/mouse_identity.h"
#include "protocol/button_report.h"
#include "protocol/macro_records.h"
#include "qx27_version.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "settings/validation.h"

namespace qx27::ctl {
namespace {

constexpr char16_t kSettingsFolder[] = u"\\VORN\\ELDAN QX27";
constexpr char16_t kSettingsFileName[] = u"\\GamingMouse";

constexpr char kOverview[] =
    "usage: qx27ctl COMMAND [OPTIONS] [ARGS]\n"
    "Reads and changes the VORN ELDAN QX27 mouse's profiles in the settings file the agent and\n"
    "the companion UI share, and asks the running agent to apply them to the mouse.\n"
    "\n"
    "commands:\n"
    "  status [--json]                          agent, mouse, active profile, DPI stage\n"
    "  show [PROFILE] [--json]                  one profile in words (default: the active one)\n"
    "  set [--profile N] KEY=VALUE...           change settings by their settings-file keys\n"
    "  button [--profile N] BUTTON FUNCTION     give a button a function by name\n"
    "  macro [--profile N] BUTTON \"STEPS\"       give a button a macro (\"A down, 50 ms, A up\")\n"
    "  activate PROFILE                         make a profile the active one and apply it\n"
    "  export FILE                              every profile and the header to a JSON file (- for\n"
    "                                           standard output)\n"
    "  import FILE                              the same back, after checking every value\n"
    "  apply                                    ask the running agent to apply the active profile now\n"
    "\n"
    "Profiles are numbered 1 to 6, buttons 1 to 9, DPI stages 1 to 6. Commands that write also\n"
    "take --no-apply (write the file only). 'qx27ctl COMMAND --help' tells more;\n"
    "'qx27ctl --version' prints the version.\n"
    "\n"
    "exit codes: 0 done; 1 no settings file, or a file could not be read or written; 2 refused\n"
    "(bad usage, unknown key or value): nothing was written; 3 written, but no agent is running\n"
    "to apply it; 4 written, but another program changed the same keys at the same time.\n";

struct VerbHelp {
  const char* verb;
  const char* text;
};
constexpr VerbHelp kVerbHelp[] = {
    {"status",
     "usage: qx27ctl status [--json]\n"
     "Whether the agent is running (its window exists), whether the mouse is connected now, the\n"
     "Device flag the agent last stored, the active profile and its current DPI stage.\n"
     "--json: {\"agent_running\", \"mouse_connected\", \"Device\", \"Active\", \"profile\",\n"
     "\"Profil_Name\", \"DPI_Cur\"}; Active and DPI_Cur are the settings file's values.\n"},
    {"show",
     "usage: qx27ctl show [PROFILE] [--json]\n"
     "One profile (1 to 6; default: the active one) as the agent uses it: DPI stages with level\n"
     "codes and colours, polling-rate and lift-off codes, lighting, buttons, pointer preferences.\n"
     "Level, polling-rate, lift-off and effect codes are the mouse's own; their DPI, Hz and\n"
     "millimetres are the mouse firmware's and are not known to this tool.\n"
     "Values the agent repairs when it loads the file are named on standard error.\n"
     "--json: the profile's settings-file keys and values; Button entries as their stored text.\n"},
    {"set",
     "usage: qx27ctl set [--profile N] [--no-apply] KEY=VALUE...\n"
     "KEY is a settings-file key of the profile (default: the active one) or of the header:\n"
     "  DPI_Cur 0..6, DPI_Value0..5 0..7, DPI_Color0..5, POLLRATE_VALUE 0..3, lift_height 0..3,\n"
     "  Enable_light, Cycle_enable, light_type 0..6, light_bright 0..5, light_speed 1..5,\n"
     "  light_bright_colorID 0..6, light_Color0..6, light_Cycle0..6, GamingMode, GroupID 0..20,\n"
     "  DBClick_Speed 1..10, Mouse_Speed 1..10, Scroll_Speed 1..10, scroll_page, mouse_enhance,\n"
     "  Profil_Name, SYNCFilesPath, ExePath0..8, ExeName0..8;\n"
     "  header: Show_TrayIcon, Show_OSD, lan_id, Current, Active, BGFilesPath.\n"
     "Aliases: dpi1..dpi6 (DPI_Value0..5), dpi1-colour..dpi6-colour, dpi-stage, polling, lift,\n"
     "  lighting, effect, colour (the current effect's colour), brightness, speed, name,\n"
     "  double-click, pointer-speed, acceleration, scroll-lines, page-scroll, tray-icon.\n"
     "Keys are matched without regard to case. 0/1 keys also take on and off.\n"
     "Colours are #RRGGBB. The file stores them as Windows COLORREF numbers, red in the low\n"
     "byte: #FF0000 is stored as 255, #0000FF as 16711680. A stored number 0..16777215 is taken\n"
     "as it is.\n"
     "Every value is checked first; one bad value or unknown key writes nothing (exit 2).\n"
     "Only the keys named are written; then the agent is asked to apply the file.\n"},
    {"button",
     "usage: qx27ctl button [--profile N] [--no-apply] BUTTON FUNCTION\n"
     "BUTTON is 1 to 8 (button 9 is always the right button on the mouse). FUNCTION is one of:\n"
     "  left-click right-click middle-click back forward double-click disabled\n"
     "  ctrl+c ctrl+v ctrl+x ctrl+a ctrl+f ctrl+n ctrl+p ctrl+s ctrl+z win alt+tab alt+f4\n"
     "  win+e win+d win+l device-function-0 device-function-1 device-function-2\n"
     "  special-function-1 -2 -4 -8 -16 -64 -128 special-function-c9\n"
     "or its function code (0xA0). What a device or special function does is the mouse's own\n"
     "(by default button 4 has device function 1 and button 7 device function 2).\n"
     "For any other key or key combination, use a macro.\n"},
    {"macro",
     "usage: qx27ctl macro [--profile N] [--no-apply] [--repeat-mode M] [--repeat-count C]\n"
     "                     BUTTON \"STEPS\"\n"
     "STEPS, separated by commas: NAME down, NAME up, NAME (down and up), or a delay N ms\n"
     "(1..65535). NAME is a key (a..z, 0..9, f1..f12, enter, esc, tab, space, backspace, lctrl,\n"
     "lshift, lalt, lwin, rctrl, ..., arrows as left-arrow, keypad as kp-1, or key-0xNN by its\n"
     "key number) or a mouse button (left, right, middle, back, forward).\n"
     "Example: qx27ctl macro 5 \"A down, 50 ms, A up, 20 ms, B\"\n"
     "Each step of the mouse holds one key: a release lets go of every key, and the mouse\n"
     "reads back overlapping keys as best it can; the tool says so when it would read a macro\n"
     "back differently from how it was typed.\n"
     "A macro holds at most 92 steps, a delay counting as one, and cannot begin with a delay.\n"
     "--repeat-mode 0..14 (default 0) and, with mode 1, --repeat-count 1..15 set how the mouse\n"
     "plays it; what each mode does is the mouse's own.\n"
     "The mouse holds 200 records for all nine buttons together; a macro that does not fit\n"
     "beside the profile's other assignments is refused.\n"},
    {"activate",
     "usage: qx27ctl activate [--no-apply] PROFILE\n"
     "Makes profile PROFILE (1 to 6) the active one (Active), stores the mouse's read-back under\n"
     "it from then on (Current) and asks the agent to apply it.\n"},
    {"export",
     "usage: qx27ctl export FILE\n"
     "Writes the header and every profile in use, as the agent uses them, to FILE as JSON with\n"
     "the settings file's own sections, keys and values (- writes to standard output).\n"},
    {"import",
     "usage: qx27ctl import [--no-apply] FILE\n"
     "Reads a file written by export, checks every section, key and value, and writes nothing\n"
     "if anything is wrong (exit 2). Otherwise writes the header and every profile in use, then\n"
     "asks the agent to apply them.\n"},
    {"apply",
     "usage: qx27ctl apply\n"
     "Asks the running agent to read the settings file again and write the active profile into the\n"
     "mouse, as the commands that write do at their end. Exit 3 when no agent is running.\n"},
};

const char* HelpOf(const std::string& verb) {
  for (const VerbHelp& help : kVerbHelp) {
    if (verb == help.verb) return help.text;
  }
  return nullptr;
}

struct Options {
  bool json = false;
  bool no_apply = false;
  bool help = false;
  std::optional<std::string> profile;
  std::optional<std::string> repeat_mode;
  std::optional<std::string> repeat_count;
  std::vector<std::string> positional;
};

class Command {
 public:
  Command(CtlPorts& ports, CtlResult& result) : ports_(ports), result_(result) {}

  int Refuse(const std::string& message) {
    result_.err += "qx27ctl: " + message + "\n";
    return kExitRefused;
  }
  int Failed(const std::string& message) {
    result_.err += "qx27ctl: " + message + "\n";
    return kExitFailed;
  }
  void Out(const std::string& text) { result_.out += text; }

  // The agent's own path: the application-data folder and the fixed name.
  bool LocateSettings() {
    std::array<char16_t, kPathUnits> app_data{};
    std::array<char16_t, kPathUnits> file{};
    std::array<char16_t, kPathUnits> folder{};
    if (!ports_.shell.GetAppDataFolder(app_data) || !JoinToField(folder, FieldText(app_data), kSettingsFolder) ||
        !JoinToField(file, FieldText(folder), kSettingsFileName)) {
      return false;
    }
    folder_ = FieldText(folder);
    path_ = FieldText(file);
    return true;
  }

  bool SettingsFileExists() { return ports_.ini.PathExists(path_); }

  // A path as the system writes it: the agent's own names are joined with
  // backslashes, which the INI service takes as folder separators everywhere.
  std::string Shown(std::u16string_view path) const {
    std::u16string shown(path);
    for (char16_t& unit : shown) {
      if (unit == u'\\') unit = ports_.platform.separator;
    }
    return ToUtf8(shown);
  }

  int NoSettingsFile() {
    if (!ports_.ini.PathExists(folder_)) {
      return Failed("there is no settings folder " + Shown(folder_) + " yet. " + ports_.platform.create_folder +
                    ", then start the agent (" + ports_.platform.agent + ") once to create the settings file.");
    }
    return Failed("there is no settings file " + Shown(path_) + " yet. Start the agent (" + ports_.platform.agent +
                  ") once: it creates it with the default profiles.");
  }

  // The file as stored, and as the agent uses it; repairs are named, never written.
  int Load() {
    if (!LocateSettings()) return Failed("the application-data folder cannot be found, or its path is too long");
    if (!SettingsFileExists()) return NoSettingsFile();
    raw_ = std::make_unique<SettingsRecord>();
    LoadSettings(ports_.ini, path_, *raw_);
    valid_ = std::make_unique<SettingsRecord>(*raw_);
    ValidateHeader(*valid_);
    const std::vector<std::string> repairs = Repairs(*raw_, *valid_);
    for (const std::string& line : repairs) result_.err += "qx27ctl: note: " + line + "\n";
    if (!repairs.empty()) {
      result_.err += "qx27ctl: note: the file is left as it is; values set now replace the repaired ones\n";
    }
    return kExitOk;
  }

  // PROFILE as typed (1..Totle) to a slot; the active slot when absent.
  std::optional<int> Slot(const std::optional<std::string>& text) {
    if (!text) return valid_->Active;
    const std::string& t = *text;
    const int slots = valid_->Totle;
    if (t.size() == 1 && t[0] >= '1' && t[0] < '1' + slots) return t[0] - '1';
    Refuse("profile " + t + " does not exist: the settings file has profiles 1 to " + std::to_string(slots));
    return std::nullopt;
  }

  std::u16string SectionOf(int slot) const { return ProfileSection(valid_->ProfileNo[slot]); }

  bool AgentRunning() { return ports_.windows.FindWindowByTitle(companion::kAgentWindowTitle) != 0; }

  bool MouseConnected() {
    const auto known = [](std::uint16_t vendor, std::uint16_t product) {
      return (vendor == mouse::kVendorId || vendor == mouse::kSecondVendorId) &&
             (product == mouse::kProductId || product == mouse::kSecondProductId);
    };
    for (const std::u16string& interface_path : ports_.hid.EnumerateInterfaces()) {
      const HidHandle handle = ports_.hid.Open(interface_path);
      if (handle == kInvalidHid) continue;
      HidAttributes attributes;
      const bool ok = ports_.hid.GetAttributes(handle, attributes);
      ports_.hid.Close(handle);
      if (ok && known(attributes.vendor_id, attributes.product_id)) return true;
    }
    return false;
  }

  // Posts the apply request; the exit code says whether an agent took it.
  int Apply(const Options& options, const std::string& what) {
    if (options.no_apply) {
      Out(what + "; not applied (--no-apply)\n");
      return kExitOk;
    }
    const WindowHandle agent = ports_.windows.FindWindowByTitle(companion::kAgentWindowTitle);
    if (agent != 0 && ports_.windows.Post(agent, companion::kApplyRequest, 0, 0)) {
      Out(what + "; the agent applies it now\n");
      return kExitOk;
    }
    Out(what + "\n");
    result_.err +=
        "qx27ctl: the settings are written, but no agent is running to apply them: they reach the mouse when the "
        "agent (" +
        std::string(ports_.platform.agent) + ") next starts and reads them\n";
    return kExitNoAgent;
  }

  // Writes the keys and reads each back. A write through the private-profile
  // service rewrites the whole file, so a program writing the file at the
  // same moment can undo a key; that is reported, never hidden.
  int WriteKeys(const std::u16string& section, const std::vector<KeyRef>& keys) {
    const CIniFile file(ports_.ini, path_);
    for (const KeyRef& key : keys) {
      const std::u16string name = FromUtf8(key.name);
      const bool written = key.kind == KeyKind::kButton ? file.WriteStruct(section, name, EntryBytes(*key.entry))
                                                        : file.WriteString(section, name, FileValue(key));
      if (!written) {
        return Failed("could not write " + key.name + " to " + Shown(path_) +
                      " (is it read-only, or is its folder gone?)");
      }
    }
    std::vector<std::string> undone;
    for (const KeyRef& key : keys) {
      const std::u16string name = FromUtf8(key.name);
      if (key.kind == KeyKind::kButton) {
        ButtonEntry back{};
        if (!file.ReadStruct(section, name, EntryBytes(back)) ||
            std::memcmp(&back, key.entry, sizeof(ButtonEntry)) != 0) {
          undone.push_back(key.name);
        }
      } else if (file.ReadString(section, name, u"\x01") != FileValue(key)) {
        undone.push_back(key.name);
      }
    }
    if (undone.empty()) return kExitOk;
    std::string names;
    for (const std::string& name : undone) names += std::string(" ") + name;
    result_.err += "qx27ctl: another program wrote the settings file at the same time and replaced:" + names +
                   "; run the command again\n";
    return kExitChangedMeanwhile;
  }

  CtlPorts& ports_;
  CtlResult& result_;
  std::u16string folder_;
  std::u16string path_;
  std::unique_ptr<SettingsRecord> raw_;
  std::unique_ptr<SettingsRecord> valid_;
};

std::string Quoted(std::u16string_view text) { return std::string("\"") + ToUtf8(text) + "\""; }

std::string OnOff(std::int32_t value) { return value != 0 ? "on" : "off"; }

// ---- status ----

int Status(Command& c, const Options& options) {
  const bool agent = c.AgentRunning();
  const bool connected = c.MouseConnected();
  if (!c.LocateSettings()) return c.Failed("the application-data folder cannot be found, or its path is too long");
  const bool have_file = c.SettingsFileExists();
  std::optional<std::int32_t> device;
  if (have_file) {
    constexpr std::int32_t kMissing = -0x7FFFFFFF;
    const std::int32_t value = CIniFile(c.ports_.ini, c.path_).ReadInt(kHeaderSection, u"Device", kMissing);
    if (value != kMissing) device = value;
    if (const int code = c.Load(); code != kExitOk) return code;
  }
  const SettingsRecord* s = have_file ? c.valid_.get() : nullptr;
  const ProfileRecord* active = s != nullptr ? &s->Profiles[s->Active] : nullptr;
  if (options.json) {
    std::string out = "{\"agent_running\": " + std::string(agent ? "true" : "false") +
                      ", \"mouse_connected\": " + (connected ? "true" : "false") +
                      ", \"Device\": " + (device ? std::to_string(*device) : "null");
    if (s != nullptr) {
      out += ", \"Active\": " + std::to_string(s->Active) + ", \"profile\": " + std::to_string(s->Active + 1) +
             ", \"Profil_Name\": " + JsonText(FieldText(active->Profil_Name)) +
             ", \"DPI_Cur\": " + std::to_string(active->DPI_Cur);
    } else {
      out += ", \"Active\": null, \"profile\": null, \"Profil_Name\": null, \"DPI_Cur\": null";
    }
    c.Out(out + "}\n");
  } else {
    std::string out = "agent:          " + std::string(agent ? "running" : "not running") + "\n" +
                      "mouse:          " + (connected ? "connected" : "not connected") + "\n" +
                      "Device flag:    " + (device ? std::to_string(*device) : std::string("not stored yet")) +
                      " (as the agent last stored it)\n";
    if (s != nullptr) {
      out += "active profile: " + std::to_string(s->Active + 1) + " " + Quoted(FieldText(active->Profil_Name)) +
             "\nDPI stage:      " + std::to_string(active->DPI_Cur) + "\n";
    } else {
      out += "settings:       no settings file yet (the agent creates it when it first starts)\n";
    }
    c.Out(out);
  }
  return kExitOk;
}

// ---- show ----

std::string ProfileJson(ProfileRecord& profile) {
  std::string out = "{";
  bool first = true;
  for (const KeyRef& key : ProfileKeys(profile)) {
    out += first ? "\n  " : ",\n  ";
    first = false;
    out += JsonText(key.name) + ": ";
    out += key.kind == KeyKind::kInteger || key.kind == KeyKind::kColour ? ToUtf8(FileValue(key))
                                                                         : JsonText(FileValue(key));
  }
  return out + "\n}";
}

std::string ProfileText(const SettingsRecord& s, int slot) {
  const ProfileRecord& p = s.Profiles[slot];
  std::string out = "profile " + std::to_string(slot + 1) + " of " + std::to_string(s.Totle) + " " +
                    Quoted(FieldText(p.Profil_Name)) + (slot == s.Active ? " (active)" : "") + ", section [" +
                    ToUtf8(ProfileSection(s.ProfileNo[slot])) + "]\n";
  out += "  DPI stage:       " + std::to_string(p.DPI_Cur) + "\n";
  out += "  DPI stages:     ";
  for (int i = 0; i < kDpiStages; ++i) {
    out += std::string(" ") + std::to_string(i + 1) + ": level " + std::to_string(p.DPI_Value[i]) + " " +
           ColourText(p.DPI_Color[i]);
    out += i + 1 < kDpiStages ? "," : "\n";
  }
  out += "  polling rate:    code " + std::to_string(p.POLLRATE_VALUE) + " (0..3)\n";
  out += "  lift-off height: code " + std::to_string(p.lift_height) + " (0..3)\n";
  const int colour_index = p.light_type >= 1 ? p.light_type - 1 : 0;
  out += "  lighting:        " + OnOff(p.Enable_light) + ", effect " + std::to_string(p.light_type) + ", colour " +
         ColourText(p.light_Color[colour_index]) + ", brightness " + std::to_string(p.light_bright) + " of 5, speed " +
         std::to_string(p.light_speed) + " of 5, colour cycle " + OnOff(p.Cycle_enable) + ", colour number " +
         std::to_string(p.light_bright_colorID) + "\n";
  out += "  effect colours: ";
  for (int i = 0; i < kLightColors; ++i) out += std::string(" ") + ColourText(p.light_Color[i]);
  out += "\n  cycle colours:  ";
  for (int i = 0; i < kLightColors; ++i) out += std::string(" ") + ColourText(p.light_Cycle[i]);
  out += "\n  buttons:\n";
  for (int k = 0; k < kButtonCount; ++k) {
    out += "    " + std::to_string(k + 1) + ": " + AssignmentText(p.ButtonAssigned[k], k) + "\n";
  }
  out += "  pointer:         speed " + std::to_string(p.Mouse_Speed) + " of 10, acceleration " +
         OnOff(p.mouse_enhance) + ", double-click speed " + std::to_string(p.DBClick_Speed) + " of 10, wheel " +
         (p.scroll_page != 0 ? std::string("a page") : std::to_string(p.Scroll_Speed) + " lines") + " per notch\n";
  out += "  gaming mode:     " + OnOff(p.GamingMode) + ", group " + std::to_string(p.GroupID) + "\n";
  return out;
}

int Show(Command& c, const Options& options) {
  if (options.positional.size() > 1) return c.Refuse("show takes one profile number");
  if (const int code = c.Load(); code != kExitOk) return code;
  const auto slot = c.Slot(options.positional.empty() ? std::nullopt : std::optional(options.positional[0]));
  if (!slot) return kExitRefused;
  if (options.json) {
    c.Out(ProfileJson(c.valid_->Profiles[*slot]) + "\n");
  } else {
    c.Out(ProfileText(*c.valid_, *slot));
  }
  return kExitOk;
}

// ---- set ----

struct AliasTarget {
  const char* alias;
  const char* key;
};
constexpr AliasTarget kAliases[] = {
    {"dpi-stage", "DPI_Cur"},         {"polling", "POLLRATE_VALUE"},     {"lift", "lift_height"},
    {"lighting", "Enable_light"},     {"effect", "light_type"},          {"brightness", "light_bright"},
    {"speed", "light_speed"},         {"name", "Profil_Name"},           {"double-click", "DBClick_Speed"},
    {"pointer-speed", "Mouse_Speed"}, {"acceleration", "mouse_enhance"}, {"scroll-lines", "Scroll_Speed"},
    {"page-scroll", "scroll_page"},   {"tray-icon", "Show_TrayIcon"},
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
  return out;
}

// The file key an alias or a key typed in any case stands for.
std::string ResolveKey(const std::string& typed, const ProfileRecord& edited) {
  const std::string name = NormalName(typed);
  for (const AliasTarget& alias : kAliases) {
    if (name == alias.alias) return alias.key;
  }
  if (name == "colour" || name == "color") {
    return "light_Color" + std::to_string(edited.light_type >= 1 ? edited.light_type - 1 : 0);
  }
  if (name.size() >= 4 && name.rfind("dpi", 0) == 0 && name[3] >= '1' && name[3] <= '6') {
    const std::string index(1, static_cast<char>(name[3] - 1));
    if (name.size() == 4) return "DPI_Value" + index;
    if (name == name.substr(0, 4) + "-colour" || name == name.substr(0, 4) + "-color") return "DPI_Color" + index;
  }
  return typed;
}

int Set(Command& c, const Options& options) {
  if (options.positional.empty()) return c.Refuse("set needs KEY=VALUE (qx27ctl set --help)");
  if (const int code = c.Load(); code != kExitOk) return code;
  const auto slot = c.Slot(options.profile);
  if (!slot) return kExitRefused;
  auto edited = std::make_unique<SettingsRecord>(*c.valid_);
  ProfileRecord& profile = edited->Profiles[*slot];
  std::vector<std::string> header_names, profile_names;
  for (const std::string& assignment : options.positional) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
      return c.Refuse(std::string("\"") + assignment + "\" is not KEY=VALUE");
    }
    const std::string key_name = ResolveKey(assignment.substr(0, equals), profile);
    const std::string value = assignment.substr(equals + 1);
    bool found = false;
    for (const bool header : {false, true}) {
      std::vector<KeyRef> keys = header ? HeaderKeys(*edited) : ProfileKeys(profile);
      for (KeyRef& key : keys) {
        if (Lower(key.name) != Lower(key_name)) continue;
        found = true;
        if (!key.settable) {
          return c.Refuse(key.name + " is not set by 'set': " +
                          (key.kind == KeyKind::kButton ? std::string("use qx27ctl button or qx27ctl macro")
                                                        : std::string("it shapes the file; use qx27ctl import")));
        }
        std::string error;
        if (!AssignFromText(key, value, error)) return c.Refuse(error);
        (header ? header_names : profile_names).push_back(key.name);
        break;
      }
      if (found) break;
    }
    if (!found) {
      return c.Refuse("unknown key \"" + assignment.substr(0, equals) +
                      "\": give a settings-file key such as POLLRATE_VALUE or an alias (qx27ctl set --help)");
    }
  }
  // The agent must load what is written unchanged.
  auto checked = std::make_unique<SettingsRecord>(*edited);
  ValidateHeader(*checked);
  const std::vector<std::string> repairs = Repairs(*edited, *checked);
  if (!repairs.empty()) return c.Refuse("refused, nothing written: " + repairs.front());

  const auto pick = [](std::vector<KeyRef> keys, const std::vector<std::string>& names) {
    std::vector<KeyRef> out;
    for (KeyRef& key : keys) {
      for (const std::string& name : names) {
        if (key.name == name) {
          out.push_back(key);
          break;
        }
      }
    }
    return out;
  };
  const std::vector<KeyRef> header_keys = pick(HeaderKeys(*edited), header_names);
  const std::vector<KeyRef> profile_keys = pick(ProfileKeys(profile), profile_names);
  int code = c.WriteKeys(std::u16string(kHeaderSection), header_keys);
  if (code == kExitOk) code = c.WriteKeys(c.SectionOf(*slot), profile_keys);
  if (code != kExitOk) return code;
  std::string what = "profile " + std::to_string(*slot + 1) + ":";
  for (const auto* keys : {&header_keys, &profile_keys}) {
    for (const KeyRef& key : *keys) what += std::string(" ") + key.name + "=" + ToUtf8(FileValue(key));
  }
  return c.Apply(options, what);
}

// ---- button, macro ----

bool IsGeneralMacro(std::uint8_t code) { return code == kFuncGeneralMacro || (code >= 0xAC && code <= 0xB2); }

// Records an upload sends for the nine buttons, as the Button report lays them out.
int RecordsSent(const ProfileRecord& profile) {
  int total = 0;
  for (int k = 0; k < kButtonCount; ++k) {
    const ButtonEntry& entry = profile.ButtonAssigned[k];
    const std::uint8_t code = k == kButtonCount - 1 ? kFuncRightButton : entry.FuncCode;
    if (IsGeneralMacro(code)) {
      total += EncodeGeneralMacro(entry).count;
    } else if (code == kFuncBulletMacro) {
      total += EncodeBulletMacro(entry).count;
    } else if (code == kFuncDoubleClick) {
      total += 4;
    } else {
      for (const FunctionName& function : FunctionNames()) {
        if (function.code == code && code != kFuncNoFunction) ++total;
      }
    }
  }
  return total;
}

std::optional<int> ButtonIndex(Command& c, const std::string& text) {
  if (text == "9") {
    c.Refuse("button 9 cannot be changed: the mouse always gets it as the right button");
    return std::nullopt;
  }
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '8') return text[0] - '1';
  c.Refuse(std::string("\"") + text + "\" is no button: buttons 1 to 8 can be given functions");
  return std::nullopt;
}

int StoreButton(Command& c, const Options& options, int slot, int index, const ButtonEntry& entry) {
  auto profile = std::make_unique<ProfileRecord>(c.valid_->Profiles[slot]);
  profile->ButtonAssigned[index] = entry;
  const int records = RecordsSent(*profile);
  if (records > kRecordAreaRecords) {
    return c.Refuse("refused, nothing written: the nine buttons would need " + std::to_string(records) +
                    " records and the mouse holds " + std::to_string(kRecordAreaRecords) +
                    "; shorten this macro or another button's");
  }
  auto checked = std::make_unique<ProfileRecord>(*profile);
  ValidateProfile(*checked);
  if (std::memcmp(&checked->ButtonAssigned[index], &entry, sizeof entry) != 0) {
    return c.Refuse("refused, nothing written: the agent would not keep this assignment");
  }
  KeyRef key;
  key.name = "ButtonAssigned" + std::to_string(index);
  key.kind = KeyKind::kButton;
  key.entry = &profile->ButtonAssigned[index];
  if (const int code = c.WriteKeys(c.SectionOf(slot), {key}); code != kExitOk) return code;
  return c.Apply(options, "profile " + std::to_string(slot + 1) + ": button " + std::to_string(index + 1) + ": " +
                              AssignmentText(entry, index));
}

// A fresh entry for button `index`; the reserved bytes stay as stored.
ButtonEntry NewEntry(const Command& c, int slot, int index, std::uint8_t code) {
  ButtonEntry entry = c.raw_->Profiles[slot].ButtonAssigned[index];
  ResetButtonEntry(entry, index);
  entry.FuncCode = code;
  return entry;
}

int Button(Command& c, const Options& options) {
  if (options.positional.size() < 2) return c.Refuse("button needs BUTTON FUNCTION (qx27ctl button --help)");
  if (const int code = c.Load(); code != kExitOk) return code;
  const auto slot = c.Slot(options.profile);
  if (!slot) return kExitRefused;
  const auto index = ButtonIndex(c, options.positional[0]);
  if (!index) return kExitRefused;
  std::string name;
  for (std::size_t i = 1; i < options.positional.size(); ++i) name += (i > 1 ? " " : "") + options.positional[i];
  const auto code = ParseFunction(name);
  if (!code) {
    return c.Refuse(std::string("\"") + name +
                    "\" is no function a button can be given by name (qx27ctl button --help lists "
                    "them; macros: qx27ctl macro)");
  }
  return StoreButton(c, options, *slot, *index, NewEntry(c, *slot, *index, *code));
}

int Macro(Command& c, const Options& options) {
  if (options.positional.size() < 2) return c.Refuse("macro needs BUTTON \"STEPS\" (qx27ctl macro --help)");
  if (const int code = c.Load(); code != kExitOk) return code;
  const auto slot = c.Slot(options.profile);
  if (!slot) return kExitRefused;
  const auto index = ButtonIndex(c, options.positional[0]);
  if (!index) return kExitRefused;
  std::string text;
  for (std::size_t i = 1; i < options.positional.size(); ++i) text += (i > 1 ? " " : "") + options.positional[i];
  std::string error;
  const auto steps = ParseMacro(text, error);
  if (!steps) return c.Refuse("refused, nothing written: " + error);
  int mode = 0, count = 0;
  if (options.repeat_mode) {
    const std::string& m = *options.repeat_mode;
    if (m.empty() || m.size() > 2 || m.find_first_not_of("0123456789") != std::string::npos || std::stoi(m) > 14) {
      return c.Refuse("--repeat-mode " + m + " is refused: it accepts 0..14");
    }
    mode = std::stoi(m);
  }
  if (options.repeat_count) {
    const std::string& n = *options.repeat_count;
    if (mode != 1) return c.Refuse("--repeat-count goes with --repeat-mode 1 only; the mouse ignores it otherwise");
    if (n.empty() || n.size() > 2 || n.find_first_not_of("0123456789") != std::string::npos || std::stoi(n) < 1 ||
        std::stoi(n) > 15) {
      return c.Refuse("--repeat-count " + n + " is refused: it accepts 1..15");
    }
    count = std::stoi(n);
  } else if (mode == 1) {
    count = 1;
  }
  ButtonEntry entry = NewEntry(c, *slot, *index, kFuncGeneralMacro);
  for (std::size_t i = 0; i < steps->size(); ++i) entry.Steps[i] = (*steps)[i];
  entry.StepCount = static_cast<std::uint8_t>(steps->size());
  entry.RepeatMode = static_cast<std::uint8_t>(mode);
  entry.RepeatCount = static_cast<std::uint8_t>(count);
  // What the next read-back of the mouse will store for it.
  MacroRecords records = EncodeGeneralMacro(entry);
  for (int i = 0; i < records.count; ++i) records.records[i].SetButtonNumber(*index + 1);
  ButtonEntry back{};
  DecodeGeneralMacro(records.View(), *index, back);
  if (MacroText(back) != MacroText(entry)) {
    c.result_.err +=
        "qx27ctl: note: the mouse plays one key at a time; read back from it, this macro becomes: " + MacroText(back) +
        "\n";
  }
  return StoreButton(c, options, *slot, *index, entry);
}

// ---- activate ----

int Activate(Command& c, const Options& options) {
  if (options.positional.size() != 1) return c.Refuse("activate needs one PROFILE (1 to 6)");
  if (const int code = c.Load(); code != kExitOk) return code;
  const auto slot = c.Slot(options.positional[0]);
  if (!slot) return kExitRefused;
  auto edited = std::make_unique<SettingsRecord>(*c.valid_);
  edited->Active = *slot;
  // The agent stores what it reads back from the mouse under Current; left on
  // the old profile, the next read-back would overwrite that profile.
  std::vector<std::string> names = {"Active"};
  if (edited->ProfileNo[*slot] < edited->Totle) {
    edited->Current = edited->ProfileNo[*slot];
    names.push_back("Current");
  }
  std::vector<KeyRef> keys;
  for (KeyRef& key : HeaderKeys(*edited)) {
    for (const std::string& name : names) {
      if (key.name == name) keys.push_back(key);
    }
  }
  if (const int code = c.WriteKeys(std::u16string(kHeaderSection), keys); code != kExitOk) return code;
  return c.Apply(options, "profile " + std::to_string(*slot + 1) + " " +
                              Quoted(FieldText(edited->Profiles[*slot].Profil_Name)) + " is active");
}

// ---- apply ----

int ApplyNow(Command& c, const Options& options) {
  if (!options.positional.empty()) return c.Refuse("apply takes no arguments");
  const WindowHandle agent = c.ports_.windows.FindWindowByTitle(companion::kAgentWindowTitle);
  if (agent != 0 && c.ports_.windows.Post(agent, companion::kApplyRequest, 0, 0)) {
    c.Out("the agent applies the active profile now\n");
    return kExitOk;
  }
  c.result_.err +=
      "qx27ctl: no agent is running to apply the settings; start it (" + std::string(c.ports_.platform.agent) + ")\n";
  return kExitNoAgent;
}

// ---- export, import ----

std::string SettingsJson(SettingsRecord& s) {
  std::string out = "{\n  " + JsonText(kHeaderSection) + ": {";
  bool first = true;
  for (const KeyRef& key : HeaderKeys(s)) {
    out += first ? "\n    " : ",\n    ";
    first = false;
    out += JsonText(key.name) + ": " + (key.kind == KeyKind::kText ? JsonText(FileValue(key)) : ToUtf8(FileValue(key)));
  }
  out += "\n  }";
  std::vector<std::u16string> written;
  for (int i = 0; i < s.Totle; ++i) {
    const std::u16string section = ProfileSection(s.ProfileNo[i]);
    bool seen = false;
    for (const auto& w : written) seen = seen || w == section;
    if (seen) continue;  // two slots of one section: both load from it
    written.push_back(section);
    std::string profile = ProfileJson(s.Profiles[i]);
    std::string indented;
    for (const char ch : profile) {
      indented.push_back(ch);
      if (ch == '\n') indented += "  ";
    }
    out += ",\n  " + JsonText(section) + ": " + indented;
  }
  return out + "\n}\n";
}

int Export(Command& c, const Options& options) {
  if (options.positional.size() != 1) return c.Refuse("export needs one FILE");
  if (const int code = c.Load(); code != kExitOk) return code;
  const std::string json = SettingsJson(*c.valid_);
  if (options.positional[0] == "-") {
    c.Out(json);
    return kExitOk;
  }
  if (!c.ports_.files.WriteWholeFile(FromUtf8(options.positional[0]), json)) {
    return c.Failed("could not write " + options.positional[0]);
  }
  c.Out("exported " + std::to_string(c.valid_->Totle) + " profiles to " + options.positional[0] + "\n");
  return kExitOk;
}

// One JSON value into a key's field, checked as `set` checks typed text.
bool AssignFromJson(KeyRef& key, const JsonValue& value, const std::string& section, std::string& error) {
  const std::string where = "[" + section + "] " + key.name;
  switch (key.kind) {
    case KeyKind::kInteger:
    case KeyKind::kColour: {
      const bool colour = key.kind == KeyKind::kColour;
      const std::int64_t low = colour ? std::numeric_limits<std::int32_t>::min() : key.low;
      const std::int64_t high = colour ? std::numeric_limits<std::int32_t>::max() : key.high;
      if (value.kind != JsonValue::Kind::kNumber || value.number < low || value.number > high) {
        error = where + " is refused: it accepts " + (colour ? "a whole number" : Accepts(key));
        return false;
      }
      *key.value = static_cast<std::int32_t>(value.number);
      return true;
    }
    case KeyKind::kText: {
      if (value.kind != JsonValue::Kind::kText) {
        error = where + " is refused: it accepts " + Accepts(key);
        return false;
      }
      const std::string problem = TextProblem(value.text, key.text.size());
      if (!problem.empty()) {
        error = where + " is refused: " + problem;
        return false;
      }
      CopyToField(key.text, value.text);
      return true;
    }
    case KeyKind::kButton: {
      const auto entry = value.kind == JsonValue::Kind::kText ? ParseStructValue(value.text) : std::nullopt;
      if (!entry) {
        error = where +
                " is refused: it accepts a Button entry's stored text (760 hexadecimal digits and a "
                "2-digit checksum)";
        return false;
      }
      *key.entry = *entry;
      return true;
    }
  }
  return false;
}

bool FillSection(std::vector<KeyRef> keys, const JsonValue* object, const std::string& section, std::string& error) {
  if (object == nullptr || object->kind != JsonValue::Kind::kObject) {
    error = "section \"" + section + "\" is missing";
    return false;
  }
  for (const auto& [name, value] : object->members) {
    bool known = false;
    for (KeyRef& key : keys) {
      if (key.name != name) continue;
      known = true;
      if (!AssignFromJson(key, value, section, error)) return false;
    }
    if (!known) {
      error = "[" + section + "] has an unknown key \"" + name + "\"";
      return false;
    }
  }
  for (const KeyRef& key : keys) {
    if (object->Find(key.name) == nullptr) {
      error = "[" + section + "] lacks the key \"" + key.name + "\"";
      return false;
    }
  }
  return true;
}

int Import(Command& c, const Options& options) {
  if (options.positional.size() != 1) return c.Refuse("import needs one FILE");
  if (!c.LocateSettings()) return c.Failed("the application-data folder cannot be found, or its path is too long");
  const auto bytes = c.ports_.files.ReadWholeFile(FromUtf8(options.positional[0]));
  if (!bytes) return c.Failed("cannot read " + options.positional[0]);
  std::string error;
  const auto root = ParseJson(*bytes, error);
  if (!root) return c.Refuse(options.positional[0] + " is no JSON file: " + error + "; nothing written");
  if (root->kind != JsonValue::Kind::kObject) return c.Refuse(options.positional[0] + " holds no settings");
  const std::string header = ToUtf8(kHeaderSection);
  const JsonValue* setting = root->Find(header);
  const JsonValue* totle = setting != nullptr ? setting->Find("Totle") : nullptr;
  if (totle == nullptr || totle->kind != JsonValue::Kind::kNumber || totle->number < 1 ||
      totle->number > kProfileSlots) {
    return c.Refuse("[" + header + "] Totle must be 1..6; nothing written");
  }
  auto record = std::make_unique<SettingsRecord>();
  record->Totle = static_cast<std::int32_t>(totle->number);
  if (!FillSection(HeaderKeys(*record), setting, header, error)) return c.Refuse(error + "; nothing written");
  std::vector<std::string> sections = {header};
  for (int i = 0; i < record->Totle; ++i) {
    const std::string section = ToUtf8(ProfileSection(record->ProfileNo[i]));
    for (const std::string& s : sections) {
      if (s == section) return c.Refuse("two profiles name section [" + section + "]; nothing written");
    }
    sections.push_back(section);
    if (!FillSection(ProfileKeys(record->Profiles[i]), root->Find(section), section, error)) {
      return c.Refuse(error + "; nothing written");
    }
  }
  for (const auto& [name, value] : root->members) {
    bool known = false;
    for (const std::string& s : sections) known = known || s == name;
    if (!known) return c.Refuse("unknown section \"" + name + "\"; nothing written");
  }
  auto checked = std::make_unique<SettingsRecord>(*record);
  ValidateHeader(*checked);
  const std::vector<std::string> repairs = Repairs(*record, *checked);
  if (!repairs.empty()) return c.Refuse(repairs.front() + "; nothing written");

  if (!c.ports_.ini.PathExists(c.folder_)) return c.NoSettingsFile();
  if (!SaveSettings(c.ports_.ini, c.path_, *record)) {
    return c.Failed("could not write " + c.Shown(c.path_) + " (is it read-only?)");
  }
  auto back = std::make_unique<SettingsRecord>();
  LoadSettings(c.ports_.ini, c.path_, *back);
  if (SettingsJson(*back) != SettingsJson(*record)) {
    c.result_.err += "qx27ctl: another program wrote the settings file at the same time; import again\n";
    return kExitChangedMeanwhile;
  }
  return c.Apply(options, "imported " + std::to_string(record->Totle) + " profiles from " + options.positional[0]);
}

std::optional<Options> ParseOptions(Command& c, const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::optional<std::string>& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (arg == "--json") {
      options.json = true;
    } else if (arg == "--no-apply") {
      options.no_apply = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--profile") {
      if (!value(options.profile)) return c.Refuse("--profile needs a number"), std::nullopt;
    } else if (arg == "--repeat-mode") {
      if (!value(options.repeat_mode)) return c.Refuse("--repeat-mode needs a number"), std::nullopt;
    } else if (arg == "--repeat-count") {
      if (!value(options.repeat_count)) return c.Refuse("--repeat-count needs a number"), std::nullopt;
    } else if (arg.size() > 2 && arg.rfind("--", 0) == 0) {
      return c.Refuse("unknown option " + arg + " (qx27ctl " + args[0] + " --help)"), std::nullopt;
    } else {
      options.positional.push_back(arg);
    }
  }
  return options;
}

}  // namespace

CtlResult RunCtl(const std::vector<std::string>& args, CtlPorts& ports) {
  CtlResult result;
  Command c(ports, result);
  if (args.empty()) {
    result.err = kOverview;
    result.exit_code = kExitRefused;
    return result;
  }
  const std::string& verb = args[0];
  if (verb == "--version") {
    result.out = "qx27ctl " QX27_VERSION_TEXT "\n";
    return result;
  }
  if (verb == "--help" || verb == "-h" || verb == "help") {
    const char* help = args.size() > 1 ? HelpOf(args[1]) : nullptr;
    result.out = help != nullptr ? help : kOverview;
    return result;
  }
  const char* help = HelpOf(verb);
  if (help == nullptr) {
    result.err = "qx27ctl: unknown command \"" + verb + "\"\n" + kOverview;
    result.exit_code = kExitRefused;
    return result;
  }
  const auto options = ParseOptions(c, args);
  if (!options) {
    result.exit_code = kExitRefused;
    return result;
  }
  if (options->help) {
    result.out = help;
    return result;
  }
  using Handler = int (*)(Command&, const Options&);
  const std::map<std::string, Handler> handlers = {
      {"status", Status},     {"show", Show},     {"set", Set},       {"button", Button},  {"macro", Macro},
      {"activate", Activate}, {"export", Export}, {"import", Import}, {"apply", ApplyNow},
  };
  result.exit_code = handlers.at(verb)(c, *options);
  return result;
}

}  // namespace qx27::ctl
