#include "manager/CSS_Command_M_Start.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_M_Start::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Text(kStartType.name, kStartType.choices[main_ ? 0 : 1])
      .Text(kIpAddress.name, ipAddress_)
      .Number(kIpPort.name, ipPort_)
      .Flag(kStartSettings.name, 1);
  return true;
}

}  // namespace ssmsg
