#include "commands/schedules/CSS_Command_G_TZ_Setup.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_G_TZ_Setup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetTimeZones(),
                     store.GetTimeZone());
}

bool CSS_Command_G_TZ_Setup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_TimeZoneItem& r = record_;
  CSS_Params(parameters)
      .Number("ZoneNo", r.ZoneNo)
      .Number("StartHour", r.StartHour)
      .Number("StartMinute", r.StartMinute)
      .Number("EndHour", r.EndHour)
      .Number("EndMinute", r.EndMinute);
  return true;
}

}  // namespace ssmsg
