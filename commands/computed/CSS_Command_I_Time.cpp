#include "commands/computed/CSS_Command_I_Time.h"

#include <cstddef>

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_I_Time::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  return SendRecords(interfaceId, node, out, store.GetResource().GetInputs(), store.GetInputTime());
}

bool CSS_Command_I_Time::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  const CSDevice_InputTimeItem& r = record_;
  CSS_Params(parameters)
      .Number(kInputNumber.name, number_)
      .Fields(kRecordFields<CSDevice_InputTimeItem>, r);
  // The level list is the last child of "Parameters", so its closing tag may be deferred; each
  // entry has children of its own and closes itself.
  CSS_XmlTag* levels = parameters->AddContainer(kLevelTGs.name, false);
  for (int level = 1; level <= CSDevice_InputTimeItem::kLevels; ++level) {
    CSS_Params(levels->AddContainer(kLevelTGs.item, true))
        .Enum(kLevel.name, kLevel.enumeration, level)
        .Number(kLevelGroup.name, r.LevelTG[static_cast<std::size_t>(level - 1)]);
  }
  return true;
}

}  // namespace ssmsg
