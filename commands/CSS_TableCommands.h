#pragma once

// The shapes of the commands that compute nothing of their own: each kind of message is one row
// of the catalog (commands/CSS_MessageCatalog.h) filled from one record of the store, and its
// command class is one of these templates given that row, where the records are kept, the count
// that bounds them and the field table of what they send (see commands/CSS_Commands.h).

#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>

#include <ssmsg/CSApplicationManagerStd.h>
#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_NameCommand.h"
#include "commands/CSS_Params.h"
#include "commands/CSS_RecordCommand.h"
#include "core/CSS_Command.h"

namespace ssmsg {

namespace table {

// The group base of each MessageType, in the order of kGroups.
inline constexpr std::string_view kGroupTypes[] = {
    kInterfaceMessages, kControllerMessages, kSystemMessages, kGroupMessages,
    kInputMessages,     kOutputMessages,     kReaderMessages, kXtraMessages};
using Groups = std::tuple<CSS_Command_M, CSS_Command_Ctrl, CSS_Command_Sys, CSS_Command_G,
                          CSS_Command_I, CSS_Command_O, CSS_Command_R, CSS_Command_XTRA>;

constexpr std::size_t GroupIndex(std::string_view messageType) {
  std::size_t i = 0;
  while (i < std::size(kGroupTypes) && kGroupTypes[i] != messageType)
    ++i;
  return i;
}

// The part of the store whose type is `Part`; every part has a type of its own.
template <class Part>
const Part& StorePart(const CSApplicationManagerStd& store) {
#define SSMSG_STORE_PART(name, type)        \
  if constexpr (std::is_same_v<Part, type>) \
    return store.Get##name();               \
  else
  SSMSG_STORE_PARTS(SSMSG_STORE_PART)
#undef SSMSG_STORE_PART
  static_assert(!std::is_same_v<Part, Part>, "not a part of the store");
}

// How many records a loop walks: the capability count that `kCount` reads from the resource
// record, widened with its sign, or with no count (nullptr) every record of the container.
template <auto kCount, class Container>
int RecordCount(const CSApplicationManagerStd& store, const Container& records) {
  if constexpr (std::is_null_pointer_v<decltype(kCount)>) {
    return records.GetRecordCount();
  } else {
    return static_cast<int>((store.GetResource().*kCount)());
  }
}

}  // namespace table

// The group base (CSS_Command_I, CSS_Command_R, ...) of the messages of row `kLayout`.
template <const CSS_MessageLayout& kLayout>
using CSS_GroupOf =
    std::tuple_element_t<table::GroupIndex(kLayout.info.messageType), table::Groups>;

// One message per record of `Container`, over the count `kCount` (see table::RecordCount): the
// record's 1-based number in the element `kNumber` (kNoRecordNumber for records that carry a
// number of their own), then the fields of `kFields`. Always true: a declined record or a
// message that cannot be made skips that record only.
template <const CSS_MessageLayout& kLayout, class Container, auto kCount,
          const CSS_ElementLayout& kNumber, const auto& kFields>
class CSS_RecordMessage final : public CSS_RecordCommand<CSS_GroupOf<kLayout>, Container> {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kLayout;

  CSS_RecordMessage() : CSS_RecordCommand<CSS_GroupOf<kLayout>, Container>(kLayout) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override {
    const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
    const Container& records = table::StorePart<Container>(store);
    return this->SendRecords(interfaceId, node, out, table::RecordCount<kCount>(store, records),
                             records);
  }

  bool AddParameters(CSS_XmlTag* parameters) override {
    if (parameters == nullptr) return false;
    CSS_Params params(parameters);
    if constexpr (!kNumber.name.empty()) params.Number(kNumber.name, this->number_);
    params.Fields(kFields, this->record_);
    return true;
  }
};

// The name of every record of `Container` over the count `kCount`, piece by piece, each piece
// naming its record by number in `kNumber` (see CSS_NameCommand). Always true.
template <const CSS_MessageLayout& kLayout, class Container, auto kCount,
          const CSS_ElementLayout& kNumber>
class CSS_RecordNameMessage final
    : public CSS_NameCommand<CSS_RecordCommand<CSS_GroupOf<kLayout>, Container>, kNumber> {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kLayout;

  CSS_RecordNameMessage()
      : CSS_NameCommand<CSS_RecordCommand<CSS_GroupOf<kLayout>, Container>, kNumber>(kLayout) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override {
    const CSApplicationManagerStd& store = *gl_GetApplicationManagerStd();
    const Container& records = table::StorePart<Container>(store);
    return this->SendNames(interfaceId, node, out, table::RecordCount<kCount>(store, records),
                           records);
  }
};

// Whether a single message's command reports that it was made, or is true whatever happened.
enum class CSS_SingleResult : bool { Made, AlwaysTrue };

// One message from a record that a controller has one of: the fields of `kFields`, read from the
// store's `Part` when the message is built; no record number.
template <const CSS_MessageLayout& kLayout, class Part, const auto& kFields,
          CSS_SingleResult kResult = CSS_SingleResult::Made>
class CSS_SingleMessage final : public CSS_GroupOf<kLayout> {
 public:
  static constexpr const CSS_MessageLayout& kMessage = kLayout;

  CSS_SingleMessage() : CSS_GroupOf<kLayout>(kLayout) {}

  bool MakeCommands(int interfaceId, int node, CSS_StringList& out) override {
    const bool made = this->AppendCommand(interfaceId, node, out);
    return kResult == CSS_SingleResult::AlwaysTrue || made;
  }

  bool AddParameters(CSS_XmlTag* parameters) override {
    if (parameters == nullptr) return false;
    CSS_Params(parameters).Fields(kFields, table::StorePart<Part>(*gl_GetApplicationManagerStd()));
    return true;
  }
};

}  // namespace ssmsg
