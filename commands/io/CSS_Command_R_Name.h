#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_NameCommand.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "ReaderName": the name of every reader that the reader configuration container hands out, up to
// the controller's reader count, in pieces of ten characters.
class CSS_Command_R_Name final
    : public CSS_NameCommand<CSS_RecordCommand<CSS_Command_R, CSDevice_RdConfiguration>,
                             kReaderNumber> {
 public:
  CSS_Command_R_Name() : CSS_NameCommand(kReaderNameMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
};

}  // namespace ssmsg
