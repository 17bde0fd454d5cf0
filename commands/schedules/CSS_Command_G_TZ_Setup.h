#pragma once

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_RecordCommand.h"

namespace ssmsg {

// "TimeZoneSetup": one numbered daily period; one message per time zone that the time-zone
// container hands out, up to the controller's time-zone count.
class CSS_Command_G_TZ_Setup final : public CSS_RecordCommand<CSS_Command_G, CSDevice_TimeZone> {
 public:
  CSS_Command_G_TZ_Setup() : CSS_RecordCommand(kTimeZoneSetupMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
