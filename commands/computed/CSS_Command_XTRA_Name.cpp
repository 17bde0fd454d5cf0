#include "commands/computed/CSS_Command_XTRA_Name.h"

namespace ssmsg {

bool CSS_Command_XTRA_Name::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  return SendName(interfaceId, node, out, gl_GetApplicationManagerStd()->GetConfig().Name);
}

}  // namespace ssmsg
