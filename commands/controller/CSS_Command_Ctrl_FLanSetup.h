#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "FLAN_MasterSetup": one node of the controller's field-LAN master table; one message per node
// that the field-LAN container hands out, up to the controller's field-LAN capacity.
class CSS_Command_Ctrl_FLanSetup final
    : public CSS_RecordCommand<CSS_Command_Ctrl, CSDevice_FLanSetup> {
 public:
  CSS_Command_Ctrl_FLanSetup() : CSS_RecordCommand(kFLanSetupMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
