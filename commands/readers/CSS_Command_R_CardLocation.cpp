#include "commands/readers/CSS_Command_R_CardLocation.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_R_CardLocation::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdCardLocation());
}

bool CSS_Command_R_CardLocation::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_RdCardLocationItem& r = record_;
  CSS_Params(parameters)
      .Number("Reader", number_)
      .Number("FacilityStart", r.FacilityStart)
      .Number("FacilityEnd", r.FacilityEnd)
      .Number("FacilityDigits", r.FacilityDigits)
      .Number("CardStart", r.CardStart)
      .Number("CardEnd", r.CardEnd)
      .Number("CardDigits", r.CardDigits)
      .Number("AltStart", r.AltStart)
      .Number("AltEnd", r.AltEnd);
  return true;
}

}  // namespace ssmsg
