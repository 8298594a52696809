// Where the Button report decode hands a bullet macro read from the mouse that
// differs from the stored one, so the macro file can keep a copy of its steps.
#pragma once

#include "settings/settings_record.h"

namespace qx27 {

class BulletMacroSink {
 public:
  virtual ~BulletMacroSink() = default;

  // Called during the decode, in button order, with the finished entry of
  // button index button_index (0..8); its bullet profile is Steps[0].StepCode - 2.
  virtual void StoreBulletMacro(const ButtonEntry& entry, int button_index) = 0;
};

}  // namespace qx27
