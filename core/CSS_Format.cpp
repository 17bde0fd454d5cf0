#include "core/CSS_Format.h"

#include <bit>

namespace ssmsg {

void JoinNumbers(std::string& text, CSS_NumberList list) {
  for (const std::uint32_t number : list) {
    if (!text.empty()) text.push_back(',');
    AppendDecimal(text, std::bit_cast<std::int32_t>(number));
  }
}

}  // namespace ssmsg
