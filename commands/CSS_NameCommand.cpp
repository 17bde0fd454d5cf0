#include "commands/CSS_NameCommand.h"

namespace ssmsg {

bool NextNamePiece(std::string& rest, int& counter, std::string& piece) {
  piece.assign(rest, 0, kNamePieceLength);
  if (rest.size() > kNamePieceLength) {
    rest.erase(0, kNamePieceLength);
  } else {
    rest.clear();
  }
  counter = NextNameColumn(counter);
  return !piece.empty();
}

}  // namespace ssmsg
