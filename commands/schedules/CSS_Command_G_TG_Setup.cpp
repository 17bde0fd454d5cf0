#include "commands/schedules/CSS_Command_G_TG_Setup.h"

#include <algorithm>

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_G_TG_Setup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  const CSDevice_TimeGroupZone& groups = store.GetTimeGroupZone();
  constexpr int kBlock = CSDevice_TimeGroupZone::kBlockSize;
  const int groupCount = std::max<int>(store.GetResource().GetTimeGroups(), 0);
  const int zoneCount = std::max<int>(store.GetResource().GetTimeZones(), 0);
  const int blocksPerGroup = (zoneCount + kBlock - 1) / kBlock;

  // Blocks are numbered group by group: block b is block b % blocksPerGroup of group
  // b / blocksPerGroup + 1.
  SendEach(interfaceId, node, out, 0, groupCount * blocksPerGroup, [&](int block) {
    groupNumber_ = block / blocksPerGroup + 1;
    items_.clear();
    return groups.GetItems2Send(groupNumber_, block % blocksPerGroup * kBlock + 1, items_);
  });
  return true;
}

bool CSS_Command_G_TG_Setup::AddParameters(CSS_XmlTag* parameters) {
  if (parameters == nullptr) return false;
  if (items_.empty() || items_.size() > CSDevice_TimeGroupZone::kBlockSize) return false;
  CSS_Params(parameters).Number(kTimeGroupNumber.name, groupNumber_);
  // The zone list is the last element of the message, so its closing tag may wait for the
  // second pass; each zone closes its own.
  CSS_XmlTag* zones = parameters->AddContainer(kZones.name, false);
  for (const CSDevice_TimeGroupZoneItem* item : items_) {
    CSS_Params(zones->AddContainer(kZones.item, true))
        .Fields(kRecordFields<CSDevice_TimeGroupZoneItem>, *item);
  }
  return true;
}

}  // namespace ssmsg
