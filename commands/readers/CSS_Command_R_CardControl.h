#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "SetCardControl": what a reader does with the cards presented to it (anti-passback, ATB,
// capture, attempts, dual badge and badge output group); one message per reader that the
// card-control container hands out, up to the controller's reader count.
class CSS_Command_R_CardControl final
    : public CSS_RecordCommand<CSS_Command_R, CSDevice_RdCardControl> {
 public:
  CSS_Command_R_CardControl() : CSS_RecordCommand(kCardControlMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
