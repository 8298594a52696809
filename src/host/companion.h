// The programs around the agent: the companion UI it starts from the tray, the
// presence DLL it asks whether the mouse is attached, and the windows it tells
// when it ends.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "ports/ports.h"
#include "settings/settings_record.h"

namespace qx27 {

// The directory of the agent's own executable: its module file name cut at
// the last backslash. Gives false when the name has no backslash or did not
// fit its 260 units.
bool AgentFolder(ModulePort& modules, std::array<char16_t, kPathUnits>& folder);

// Starts "Mantle.exe" from the agent folder unless the companion UI's window
// exists; a running companion UI is left as it is.
void LaunchCompanionUI(const Ports& ports);

// Asks "Idwatch.dll" in the agent folder whether the mouse (second identity)
// is attached: non-zero when it is, 0 otherwise and whenever the DLL or its
// export cannot be used. The DLL is loaded for this call only.
std::int32_t ProbeDevicePresence(const Ports& ports);

// Tells the companion UI and the OSD window that the agent is ending.
void PostExitNotice(WindowPort& windows);

}  // namespace qx27
