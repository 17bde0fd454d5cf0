#include "commands/io/CSS_Command_O_Time.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_O_Time::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetOutputs(),
                     store.GetOutputTime());
}

bool CSS_Command_O_Time::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_OutputTimeItem& r = record_;
  CSS_Params(parameters)
      .Number("Output", number_)
      .Enum("TTickResolution", CSToolEnumId::Tick, r.TTickResolution)
      .Number("TTimeout", r.TTimeout)
      .Enum("PTickResolution", CSToolEnumId::Tick, r.PTickResolution)
      .Number("Pulse", r.Pulse)
      .Number("TgControlled", r.TgControlled)
      .Number("TgEnabled", r.TgEnabled)
      .Number("TgReport", r.TgReport);
  return true;
}

}  // namespace ssmsg
