// The macro file: a copy of each bullet macro read from the mouse that differs
// from the stored one, one section per bullet profile. The agent only ever
// writes it.
#pragma once

#include <string_view>

#include "ports/ini_port.h"
#include "protocol/bullet_macro_sink.h"
#include "settings/ini_file.h"

namespace qx27 {

class MacroFileWriter final : public BulletMacroSink {
 public:
  MacroFileWriter(IniPort& ini, std::u16string_view macro_file_path) : file_(ini, macro_file_path) {}

  // Writes "BulletNum" then "Macro" in section "BulletProfile<p>", p being
  // the first step's code less 2.
  void StoreBulletMacro(const ButtonEntry& entry, int button_index) override;

 private:
  CIniFile file_;
};

}  // namespace qx27
