#pragma once

#include <string>
#include <string_view>

#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "Start": opens an interface as the main or an ordinary connection to an address and port.
class CSS_Command_M_Start final : public CSS_Command_M {
 public:
  CSS_Command_M_Start(bool main, std::string_view ipAddress, int ipPort)
      : CSS_Command_M(kInterfaceStartMessage),
        main_(main),
        ipAddress_(ipAddress),
        ipPort_(ipPort) {}

  bool AddParameters(CSS_XmlTag* parameters) override;

 private:
  bool main_;
  std::string ipAddress_;
  int ipPort_;
};

}  // namespace ssmsg
