#include "protocol/command_report.h"

#include "interfaces/mouse_identity.h"

namespace qx27 {

int SendCommandReport(HidLink& link) {
  link.CloseFeatureHandle();
  if (link.OpenInterface(mouse::kCommandReportLength) == 0) return 0;
  return link.SetFeature(kCommandReport);
}

}  // namespace qx27
