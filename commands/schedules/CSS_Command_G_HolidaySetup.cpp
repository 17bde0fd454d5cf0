#include "commands/schedules/CSS_Command_G_HolidaySetup.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_G_HolidaySetup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  // Holidays are bounded by the list itself, not by a controller capacity.
  const CSDevice_Holiday& holidays = gl_GetApplicationManagerStd()->GetHoliday();
  return SendRecords(interfaceId, node, out, holidays.GetRecordCount(), holidays);
}

bool CSS_Command_G_HolidaySetup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Number(kHolidayNumber.name, number_)
      .Fields(kRecordFields<CSDevice_HolidayItem>, record_);
  return true;
}

}  // namespace ssmsg
