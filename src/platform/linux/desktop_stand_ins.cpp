#include "platform/linux/desktop_stand_ins.h"

#include <algorithm>

#include "common/text.h"

namespace qx27::linux_host {
namespace {

// Registry paths compare without regard to ASCII case, as Windows' do.
std::u16string Lower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

}  // namespace

// ---- RecordingSystemSettings ----

RecordingSystemSettings::KeyId RecordingSystemSettings::Id(RegistryRoot root, std::u16string_view sub_key) {
  return {static_cast<std::uint32_t>(root), Lower(sub_key)};
}

RegistryHandle RecordingSystemSettings::OpenKey(RegistryRoot root, std::u16string_view sub_key, std::uint32_t) {
  std::lock_guard lock(mutex_);
  const KeyId id = Id(root, sub_key);
  if (keys_.count(id) == 0) return 0;
  const RegistryHandle handle = next_;
  next_ += 4;
  open_[handle] = id;
  return handle;
}

RegistryHandle RecordingSystemSettings::CreateKey(RegistryRoot root, std::u16string_view sub_key) {
  std::lock_guard lock(mutex_);
  const KeyId id = Id(root, sub_key);
  keys_[id];
  const RegistryHandle handle = next_;
  next_ += 4;
  open_[handle] = id;
  return handle;
}

bool RecordingSystemSettings::SetStringValue(RegistryHandle key, std::u16string_view name,
                                             std::span<const char16_t> data) {
  std::lock_guard lock(mutex_);
  const auto it = open_.find(key);
  if (it == open_.end()) return false;
  keys_[it->second][Lower(name)].assign(data.begin(), data.end());
  return true;
}

void RecordingSystemSettings::CloseKey(RegistryHandle key) {
  std::lock_guard lock(mutex_);
  if (open_.erase(key) == 0) ++bad_closes_;
}

bool RecordingSystemSettings::SetDoubleClickTime(std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  double_click_times_.push_back(milliseconds);
  return true;
}

bool RecordingSystemSettings::SystemParametersInfoArray(std::uint32_t action, std::uint32_t ui_param,
                                                        std::span<std::int32_t, 3> values, std::uint32_t update_flags) {
  std::lock_guard lock(mutex_);
  spi_calls_.push_back({action, ui_param, {values.begin(), values.end()}, 0, update_flags});
  return true;
}

bool RecordingSystemSettings::SystemParametersInfoValue(std::uint32_t action, std::uint32_t ui_param,
                                                        std::uintptr_t pv_param, std::uint32_t update_flags) {
  std::lock_guard lock(mutex_);
  spi_calls_.push_back({action, ui_param, {}, pv_param, update_flags});
  return true;
}

void RecordingSystemSettings::AddKey(RegistryRoot root, std::u16string_view sub_key) {
  std::lock_guard lock(mutex_);
  keys_[Id(root, sub_key)];
}

bool RecordingSystemSettings::KeyExists(RegistryRoot root, std::u16string_view sub_key) const {
  std::lock_guard lock(mutex_);
  return keys_.count(Id(root, sub_key)) != 0;
}

std::optional<std::u16string> RecordingSystemSettings::Value(RegistryRoot root, std::u16string_view sub_key,
                                                             std::u16string_view name) const {
  const std::vector<char16_t> raw = RawValue(root, sub_key, name);
  if (raw.empty()) return std::nullopt;
  return std::u16string(FieldText(raw));
}

std::vector<char16_t> RecordingSystemSettings::RawValue(RegistryRoot root, std::u16string_view sub_key,
                                                        std::u16string_view name) const {
  std::lock_guard lock(mutex_);
  const auto key = keys_.find(Id(root, sub_key));
  if (key == keys_.end()) return {};
  const auto value = key->second.find(Lower(name));
  return value == key->second.end() ? std::vector<char16_t>{} : value->second;
}

std::vector<RecordingSystemSettings::SpiCall> RecordingSystemSettings::SpiCalls() const {
  std::lock_guard lock(mutex_);
  return spi_calls_;
}

std::vector<std::uint32_t> RecordingSystemSettings::DoubleClickTimes() const {
  std::lock_guard lock(mutex_);
  return double_click_times_;
}

int RecordingSystemSettings::open_keys() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(open_.size());
}

