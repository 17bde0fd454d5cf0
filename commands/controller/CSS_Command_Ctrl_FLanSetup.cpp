#include "commands/controller/CSS_Command_Ctrl_FLanSetup.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_Ctrl_FLanSetup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetCommsFLAN(),
                     store.GetFLan_Setup());
}

bool CSS_Command_Ctrl_FLanSetup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Number("FLAN_Node", record_.FLAN_Node)
      .Enum("Type", CSToolEnumId::DCP_FLanType, record_.Type);
  return true;
}

}  // namespace ssmsg
