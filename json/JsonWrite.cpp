#include <ssmsg/Json.h>

#include <cstddef>

#include "json/Utf8.h"

namespace ssmsg {
namespace {

constexpr bool IsPlain(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    // Printable ASCII other than the quote and the backslash goes out as it is, a run at a time.
    std::size_t plain = i;
    while (plain < text.size() && IsPlain(static_cast<unsigned char>(text[plain])))
      ++plain;
    out.append(text.data() + i, plain - i);
    i = plain;
    if (i == text.size()) break;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = utf8::Decode(text, i).length;
      if (length > 0) {
        out.append(text.substr(i, length));
        i += length;
        continue;
      }
    }
    ++i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x80) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

bool IsUtf8(std::string_view text) {
  return utf8::IsValid(text);
}

}  // namespace ssmsg
