#include "commands/controller/CSS_Command_Ctrl_Expanders.h"

#include "commands/CSS_Params.h"
#include <ssmsg/CSApplicationManagerStd.h>

namespace ssmsg {

bool CSS_Command_Ctrl_Expanders::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_Config& c = gl_GetApplicationManagerStd()->GetConfig();
  CSS_Params(parameters).Number("In", c.In).Number("Out", c.Out);
  return true;
}

}  // namespace ssmsg
