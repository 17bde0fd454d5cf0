#include "commands/io/CSS_Command_I_Link.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_I_Link::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetInputs(), store.GetInputLink());
}

bool CSS_Command_I_Link::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  // The tag names put the level before the direction; ports and levels are unsigned bytes.
  CSS_Params(parameters)
      .Number(kInputNumber.name, number_)
      .Fields(kRecordFields<CSDevice_InputLinkItem>, record_);
  return true;
}

}  // namespace ssmsg
