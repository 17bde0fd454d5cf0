#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_NameCommand.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "OutputName": the name of every output that the output-type container hands out, up to the
// controller's output count, in pieces of ten characters.
class CSS_Command_O_Name final
    : public CSS_NameCommand<CSS_RecordCommand<CSS_Command_O, CSDevice_OutputType>, kOutputNumber> {
 public:
  CSS_Command_O_Name() : CSS_NameCommand(kOutputNameMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
};

}  // namespace ssmsg
