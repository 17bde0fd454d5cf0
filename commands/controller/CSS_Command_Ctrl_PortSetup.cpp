#include "commands/controller/CSS_Command_Ctrl_PortSetup.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_Ctrl_PortSetup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetComms(), store.GetPort());
}

bool CSS_Command_Ctrl_PortSetup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_PortItem& r = record_;
  CSS_Params(parameters)
      .Number("SerialPort", r.SerialPort)
      .Enum("Type", CSToolEnumId::DCP_PortType, r.Type)
      .Number("SubType", r.SubType)
      .Number("TypeRef", r.TypeRef)
      .Enum("BaudRate", CSToolEnumId::DCP_BaudRate, r.BaudRate)
      .Enum("Bits", CSToolEnumId::DCP_PortBits, r.Bits)
      .Enum("Parity", CSToolEnumId::DCP_PortParity, r.Parity)
      .Enum("PeripheralType", CSToolEnumId::DCP_PeripheralType, r.PeripheralType)
      .Number("AdditionalEvent", r.AdditionalEvent);
  return true;
}

}  // namespace ssmsg
