#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "SetNodes": tells an interface which nodes to add (each with its timeout) and which to remove.
class CSS_Command_M_SetNodes final : public CSS_Command_M {
 public:
  CSS_Command_M_SetNodes(CSS_NumberList add, CSS_NumberList timeouts, CSS_NumberList remove)
      : CSS_Command_M(kInterfaceSetNodesMessage), add_(add), timeouts_(timeouts), remove_(remove) {}

  bool AddParameters(CSS_XmlTag* parameters) override;

 private:
  CSS_NumberList add_;
  CSS_NumberList timeouts_;
  CSS_NumberList remove_;
};

}  // namespace ssmsg
