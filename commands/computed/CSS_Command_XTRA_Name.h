#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_NameCommand.h"

namespace ssmsg {

// "SetName": the name of the controller's XTRA unit, piece by piece. The unit has one name, so
// the message names no record.
class CSS_Command_XTRA_Name final : public CSS_NameCommand<CSS_Command_XTRA> {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kXtraNameMessage;

  CSS_Command_XTRA_Name() : CSS_NameCommand(kXtraNameMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
};

}  // namespace ssmsg
