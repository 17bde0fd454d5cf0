#include "commands/computed/CSS_Command_G_TG_Setup.h"

#include <algorithm>

#include "commands/CSS_Params.h"
#include "host/CSDevice_Fields.h"

namespace ssmsg {

bool CSS_Command_G_TG_Setup::MakeCommands(int interfaceId, int node, CSS_StringList& out) {
  const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
  const CSDevice_TimeGroupZone& groups = store.GetTimeGroupZone();
  constexpr int kBlock = CSDevice_TimeGroupZone::kBlockSize;
  const int groupCount = std::max<int>(store.GetResource().GetTimeGroups(), 0);
  const std::int64_t lastZoneNo =
      CSDevice_TimeGroupZone::LastSentZone(store.GetResource().GetTimeZones());

  // Group by group, each block of eight zone numbers from 1 up to the time-zone count with the
  // group's zones in it, in the group's order. The zones are put in block order once per group,
  // so that the cost follows the zones, not blocks times zones; a block without zones sends
  // nothing, and is skipped.
  for (int group = 1; group <= groupCount; ++group) {
    const std::vector<CSDevice_TimeGroupZoneItem>* zones = groups.FindGroup(group);
    if (zones == nullptr) continue;
    byBlock_.clear();
    for (const CSDevice_TimeGroupZoneItem& zone : *zones) {
      if (zone.ZoneNo >= 1 && zone.ZoneNo <= lastZoneNo) {
        byBlock_.emplace_back((zone.ZoneNo - 1) / kBlock, &zone);
      }
    }
    const auto blockOf = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(byBlock_.begin(), byBlock_.end(), blockOf)) {
      std::stable_sort(byBlock_.begin(), byBlock_.end(), blockOf);
    }
    groupNumber_ = group;
    for (std::size_t i = 0; i < byBlock_.size();) {
      items_.clear();
      const int block = byBlock_[i].first;
      for (; i < byBlock_.size() && byBlock_[i].first == block; ++i)
        items_.push_back(byBlock_[i].second);
      AppendCommand(interfaceId, node, out);
    }
  }
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
