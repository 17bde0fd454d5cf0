#include "commands/CSS_MessageCatalog.h"

#include <iterator>
#include <vector>

namespace ssmsg {

namespace {

// Rows of one MessageType that stand together in the catalog.
struct Group {
  std::string_view messageType;
  std::size_t first;
  std::size_t end;
};

const std::vector<Group>& Groups() {
  static const std::vector<Group> groups = [] {
    std::vector<Group> found;
    for (std::size_t row = 0; row < std::size(kMessageCatalog); ++row) {
      const std::string_view type = kMessageCatalog[row]->info.messageType;
      if (found.empty() || found.back().messageType != type) found.push_back({type, row, row});
      found.back().end = row + 1;
    }
    return found;
  }();
  return groups;
}

}  // namespace

const CSS_MessageLayout* FindMessageLayout(std::string_view messageType, std::string_view action) {
  // The MessageType is compared once per group, the Action only within its group.
  for (const Group& group : Groups()) {
    if (group.messageType != messageType) continue;
    for (std::size_t row = group.first; row < group.end; ++row) {
      if (kMessageCatalog[row]->info.action == action) return kMessageCatalog[row];
    }
  }
  return nullptr;
}

bool IsMessageType(std::string_view messageType) {
  for (const CSS_MessageLayout* layout : kMessageCatalog) {
    if (layout->info.messageType == messageType) return true;
  }
  return false;
}

const CSS_MessageKindInfo& MessageKindInfo(CSS_MessageKind kind) {
  return MessageLayoutOf(kind).info;
}

std::optional<CSS_MessageKind> FindMessageKind(std::string_view messageType,
                                               std::string_view action) {
  const CSS_MessageLayout* layout = FindMessageLayout(messageType, action);
  if (layout == nullptr) return std::nullopt;
  return layout->info.kind;
}

}  // namespace ssmsg
