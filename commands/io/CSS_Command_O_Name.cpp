#include "commands/io/CSS_Command_O_Name.h"

namespace ssmsg {

bool CSS_Command_O_Name::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendNames(interfaceId, node, out, store.GetResource().GetOutputs(), store.GetOutputType());
}

}  // namespace ssmsg
