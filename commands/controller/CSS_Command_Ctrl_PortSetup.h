#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "CommPortSetup": what one serial port drives and at which line setting; one message per port
// that the port container hands out, up to the controller's serial port count.
class CSS_Command_Ctrl_PortSetup final : public CSS_RecordCommand<CSS_Command_Ctrl, CSDevice_Port> {
 public:
  CSS_Command_Ctrl_PortSetup() : CSS_RecordCommand(kCommPortSetupMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
