#include "commands/controller/CSS_Command_Ctrl_DbSize.h"

#include "commands/CSS_Params.h"
#include <ssmsg/CSApplicationManagerStd.h>

namespace ssmsg {

bool CSS_Command_Ctrl_DbSize::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_Config& c = gl_GetApplicationManagerStd()->GetConfig();
  // The controller reads the lock size as a signed number: 2^31 and above travel negative.
  CSS_Params(parameters)
      .Number("DbSize", c.DbSize)
      .Number("LockSize", static_cast<std::int32_t>(c.LockSize));
  return true;
}

}  // namespace ssmsg
