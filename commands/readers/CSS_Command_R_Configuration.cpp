#include "commands/readers/CSS_Command_R_Configuration.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_R_Configuration::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdConfiguration());
}

bool CSS_Command_R_Configuration::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Number(kReaderNumber.name, number_)
      .Fields(kRdConfigurationFields, record_);
  return true;
}

}  // namespace ssmsg
