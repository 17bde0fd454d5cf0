#include "commands/io/CSS_Command_O_Type.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_O_Type::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetOutputs(),
                     store.GetOutputType());
}

// The polarity is a setting of its own here, not a yes/no flag. The eight enable and control
// values are unsigned bytes; the controller expects the four ports first, then the four levels.
bool CSS_Command_O_Type::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Number(kOutputNumber.name, number_).Fields(kOutputTypeFields, record_);
  return true;
}

}  // namespace ssmsg
