#include "commands/readers/CSS_Command_XTRA_VoranSetMode.h"

#include "commands/CSS_Params.h"
#include <ssmsg/CSApplicationManagerStd.h>

namespace ssmsg {

bool CSS_Command_XTRA_VoranSetMode::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSDevice_XTRA& xtra = gl_GetApplicationManagerStd()->GetXTRA();
  applicationNo_ = xtra.ApplicationNo;
  mode_ = xtra.Mode;
  AppendCommand(interfaceId, node, out);
  return true;
}

bool CSS_Command_XTRA_VoranSetMode::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Number("ApplicationNo", applicationNo_)
      .Enum("Mode", CSToolEnumId::XTRA_VORAN_Mode, mode_);
  return true;
}

}  // namespace ssmsg
