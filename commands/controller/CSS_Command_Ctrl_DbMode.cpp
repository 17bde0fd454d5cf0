#include "commands/controller/CSS_Command_Ctrl_DbMode.h"

#include "commands/CSS_Params.h"
#include <ssmsg/CSApplicationManagerStd.h>

namespace ssmsg {

bool CSS_Command_Ctrl_DbMode::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_Config& c = gl_GetApplicationManagerStd()->GetConfig();
  CSS_Params(parameters)
      .Enum("DbMode", CSToolEnumId::ReaderDbMode, c.DbMode)
      .Flag("TGEnabled", c.TGEnabled)
      .Flag("PINEnabled", c.PINEnabled)
      .Flag("RandomEnabled", c.RandomEnabled)
      .Flag("OutGroupEnabled", c.OutGroupEnabled)
      .Flag("VendEnabled", c.VendEnabled)
      .Flag("ExpireEnabled", c.ExpireEnabled)
      .Flag("PropertyEnabled", c.PropertyEnabled);
  return true;
}

}  // namespace ssmsg
