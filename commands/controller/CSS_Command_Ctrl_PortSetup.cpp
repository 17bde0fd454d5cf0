#include "commands/controller/CSS_Command_Ctrl_PortSetup.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_Ctrl_PortSetup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetComms(), store.GetPort());
}

bool CSS_Command_Ctrl_PortSetup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Fields(kRecordFields<CSDevice_PortItem>, record_);
  return true;
}

}  // namespace ssmsg
