#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "OutputTime": an output's timeout and pulse with their tick units and its Controlled, Enabled
// and Report time groups; one message per output that the output-timing container hands out, up
// to the controller's output count.
class CSS_Command_O_Time final : public CSS_RecordCommand<CSS_Command_O, CSDevice_OutputTime> {
 public:
  CSS_Command_O_Time() : CSS_RecordCommand(kOutputTimeMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
