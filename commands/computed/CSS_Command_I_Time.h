#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "InputTime": an input's debounce and timeout with their tick units, then the time group of
// each of its five levels as a nested "LevelTGs" list; one message per input that the
// input-timing container hands out, up to the controller's input count.
class CSS_Command_I_Time final : public CSS_RecordCommand<CSS_Command_I, CSDevice_InputTime> {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kInputTimeMessage;

  CSS_Command_I_Time() : CSS_RecordCommand(kInputTimeMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
