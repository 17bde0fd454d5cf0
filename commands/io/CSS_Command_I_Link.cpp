#include "commands/io/CSS_Command_I_Link.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_I_Link::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetInputs(), store.GetInputLink());
}

bool CSS_Command_I_Link::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_InputLinkItem& r = record_;
  // The tag names put the level before the direction; ports and levels are unsigned bytes.
  CSS_Params(parameters)
      .Number("Input", number_)
      .Number("EnabledInputPort", r.GetEnabledInputPort())
      .Number("EnabledLevelInput", r.GetEnabledInputLevel())
      .Number("EnabledOutputPort", r.GetEnabledOutputPort())
      .Number("EnabledLevelOutput", r.GetEnabledOutputLevel())
      .Enum("AlarmDis", CSToolEnumId::Alarm, r.GetAlarmDis())
      .Enum("AlarmEna", CSToolEnumId::Alarm, r.GetAlarmEna())
      .Enum("AlarmNear", CSToolEnumId::Alarm, r.GetAlarmNear())
      .Enum("AlarmIn", CSToolEnumId::Alarm, r.GetAlarmIn())
      .Enum("AlarmSleep", CSToolEnumId::Alarm, r.GetAlarmSleep())
      .Number("AlarmDisRef", r.GetAlarmDisRef())
      .Number("AlarmEnaRef", r.GetAlarmEnaRef())
      .Number("AlarmNearRef", r.GetAlarmNearRef())
      .Number("AlarmInRef", r.GetAlarmInRef())
      .Number("AlarmSleepRef", r.GetAlarmSleepRef());
  return true;
}

}  // namespace ssmsg
