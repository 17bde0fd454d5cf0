#include "commands/io/CSS_Command_I_Type.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_I_Type::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetInputs(), store.GetInputType());
}

bool CSS_Command_I_Type::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters).Number(kInputNumber.name, number_).Fields(kInputTypeFields, record_);
  return true;
}

}  // namespace ssmsg
