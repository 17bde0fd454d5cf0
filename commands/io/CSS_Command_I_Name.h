#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_NameCommand.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "InputName": the name of every input that the input-type container hands out, up to the
// controller's input count, in pieces of ten characters.
class CSS_Command_I_Name final
    : public CSS_NameCommand<CSS_RecordCommand<CSS_Command_I, CSDevice_InputType>, kInputNumber> {
 public:
  CSS_Command_I_Name() : CSS_NameCommand(kInputNameMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
};

}  // namespace ssmsg
