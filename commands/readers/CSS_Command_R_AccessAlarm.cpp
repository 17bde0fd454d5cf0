#include "commands/readers/CSS_Command_R_AccessAlarm.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_R_AccessAlarm::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdAccessAlarm());
}

bool CSS_Command_R_AccessAlarm::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_RdAccessAlarmItem& r = record_;
  CSS_Params(parameters)
      .Number("Reader", number_)
      .Enum("OK", CSToolEnumId::Alarm, r.GetAlarmOK())
      .Enum("Fail", CSToolEnumId::Alarm, r.GetAlarmFail())
      .Enum("Random", CSToolEnumId::Alarm, r.GetAlarmRandom())
      .Enum("Illegal", CSToolEnumId::Alarm, r.GetAlarmIllegal())
      .Enum("Duress", CSToolEnumId::Alarm, r.GetAlarmDuress())
      .Number("OKRef", r.GetAlarmOK_Ref())
      .Number("FailRef", r.GetAlarmFail_Ref())
      .Number("RandomRef", r.GetAlarmRandom_Ref())
      .Number("IllegalRef", r.GetAlarmIllegal_Ref())
      .Number("DuressRef", r.GetAlarmDuress_Ref());
  return true;
}

}  // namespace ssmsg
