#include "commands/io/CSS_Command_O_Type.h"

#include "commands/CSS_Params.h"

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
  const CSDevice_OutputTypeItem& r = record_;
  CSS_Params(parameters)
      .Number("Output", number_)
      .Number("DLan", r.DLan)
      .Number("DNode", r.DNode)
      .Number("DPort", r.DPort)
      .Enum("Type", CSToolEnumId::OutputType, r.Type)
      .Number("TypeRef", r.TypeRef)
      .Enum("Polarity", CSToolEnumId::OutputPolarity, r.Polarity)
      .Number("EnableIn", r.GetEnabledInputPort())
      .Number("EnableOut", r.GetEnabledOutputPort())
      .Number("ControlIn", r.GetControlInput())
      .Number("ControlOut", r.GetControlOutput())
      .Number("EnableIn_L", r.GetEnabledInputLevel())
      .Number("EnableOut_L", r.GetEnabledOutputLevel())
      .Number("ControlIn_L", r.GetControlInputLevel())
      .Number("ControlOut_L", r.GetControlOutputLevel());
  return true;
}

}  // namespace ssmsg
