#include "commands/readers/CSS_Command_R_CardStructure.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_R_CardStructure::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdCardStructure());
}

bool CSS_Command_R_CardStructure::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_RdCardStructureItem& r = record_;
  CSS_Params(parameters)
      .Number("Reader", number_)
      .Number("CardType", r.CardType)
      .Number("DeleteOffset", r.DeleteOffset)
      .Number("ClientCode", r.ClientCode)
      .Number("SiteCode", r.SiteCode)
      .Number("ExactBits", r.ExactBits)
      .Number("Duress", r.Duress)
      .Flag("ParityCheck", r.ParityCheck)
      .Flag("Frame", r.Frame);
  return true;
}

}  // namespace ssmsg
