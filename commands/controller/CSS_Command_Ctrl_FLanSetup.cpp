#include "commands/controller/CSS_Command_Ctrl_FLanSetup.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_Ctrl_FLanSetup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetCommsFLAN(),
                     store.GetFLan_Setup());
}

bool CSS_Command_Ctrl_FLanSetup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Fields(kRecordFields<CSDevice_FLanSetupItem>, record_);
  return true;
}

}  // namespace ssmsg
