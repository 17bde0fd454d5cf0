#include <ssmsg/CSDevice_Containers.h>

namespace ssmsg {

bool CSDevice_TimeGroupZone::GetItems2Send(int timeGroupNo, int firstZoneNo, ItemList& out) const {
  const std::vector<Item>* zones = FindGroup(timeGroupNo);
  if (zones == nullptr) return false;
  const std::int64_t first = firstZoneNo;
  const std::int64_t last = first + kBlockSize - 1;
  for (const Item& zone : *zones) {
    if (zone.ZoneNo >= first && zone.ZoneNo <= last) out.push_back(&zone);
  }
  return true;
}

const std::vector<CSDevice_TimeGroupZone::Item>* CSDevice_TimeGroupZone::FindGroup(
    int timeGroupNo) const {
  if (timeGroupNo < 1 || timeGroupNo > static_cast<int>(groups_.size())) return nullptr;
  const auto& group = groups_[static_cast<std::size_t>(timeGroupNo - 1)];
  return group.has_value() ? &*group : nullptr;
}

void CSDevice_TimeGroupZone::SetGroup(int timeGroupNo, std::vector<Item> zones) {
  const auto at = static_cast<std::size_t>(timeGroupNo < 1 ? 0 : timeGroupNo - 1);
  if (at >= groups_.size()) groups_.resize(at + 1);
  groups_[at] = std::move(zones);
}

}  // namespace ssmsg
