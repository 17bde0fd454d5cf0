#pragma once

// Percent-encoding as URIs use it (RFC 3986): "%41" for "A".

#include <optional>
#include <string>
#include <string_view>

namespace ssmsg {

// `text` with each %-escape decoded (and, with `plusIsSpace`, each '+' a space, as forms send
// it); nothing for a '%' without two hexadecimal digits after it.
inline std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hex(text[i + 1]);
      const int low = hex(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace ssmsg
