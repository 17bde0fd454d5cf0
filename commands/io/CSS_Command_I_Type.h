#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "InputType": where one input is wired and what kind of input it is; one message per input
// that the input-type container hands out, up to the controller's input count.
class CSS_Command_I_Type final : public CSS_RecordCommand<CSS_Command_I, CSDevice_InputType> {
 public:
  CSS_Command_I_Type() : CSS_RecordCommand(kInputTypeMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
