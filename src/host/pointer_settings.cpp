#include "host/pointer_settings.h"

#include <string>
#include <vector>

#include "common/text.h"

namespace qx27 {
namespace {

constexpr char16_t kMouseKey[] = u"Control Panel\\Mouse";
constexpr char16_t kMouseKeyFullPath[] = u"HKEY_CURRENT_USER\\Control Panel\\Mouse";
constexpr std::uint32_t kReadWriteAccess = 0x2001F;  // KEY_READ | KEY_WRITE
constexpr std::uint32_t kAllAccess = 0xF003F;        // KEY_ALL_ACCESS

constexpr std::uint32_t kSpiSetMouse = 0x0004;
constexpr std::uint32_t kSpiSetMouseSpeed = 0x0071;
constexpr std::uint32_t kSpiSetWheelScrollLines = 0x0069;
constexpr std::uint32_t kSpifUpdateIniFile = 0x01;
constexpr std::uint32_t kSpifSendChange = 0x02;
constexpr std::uint32_t kWheelPageScroll = 0xFFFFFFFFu;

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// REG_SZ data: the text and its terminator.
std::vector<char16_t> WithTerminator(std::u16string_view text) {
  std::vector<char16_t> data(text.begin(), text.end());
  data.push_back(u'\0');
  return data;
}

}  // namespace

bool RegistryKey::ParsePath(std::u16string_view full_path, RegistryRoot& root,
                            std::array<char16_t, kPathUnits>& sub_key) {
  const std::size_t slash = full_path.find(u'\\');
  if (slash == std::u16string_view::npos) return false;
  const std::u16string_view first = full_path.substr(0, slash);
  struct Named {
    std::u16string_view name;
    RegistryRoot root;
  };
  static constexpr Named kRoots[] = {
      {u"HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine},
      {u"HKEY_CURRENT_USER", RegistryRoot::kCurrentUser},
      {u"HKEY_CURRENT_CONFIG", RegistryRoot::kCurrentConfig},
      {u"HKEY_CLASSES_ROOT", RegistryRoot::kClassesRoot},
  };
  root = RegistryRoot::kLocalMachine;
  std::u16string_view rest = full_path;
  for (const Named& named : kRoots) {
    if (EqualsIgnoringAsciiCase(first, named.name)) {
      root = named.root;
      rest = full_path.substr(slash + 1);
      break;
    }
  }
  // A cut path would name another key: refuse it instead.
  if (rest.size() >= sub_key.size()) return false;
  return CopyToField(sub_key, rest);
}

bool RegistryKey::OpenOrCreate(std::u16string_view full_path, std::uint32_t access) {
  Close();
  if (!ParsePath(full_path, root_, path_)) {
    path_.fill(u'\0');
    return false;
  }
  key_ = UniqueRegistryKey(port_, port_.OpenKey(root_, path(), access));
  if (!key_) key_ = UniqueRegistryKey(port_, port_.CreateKey(root_, path()));
  return is_open();
}

bool RegistryKey::SetString(std::u16string_view name, std::u16string_view text) {
  if (!key_) return false;
  return port_.SetStringValue(key_.get(), name, WithTerminator(text));
}

void RegistryKey::Close() {
  key_.reset();
  path_.fill(u'\0');
}

std::u16string_view RegistryKey::path() const { return FieldText(path_); }

void RefreshDoubleClickSpeed(SystemSettingsPort& port, const ProfileRecord& profile) {
  const std::int32_t milliseconds = 1000 - 80 * profile.DBClick_Speed;
  port.SetDoubleClickTime(static_cast<std::uint32_t>(milliseconds));
  // Only opens: a missing key is created by the pointer-speed step.
  const UniqueRegistryKey key(port, port.OpenKey(RegistryRoot::kCurrentUser, kMouseKey, kReadWriteAccess));
  if (!key) return;
  port.SetStringValue(key.get(), u"DoubleClickSpeed", WithTerminator(DecimalText(milliseconds)));
}

void RefreshMouseMoveSpeed(SystemSettingsPort& port, RegistryKey& key, const ProfileRecord& profile) {
  const bool accelerate = profile.mouse_enhance == 1;
  const std::int32_t speed = accelerate ? 1 : 0;
  const std::int32_t threshold1 = accelerate ? 6 : 0;
  const std::int32_t threshold2 = accelerate ? 10 : 0;
  if (key.OpenOrCreate(kMouseKeyFullPath, kAllAccess)) {
    key.SetString(u"MouseSpeed", DecimalText(speed));
    key.SetString(u"MouseThreshold1", DecimalText(threshold1));
    key.SetString(u"MouseThreshold2", DecimalText(threshold2));
  }
  // The system's order: both thresholds, then the acceleration.
  std::array<std::int32_t, 3> mouse = {threshold1, threshold2, speed};
  port.SystemParametersInfoArray(kSpiSetMouse, 0, mouse, kSpifSendChange);
  port.SystemParametersInfoValue(kSpiSetMouseSpeed, 0, static_cast<std::uintptr_t>(2 * profile.Mouse_Speed),
                                 kSpifSendChange);
}

void RefreshScrollLine(SystemSettingsPort& port, const ProfileRecord& profile) {
  const std::uint32_t lines =
      profile.scroll_page == 1 ? kWheelPageScroll : static_cast<std::uint32_t>(profile.Scroll_Speed);
  port.SystemParametersInfoValue(kSpiSetWheelScrollLines, lines, 0, kSpifUpdateIniFile);
}

void RefreshMouseSettings(SystemSettingsPort& port, DebugPort& debug, RegistryKey& key, const ProfileRecord& profile) {
  RefreshDoubleClickSpeed(port, profile);
  debug.Output(u"RefreshDoubleClickSpeed\n");
  RefreshMouseMoveSpeed(port, key, profile);
  debug.Output(u"RefreshMouseMoveSpeed\n");
  RefreshScrollLine(port, profile);
  debug.Output(u"RefreshScrollLine\n");
}

}  // namespace qx27
