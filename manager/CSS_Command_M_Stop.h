#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "Stop": closes an interface. The only message without a "Parameters" element.
class CSS_Command_M_Stop final : public CSS_Command_M {
 public:
  CSS_Command_M_Stop() : CSS_Command_M(kInterfaceStopMessage) {}
};

}  // namespace ssmsg
