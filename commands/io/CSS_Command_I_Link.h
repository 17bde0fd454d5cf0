#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "InputLink": the input and output port (each with its level) that enable an input, then the
// alarm setting and the reference of each of its five conditions; one message per input that the
// input-link container hands out, up to the controller's input count.
class CSS_Command_I_Link final : public CSS_RecordCommand<CSS_Command_I, CSDevice_InputLink> {
 public:
  CSS_Command_I_Link() : CSS_RecordCommand(kInputLinkMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
