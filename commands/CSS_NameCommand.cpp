#include "commands/CSS_NameCommand.h"

namespace ssmsg {

bool NextNamePiece(std::string& rest, int& counter, std::string& piece) {
  if (rest.size() > kNamePieceLength) {
    piece.assign(rest, 0, kNamePieceLength);
    rest.erase(0, kNamePieceLength);
  } else {
    piece.assign(rest);
    rest.clear();
  }
  // The first piece starts the count at the column just past it; every later one moves it on.
  constexpr int kStep = static_cast<int>(kNamePieceLength);
  counter = counter == 0 ? kStep + 1 : counter + kStep;
  return !piece.empty();
}

}  // namespace ssmsg
