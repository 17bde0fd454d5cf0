#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "SetDbMode": the controller's database mode and its seven feature switches, taken from the
// controller's configuration when the message is built.
class CSS_Command_Ctrl_DbMode final : public CSS_Command_Ctrl {
 public:
  CSS_Command_Ctrl_DbMode() : CSS_Command_Ctrl(kSetDbModeMessage) {}

  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
