#include "commands/schedules/CSS_Command_G_TZ_Setup.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_G_TZ_Setup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetTimeZones(),
                     store.GetTimeZone());
}

bool CSS_Command_G_TZ_Setup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Fields(kRecordFields<CSDevice_TimeZoneItem>, record_);
  return true;
}

}  // namespace ssmsg
