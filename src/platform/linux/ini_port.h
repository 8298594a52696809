// The stand-in of the Windows private-profile service in the native tests and
// fuzzers is the product's own INI service on real files (ini/ini_file_port.h),
// which the Linux agent ships: what it reproduces and where it departs from
// Windows is told there.
#pragma once

#include "platform/linux/ini/ini_file_port.h"

namespace qx27::linux_host {

using StandInIniPort = IniFilePort;

}  // namespace qx27::linux_host
