#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "SetConfiguration": where one reader is wired and how it behaves (application, reader type,
// LED, LCD, completion, booth and power modes); one message per reader that the reader
// configuration container hands out, up to the controller's reader count. The record's name and
// random-check settings travel in other messages.
class CSS_Command_R_Configuration final
    : public CSS_RecordCommand<CSS_Command_R, CSDevice_RdConfiguration> {
 public:
  CSS_Command_R_Configuration() : CSS_RecordCommand(kReaderConfigurationMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
