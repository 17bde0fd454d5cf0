#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "SetCheckSetup": a reader's random-check type and percentage. They live in the reader's
// configuration record, so this walks the reader configuration container and covers exactly the
// readers that get a "SetConfiguration" message, with the same numbers.
class CSS_Command_R_CheckSetup final
    : public CSS_RecordCommand<CSS_Command_R, CSDevice_RdConfiguration> {
 public:
  CSS_Command_R_CheckSetup() : CSS_RecordCommand(kCheckSetupMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
