// Writing the Working profile into the mouse: the Performance report with its
// retries, a pause, then the Button report.
#pragma once

#include "hid/hid_link.h"
#include "ports/clock_port.h"
#include "settings/settings_record.h"

namespace qx27 {

// Gives 1 when the mouse accepted both reports, 0 otherwise. On success the
// feature handle stays on the Button report's interface; every failure closes
// it.
int Upload(HidLink& link, ClockPort& clock, const ProfileRecord& working);

}  // namespace qx27
