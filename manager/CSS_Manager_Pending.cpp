// Tasks whose builder is not written yet: they append nothing and report false.

#include "manager/CSS_Manager.h"

namespace ssmsg {

#define SSMSG_PENDING_BUILDER(name) \
  bool CSS_Manager::MakeSendCommands_##name(int, int, CSS_StringList&) { return false; }

SSMSG_PENDING_BUILDER(I_Name)
SSMSG_PENDING_BUILDER(I_Time)
SSMSG_PENDING_BUILDER(I_Link)
SSMSG_PENDING_BUILDER(O_Type)
SSMSG_PENDING_BUILDER(O_Name)
SSMSG_PENDING_BUILDER(O_Time)
SSMSG_PENDING_BUILDER(R_Type)
SSMSG_PENDING_BUILDER(R_Name)
SSMSG_PENDING_BUILDER(R_CardControl)
SSMSG_PENDING_BUILDER(R_CardLocation)
SSMSG_PENDING_BUILDER(R_CardStructure)
SSMSG_PENDING_BUILDER(R_CheckSetup)
SSMSG_PENDING_BUILDER(R_AccessAlarm)
SSMSG_PENDING_BUILDER(XTRA_Name)
SSMSG_PENDING_BUILDER(XTRA_VoranSetMode)

}  // namespace ssmsg
