// A settings record as a user who has set up all six profiles has it: every
// text field in use, bound programs on every slot and recorded macros on some
// buttons. Portable, so that the native benchmarks, the Windows timing program
// and the fuzz seeds all measure and start from the same file.
#pragma once

#include <cstdint>
#include <string>

#include "common/text.h"
#include "settings/settings_record.h"

namespace qx27::bench {

// Fills `record`, which should hold the validated defaults (a first start's
// record), in place.
inline void FillFullSettings(SettingsRecord& record) {
  record.Totle = kProfileSlots;
  record.Current = 2;
  record.Active = 2;
  CopyToField(record.BGFilesPath, u"C:\\Users\\Player\\AppData\\Roaming\\QX27\\Backgrounds\\carbon.png");
  for (int slot = 0; slot < kProfileSlots; ++slot) {
    record.ProfileNo[slot] = slot;
    ProfileRecord& p = record.Profiles[slot];
    const std::u16string n = DecimalText(slot + 1);
    CopyToField(p.Profil_Name, u"Tournament setup " + n);
    CopyToField(p.SYNCFilesPath, u"C:\\Users\\Player\\Documents\\QX27\\Sync\\profile" + n + u".qxs");
    p.GroupID = slot;
    p.DPI_Cur = slot % kDpiStages;
    p.light_type = slot;
    p.POLLRATE_VALUE = 3;
    for (int app = 0; app < kBoundApps; ++app) {
      const std::u16string a = DecimalText(app + 1);
      CopyToField(p.ExePath[app],
                  u"C:\\Program Files (x86)\\Games\\Title " + n + a + u"\\bin\\win64\\game" + a + u".exe");
      CopyToField(p.ExeName[app], u"game" + a + u".exe");
    }
    // Buttons 4 and 5 carry macros of key presses, as the companion UI records them.
    for (int button = 3; button <= 4; ++button) {
      ButtonEntry& entry = p.ButtonAssigned[button];
      entry.FuncCode = 0xA6;
      const int steps = 20 + 10 * slot + button;
      entry.StepCount = static_cast<std::uint8_t>(steps);
      for (int s = 0; s < steps; ++s) {
        entry.Steps[s].StepCode = static_cast<std::uint8_t>(0x14 + s % 4);
        entry.Steps[s].StepValue = static_cast<std::uint16_t>(1 + s);
      }
      entry.MacroID = 100 * slot + button;
    }
  }
}

}  // namespace qx27::bench
