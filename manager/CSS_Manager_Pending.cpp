// Tasks whose builder is not written yet: they append nothing and report false.

#include "manager/CSS_Manager.h"

namespace ssmsg {

#define SSMSG_PENDING_BUILDER(name) \
  bool CSS_Manager::MakeSendCommands_##name(int, int, CSS_StringList&) { return false; }

SSMSG_PENDING_BUILDER(Sys_RTC)
SSMSG_PENDING_BUILDER(G_Holiday)
SSMSG_PENDING_BUILDER(G_TG)
SSMSG_PENDING_BUILDER(G_TZ)
SSMSG_PENDING_BUILDER(Ctrl_Port)
SSMSG_PENDING_BUILDER(Ctrl_FLan)
SSMSG_PENDING_BUILDER(Ctrl_DbMode)
SSMSG_PENDING_BUILDER(Ctrl_DbSize)
SSMSG_PENDING_BUILDER(Ctrl_Expanders)

}  // namespace ssmsg
