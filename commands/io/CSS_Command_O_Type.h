#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "OutputType": where one output is wired, what kind of output it is and which ports, at which
// levels, enable and control it; one message per output that the output-type container hands
// out, up to the controller's output count.
class CSS_Command_O_Type final : public CSS_RecordCommand<CSS_Command_O, CSDevice_OutputType> {
 public:
  CSS_Command_O_Type() : CSS_RecordCommand(kOutputTypeMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
