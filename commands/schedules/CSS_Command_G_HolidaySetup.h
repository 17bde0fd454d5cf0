#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "HolidaySetup": one holiday (month and day) with its position in the holiday list; one message
// per holiday that the holiday container hands out. A declined position leaves its number unused.
class CSS_Command_G_HolidaySetup final : public CSS_RecordCommand<CSS_Command_G, CSDevice_Holiday> {
 public:
  CSS_Command_G_HolidaySetup() : CSS_RecordCommand(kHolidaySetupMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
