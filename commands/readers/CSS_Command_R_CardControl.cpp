#include "commands/readers/CSS_Command_R_CardControl.h"

#include "commands/CSS_Params.h"

namespace ssmsg {

bool CSS_Command_R_CardControl::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetReaders(),
                     store.GetRdCardControl());
}

bool CSS_Command_R_CardControl::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_RdCardControlItem& r = record_;
  CSS_Params(parameters)
      .Number("Reader", number_)
      .Number("APBTo", r.APBTo)
      .Number("APBFrom", r.APBFrom)
      .Number("APBOffline", r.APBOffline)
      .Number("APBReset", r.APBReset)
      .Number("ATBMinutes", r.ATBMinutes)
      .Number("ATBLink", r.ATBLink)
      .Enum("Capture", CSToolEnumId::ReaderCapture, r.Capture)
      .Number("Attempts", r.Attempts)
      .Number("DisableSeconds", r.DisableSeconds)
      .Number("DualBadge", r.DualBadge)
      .Number("BadgeTimeout", r.BadgeTimeout)
      .Number("BadgeOutG", r.BadgeOutG);
  return true;
}

}  // namespace ssmsg
