#include "commands/readers/CSS_Command_R_CheckSetup.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_R_CheckSetup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdConfiguration());
}

bool CSS_Command_R_CheckSetup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_RdConfigurationItem& r = record_;
  CSS_Params(parameters)
      .Number("Reader", number_)
      .Enum("CheckType", CSToolEnumId::ReaderCheckType, r.CheckType)
      .Number("Percentage", r.Percentage);
  return true;
}

}  // namespace ssmsg
