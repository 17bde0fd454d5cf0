#include "commands/CSS_MessageCatalog.h"

#include <span>

namespace ssmsg {

const CSS_MessageLayout* FindMessageLayout(std::string_view messageType, std::string_view action) {
  // The rows of one MessageType stand together and share its text: the MessageType is compared
  // once per group, the Action only within the group.
  const std::span<const CSS_MessageLayout* const> rows = kMessageCatalog;
  for (std::size_t first = 0; first < rows.size();) {
    const std::string_view type = rows[first]->info.messageType;
    std::size_t end = first + 1;
    while (end < rows.size() && rows[end]->info.messageType.data() == type.data())
      ++end;
    if (type == messageType) {
      for (std::size_t row = first; row < end; ++row) {
        if (rows[row]->info.action == action) return rows[row];
      }
      return nullptr;
    }
    first = end;
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
