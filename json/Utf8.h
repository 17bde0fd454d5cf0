#pragma once

// UTF-8 as every reader and writer of text in the library takes it: the well-formed sequences of
// Unicode's table of them, so no overlong forms, no surrogates and nothing past U+10FFFF. Inline:
// the JSON reader decodes every string of a site file with it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ssmsg::utf8 {

// The sequence that starts at a byte. Well formed: `length` is 1 to 4 and `point` its code
// point. Not: `length` is 0, and `fits` counts the bytes from the start that could still begin a
// well-formed sequence; the byte after them (or the end of the text) is where it goes wrong, the
// start itself when `fits` is 0 (a byte that never leads).
struct Sequence {
  char32_t point = 0;
  std::uint8_t length = 0;
  std::uint8_t fits = 0;
};

// The sequence at byte `at` of `text` (`at` < text.size()).
inline Sequence Decode(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return {lead, 1, 1};
  // The length, the lead's bits of the code point, and the range of the second byte, which
  // rules out overlong forms, surrogates and code points past U+10FFFF.
  std::uint8_t length = 0;
  char32_t point = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    point = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    point = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    point = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {};  // a continuation byte, or a byte that never leads
  }
  const std::size_t left = text.size() - at;
  for (std::uint8_t k = 1; k < length; ++k) {
    if (k >= left) return {0, 0, k};
    const unsigned next = byte(k);
    if (next < low || next > high) return {0, 0, k};
    low = 0x80;
    high = 0xBF;
    point = (point << 6) | (next & 0x3Fu);
  }
  return {point, length, length};
}

// Whether `point` is a noncharacter: U+FDD0..U+FDEF, and the last two of every plane.
constexpr bool IsNoncharacter(char32_t point) {
  return (point >= 0xFDD0 && point <= 0xFDEF) || (point & 0xFFFEu) == 0xFFFEu;
}

// Whether `text` is well-formed UTF-8 throughout.
inline bool IsValid(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const Sequence sequence = Decode(text, i);
    if (sequence.length == 0) return false;
    i += sequence.length;
  }
  return true;
}

// The first control character of the well-formed `text` that no text of a site may hold (C0
// but tab, DEL, and C1: a line feed would split a message of a log of one message per line), or
// none.
inline std::optional<char32_t> FirstControl(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return c;
    if (c == 0xC2 && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return next;  // U+0080..U+009F
    }
  }
  return std::nullopt;
}

// "U+000A" for the control character `point` (below U+0100).
inline std::string ControlName(char32_t point) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string name = "U+00";
  name += kHex[(point >> 4) & 0xF];
  name += kHex[point & 0xF];
  return name;
}

// Why a text holding the control character `point` is refused, for an error line.
inline std::string ControlProblem(char32_t point) {
  return "the text holds the control character " + ControlName(point) +
         "; of those, a text may hold tab only";
}

}  // namespace ssmsg::utf8
