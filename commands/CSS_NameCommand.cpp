#include "commands/CSS_NameCommand.h"

namespace ssmsg {

bool NextNamePiece(std::string& rest, int& counter, std::string& piece) {
  const std::size_t from = counter == 0 ? 0 : static_cast<std::size_t>(counter) - 1;
  if (from < rest.size()) {
    piece.assign(rest, from, kNamePieceLength);
  } else {
    piece.clear();
  }
  // The first piece starts the count at the column just past it; every later one moves it on.
  constexpr int kStep = static_cast<int>(kNamePieceLength);
  counter = counter == 0 ? kStep + 1 : counter + kStep;
  return !piece.empty();
}

}  // namespace ssmsg
