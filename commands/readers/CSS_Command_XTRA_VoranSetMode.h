#pragma once

#include <ssmsg/CSDevice_Records.h>

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "SetVORAN_Mode": the application number and mode of the controller's XTRA settings, read
// afresh from the store each time the message is made. One message; no record number.
class CSS_Command_XTRA_VoranSetMode final : public CSS_Command_XTRA {
 public:
  CSS_Command_XTRA_VoranSetMode() : CSS_Command_XTRA(kXtraModeMessage) {}

  // Makes the message and appends it when it was made; true whatever was appended.
  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;

 private:
  CSDevice_XTRA xtra_;
};

}  // namespace ssmsg