int RecordingSystemSettings::bad_closes() const {
  std::lock_guard lock(mutex_);
  return bad_closes_;
}

// ---- RecordingShell ----

bool RecordingShell::GetAppDataFolder(std::span<char16_t, 260> folder) {
  if (app_data_.empty() || app_data_.size() >= folder.size()) return false;
  CopyToField(folder, app_data_);
  return true;
}

IconHandle RecordingShell::LoadAgentIcon(int resource_id) { return 0x5000 + static_cast<IconHandle>(resource_id); }

bool RecordingShell::AddNotifyIcon(const TrayIconData& data) {
  tray_calls_.push_back({true, data});
  return true;
}

bool RecordingShell::DeleteNotifyIcon(const TrayIconData& data) {
  tray_calls_.push_back({false, data});
  return true;
}

void RecordingShell::ShellOpen(std::u16string_view path, int show_command) {
  launches_.push_back({std::u16string(path), show_command});
}

void RecordingShell::ForegroundLastActivePopup(WindowHandle window) { foreground_.push_back(window); }

MenuHandle RecordingShell::CreatePopupMenu() {
  const MenuHandle menu = next_menu_;
  next_menu_ += 4;
  menus_[menu];
  return menu;
}

bool RecordingShell::AppendMenuString(MenuHandle menu, std::uint32_t id, std::u16string_view text) {
  const auto it = menus_.find(menu);
  if (it == menus_.end()) return false;
  it->second.push_back({id, std::u16string(text)});
  return true;
}

CursorPosition RecordingShell::GetCursorPos() { return cursor_; }

void RecordingShell::TrackPopupMenu(MenuHandle menu, std::uint32_t flags, int x, int y, WindowHandle owner) {
  const auto it = menus_.find(menu);
  MenuShown shown{it == menus_.end() ? std::vector<MenuItem>{} : it->second, flags, x, y, owner};
  menus_shown_.push_back(shown);
  if (choose_) choose_(shown);
}

void RecordingShell::DestroyMenu(MenuHandle menu) { menus_.erase(menu); }

// ---- FakeModules ----

std::size_t FakeModules::GetOwnFileName(std::span<char16_t, 260> buffer) {
  // Like GetModuleFileNameW, a name that does not fit is cut, terminated, and
  // given the buffer's size as its length.
  return CopyToField(buffer, own_file_name_) ? FieldLength(buffer) : buffer.size();
}

ModuleHandle FakeModules::LoadDll(std::u16string_view path) {
  load_attempts_.emplace_back(path);
  if (libraries_.count(std::u16string(path)) == 0) return 0;
  const ModuleHandle module = next_;
  next_ += 0x10000;
  loaded_[module] = std::u16string(path);
  return module;
}

bool FakeModules::CallExport(ModuleHandle module, const char* export_name, std::int32_t first, std::int32_t second,
                             std::int32_t& result) {
  const auto it = loaded_.find(module);
  if (it == loaded_.end()) return false;
  const Library& library = libraries_.at(it->second);
  if (library.export_name.empty() || library.export_name != export_name) return false;
  result = library.function(first, second);
  return true;
}

void FakeModules::FreeDll(ModuleHandle module) { loaded_.erase(module); }

void FakeModules::AddLibrary(std::u16string path, std::string export_name, Export function) {
  libraries_[std::move(path)] = {std::move(export_name), std::move(function)};
}

void FakeModules::RemoveLibrary(std::u16string_view path) { libraries_.erase(std::u16string(path)); }

}  // namespace qx27::linux_host
