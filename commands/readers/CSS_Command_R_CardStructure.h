#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "SetCardStructure": the card format a reader accepts; one message per reader that the
// card-structure container hands out, up to the controller's reader count.
class CSS_Command_R_CardStructure final
    : public CSS_RecordCommand<CSS_Command_R, CSDevice_RdCardStructure> {
 public:
  CSS_Command_R_CardStructure() : CSS_RecordCommand(kCardStructureMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
