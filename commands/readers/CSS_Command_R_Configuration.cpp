#include "commands/readers/CSS_Command_R_Configuration.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_R_Configuration::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdConfiguration());
}

bool CSS_Command_R_Configuration::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_RdConfigurationItem& r = record_;
  CSS_Params(parameters)
      .Number("Reader", number_)
      .Number("DLan", r.DLan)
      .Number("DNode", r.DNode)
      .Number("DPort", r.DPort)
      .Enum("App", CSToolEnumId::ReaderApp, r.App)
      .Enum("Type", CSToolEnumId::ReaderType, r.Type)
      .Flag("ClkPolarity", r.ClkPolarity)
      .Enum("LED", CSToolEnumId::ReaderLED, r.LED)
      .Number("LCD", r.LCD)
      .Number("CardLCD", r.CardLCD)
      .Enum("Complete", CSToolEnumId::ReaderCompleteMode, r.Complete)
      .Enum("BoothMode", CSToolEnumId::ReaderBoothMode, r.BoothMode)
      .Number("LinkRef", r.LinkRef)
      .Enum("Power", CSToolEnumId::ReaderPower, r.Power);
  return true;
}

}  // namespace ssmsg
