#include "commands/controller/CSS_Command_Ctrl_DbMode.h"

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_Ctrl_DbMode::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Fields(kDbModeFields, gl_GetApplicationManagerStd()->GetConfig());
  return true;
}

}  // namespace ssmsg
