#include "commands/io/CSS_Command_O_Time.h"

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_O_Time::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetOutputs(),
                     store.GetOutputTime());
}

bool CSS_Command_O_Time::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  CSS_Params(parameters)
      .Number(kOutputNumber.name, number_)
      .Fields(kRecordFields<CSDevice_OutputTimeItem>, record_);
  return true;
}

}  // namespace ssmsg
