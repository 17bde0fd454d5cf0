#include "commands/io/CSS_Command_I_Type.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_I_Type::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetInputs(), store.GetInputType());
}

bool CSS_Command_I_Type::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_InputTypeItem& r = record_;
  CSS_Params(parameters)
      .Number("Input", number_)
      .Number("DLan", r.DLan)
      .Number("DNode", r.DNode)
      .Number("DPort", r.DPort)
      .Enum("Type", CSToolEnumId::InputType, r.Type)
      .Number("TypeRef", r.TypeRef)
      .Flag("EOL", r.EOL)
      .Flag("Polarity", r.Polarity)
      .Number("CountDelay", r.CountDelay)
      .Number("CountValue", r.CountValue);
  return true;
}

}  // namespace ssmsg
