#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "SetExpanders": the controller's input-side and output-side expander settings, taken from the
// controller's configuration when the message is built.
class CSS_Command_Ctrl_Expanders final : public CSS_Command_Ctrl {
 public:
  CSS_Command_Ctrl_Expanders() : CSS_Command_Ctrl(kSetExpandersMessage) {}

  bool AddParameters(CSS_XmlTag* parameters) override;
};

}  // namespace ssmsg
