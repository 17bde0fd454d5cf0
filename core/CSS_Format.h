#pragma once

// The one place where numbers and yes/no values become message text, and where texts lose
// their surrounding white space.

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include <ssmsg/CSS_Types.h>

namespace ssmsg {

// Longest decimal text of a 32-bit number: "-2147483648".
inline constexpr std::size_t kMaxDecimalLength = 11;

// Writes `value` as signed decimal ("%d": no leading zeros, a minus for negatives) into `buffer`
// and returns the text.
inline std::string_view FormatDecimal(std::int32_t value, char (&buffer)[kMaxDecimalLength]) {
  const auto result = std::to_chars(buffer, buffer + kMaxDecimalLength, value);
  return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

// Appends `value` as signed decimal to `out`.
inline void AppendDecimal(std::string& out, std::int32_t value) {
  char buffer[kMaxDecimalLength];
  out.append(FormatDecimal(value, buffer));
}

// The white space that names and texts are trimmed of: space, tab, line feed, vertical tab,
// form feed and carriage return.
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

// `text` without white space at either end (empty when it holds nothing else).
constexpr std::string_view TrimWhiteSpace(std::string_view text) {
  // The six characters of kWhiteSpace are ' ' and '\t' to '\r'; testing the range directly keeps
  // the trimming of element names cheap.
  constexpr auto isWhiteSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::size_t first = 0;
  std::size_t end = text.size();
  while (first < end && isWhiteSpace(text[first]))
    ++first;
  while (end > first && isWhiteSpace(text[end - 1]))
    --end;
  return text.substr(first, end - first);
}

// "True" for any non-zero byte, "False" for zero.
constexpr std::string_view FlagText(std::uint8_t flag) {
  return flag != 0 ? "True" : "False";
}

// Appends the numbers of `list` to `text` as comma-separated decimals, with a comma in front of
// the first one too when `text` is not empty. The numbers are unsigned 32-bit values written as
// signed decimals, so 4294967295 comes out as "-1".
void JoinNumbers(std::string& text, CSS_NumberList list);

}  // namespace ssmsg
