#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "AccessAlarm": a reader's alarm setting for each of five access outcomes, then the five
// references; one message per reader that the access-alarm container hands out, up to the
// controller's reader count.
class CSS_Command_R_AccessAlarm final
    : public CSS_RecordCommand<CSS_Command_R, CSDevice_RdAccessAlarm> {
 public:
  CSS_Command_R_AccessAlarm() : CSS_RecordCommand(kAccessAlarmMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
