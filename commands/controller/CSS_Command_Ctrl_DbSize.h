#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "SetDbSize": the controller's database and lock sizes, taken from the controller's
// configuration when the message is built.
class CSS_Command_Ctrl_DbSize final : public CSS_Command_Ctrl {
 public:
  CSS_Command_Ctrl_DbSize() : CSS_Command_Ctrl(kSetDbSizeMessage) {}

  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
