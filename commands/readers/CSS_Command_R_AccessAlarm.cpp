#include "commands/readers/CSS_Command_R_AccessAlarm.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_R_AccessAlarm::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdAccessAlarm());
}

bool CSS_Command_R_AccessAlarm::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Number(kReaderNumber.name, number_)
      .Fields(kRecordFields<CSDevice_RdAccessAlarmItem>, record_);
  return true;
}

}  // namespace ssmsg
