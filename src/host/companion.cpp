#include "host/companion.h"

#include "common/text.h"
#include "interfaces/companion_ui.h"
#include "interfaces/mouse_identity.h"
#include "ports/port_handle.h"

namespace qx27 {
namespace {

constexpr char16_t kPresenceDll[] = u"\\Idwatch.dll";
constexpr char16_t kCompanionExecutable[] = u"\\Mantle.exe";
constexpr char kPresenceExport[] = "IdwatchProbe";
constexpr char16_t kOsdWindowTitle[] = u"OSDMain";
constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT

// "%s\Name" in a 260-unit buffer; false when the folder is unknown or the
// path would not fit.
bool PathInAgentFolder(ModulePort& modules, std::u16string_view name, std::array<char16_t, kPathUnits>& path) {
  std::array<char16_t, kPathUnits> folder{};
  if (!AgentFolder(modules, folder)) return false;
  return JoinToField(path, FieldText(folder), name);
}

}  // namespace

bool AgentFolder(ModulePort& modules, std::array<char16_t, kPathUnits>& folder) {
  std::array<char16_t, kPathUnits> module{};
  const std::size_t length = modules.GetOwnFileName(module);
  folder.fill(u'\0');
  // The last backslash of a cut name can name a parent folder, from which the
  // presence DLL would then be loaded: a cut name gives no folder.
  if (length == 0 || length >= module.size()) return false;
  const std::u16string_view name = FieldText(module);
  const std::size_t slash = name.rfind(u'\\');
  if (slash == std::u16string_view::npos) return false;
  return CopyToField(folder, name.substr(0, slash));
}

void LaunchCompanionUI(const Ports& ports) {
  if (ports.windows.FindWindowByTitle(companion::kWindowTitle) != 0) return;
  std::array<char16_t, kPathUnits> path{};
  if (!PathInAgentFolder(ports.modules, kCompanionExecutable, path)) return;
  ports.shell.ShellOpen(FieldText(path), kShowDefault);
}

std::int32_t ProbeDevicePresence(const Ports& ports) {
  std::array<char16_t, kPathUnits> path{};
  if (!PathInAgentFolder(ports.modules, kPresenceDll, path)) return 0;
  const UniqueModule dll(ports.modules, ports.modules.LoadDll(FieldText(path)));
  if (!dll) return 0;
  std::int32_t result = 0;
  if (!ports.modules.CallExport(dll.get(), kPresenceExport, mouse::kSecondProductId, mouse::kSecondVendorId, result)) {
    result = 0;
  }
  return result;
}

void PostExitNotice(WindowPort& windows) {
  if (const WindowHandle companion_window = windows.FindWindowByTitle(companion::kWindowTitle)) {
    windows.Post(companion_window, msg::kCommand, companion::kExitNoticeCommand, 0);
  }
  if (const WindowHandle osd = windows.FindWindowByTitle(kOsdWindowTitle)) {
    windows.Post(osd, msg::kDestroy, 0, 0);
    windows.Post(osd, msg::kClose, 0, 0);
  }
}

}  // namespace qx27
