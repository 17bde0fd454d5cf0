#include "manager/CSS_Command_M_Start.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_M_Start::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Text("Type", main_ ? "Main" : "Ordinary")
      .Text("IP_Address", ipAddress_)
      .Number("IP_Port", ipPort_)
      .Flag("Settings", 1);
  return true;
}

}  // namespace ssmsg
