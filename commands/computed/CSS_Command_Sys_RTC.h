#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "SetRTC": sets the controller's clock to the local wall-clock time of this machine, read when
// the message is built. When the time cannot be read or is outside the years 100 to 9999, all
// six fields travel as -1.
class CSS_Command_Sys_RTC final : public CSS_Command_Sys {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kSetRTCMessage;

  CSS_Command_Sys_RTC() : CSS_Command_Sys(kSetRTCMessage) {}

  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
