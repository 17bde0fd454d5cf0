#include "commands/readers/CSS_Command_XTRA_VoranSetMode.h"

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_XTRA_VoranSetMode::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  xtra_ = gl_GetApplicationManagerStd()->GetXTRA();
  AppendCommand(interfaceId, node, out);
  return true;
}

bool CSS_Command_XTRA_VoranSetMode::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Fields(kRecordFields<CSDevice_XTRA>, xtra_);
  return true;
}

}  // namespace ssmsg
