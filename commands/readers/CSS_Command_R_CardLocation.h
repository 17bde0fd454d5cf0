#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "SetCardLocation": where a reader finds the facility code, the card number and the
// alternative number in a card's data; one message per reader that the card-location container
// hands out, up to the controller's reader count.
class CSS_Command_R_CardLocation final
    : public CSS_RecordCommand<CSS_Command_R, CSDevice_RdCardLocation> {
 public:
  CSS_Command_R_CardLocation() : CSS_RecordCommand(kCardLocationMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
