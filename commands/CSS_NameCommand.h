#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/CSS_MessageCatalog.h"
#include "commands/CSS_Params.h"
#include "core/CSS_Command.h"
#include "core/CSS_Format.h"

namespace ssmsg {

// The controller takes a name in pieces of at most this many characters (bytes).
inline constexpr std::size_t kNamePieceLength = 10;

// The column counter of a name's pieces: 0 before the first cut, 11 after it, and 10 more after
// every further cut, so that after k cuts it holds 10k+1, the 1-based position at which the next
// piece begins.
constexpr int NextNameColumn(int counter) {
  constexpr int kStep = static_cast<int>(kNamePieceLength);
  return counter == 0 ? kStep + 1 : counter + kStep;
}

// Cuts the next piece off the front of the name `rest`: `piece` gets its first ten characters
// (all of it when it is shorter) and `rest` keeps what follows them; `counter` advances as
// NextNameColumn says. Returns whether a piece was cut, false once `rest` was empty. The name
// commands walk a name with a cursor of their own instead, so that a long name is not copied
// again for every piece.
bool NextNamePiece(std::string& rest, int& counter, std::string& piece);

// A command that sends a name as one message per piece of the name:
//
//   <Input>n</Input><Column>c</Column><Name>piece</Name>
//
// where the column c is 0 for the first piece and, for every later piece, its 1-based position in
// the name. Pieces are sent as cut, spaces included; only the name as a whole is trimmed.
//
// `Base` is either a record command, for names kept in the records of inputs, outputs or readers
// (the message then names the record by its 1-based number in the element `kNumber`), or a plain
// group base without `kNumber`, for a name the controller has only one of.
template <class Base, const CSS_ElementLayout& kNumber = kNoRecordNumber>
class CSS_NameCommand : public Base {
 public:
  bool AddParameters(CSS_XmlTag* parameters) override {
    if (parameters == nullptr) return false;
    CSS_Params params(parameters);
    if constexpr (!kNumber.name.empty()) params.Number(kNumber.name, this->number_);
    params.Number(kNameColumn.name, column_).Text(kNamePiece.name, piece_);
    return true;
  }

 protected:
  explicit CSS_NameCommand(const CSS_MessageLayout& layout) : Base(layout) {}

  // Sends the name of every record that `records` hands out over `count` indexes, record by
  // record. Always true: a declined record, a blank name or a message that cannot be made only
  // leaves those messages out.
  template <class Container>
  bool SendNames(int interfaceId, int node, CSS_StringList& out, int count,
                 const Container& records) {
    this->ForEachRecord(count, records,
                        [&] { SendName(interfaceId, node, out, this->record_.Name); });
    return true;
  }

  // Sends `name`, trimmed of white space at both ends, piece by piece; a blank name sends
  // nothing. `name` stays where it is while it is sent. Always true.
  bool SendName(int interfaceId, int node, CSS_StringList& out, std::string_view name) {
    const std::string_view trimmed = TrimWhiteSpace(name);
    column_ = 0;
    int counter = 0;
    for (std::size_t at = 0; at < trimmed.size(); at += kNamePieceLength) {
      piece_ = trimmed.substr(at, kNamePieceLength);
      this->AppendCommand(interfaceId, node, out);
      counter = NextNameColumn(counter);
      column_ = counter;
    }
    return true;
  }

 private:
  std::int32_t column_ = 0;
  std::string_view piece_;  // the piece being sent, within the name
};

}  // namespace ssmsg
