#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "core/CSS_Command.h"

namespace ssmsg {

// "TimeGroupSetup": on which days each zone of one block of up to eight time zones is in force
// for one time group. The controller's time groups are walked in blocks of eight zone numbers
// (first zones 1, 9, 17, ...), one message per block that holds zones of the group.
class CSS_Command_G_TG_Setup final : public CSS_Command_G {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kTimeGroupSetupMessage;

  CSS_Command_G_TG_Setup() : CSS_Command_G(kTimeGroupSetupMessage) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override;
  // Refuses a block without zones or with more than eight.
  bool AddParameters(CSS_XmlTag* parameters) override;

  std::int32_t RecordNumber() const override { return groupNumber_; }

 private:
  std::int32_t groupNumber_ = 0;
  // The zones of the current block, borrowed from the store until the next fetch. The list is
  // reused so that walking the blocks does not allocate.
  CSDevice_TimeGroupZone::ItemList items_;
  // The zones of the current group that lie in a block that is sent, with their block numbers.
  std::vector<std::pair<int, const CSDevice_TimeGroupZoneItem*>> byBlock_;
};

}  // namespace ssmsg
