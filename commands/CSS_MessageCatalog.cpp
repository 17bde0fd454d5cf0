#include "commands/CSS_MessageCatalog.h"

namespace ssmsg {

const CSS_MessageLayout* FindMessageLayout(std::string_view messageType, std::string_view action) {
  // The rows of one MessageType stand together; a handful of comparisons finds any of them.
  for (const CSS_MessageLayout* layout : kMessageCatalog) {
    if (layout->info.messageType == messageType && layout->info.action == action) return layout;
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
