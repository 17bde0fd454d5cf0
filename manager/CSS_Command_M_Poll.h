#pragma once

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "Poll": tells an interface which nodes to start and which to stop polling.
class CSS_Command_M_Poll final : public CSS_Command_M {
 public:
  CSS_Command_M_Poll(CSS_NumberList start, CSS_NumberList stop)
      : CSS_Command_M(kInterfacePollMessage), start_(start), stop_(stop) {}

  bool AddParameters(CSS_XmlTag* parameters) override;

 private:
  CSS_NumberList start_;
  CSS_NumberList stop_;
};

}  // namespace ssmsg
