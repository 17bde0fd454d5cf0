#pragma once

// Fast reading of a site file's controllers: each controller's object is found in the text by a
// scan of its brackets and parsed on its own with simdjson, so that the parser's memory follows
// the largest controller, not the file. The values reach the schema reader as the same events
// that ParseJson gives. Whatever this path does not take on (text that is not JSON, numbers that
// are not 64-bit integers) it declines, and the caller reads the text with ParseJson instead.

#include <cstddef>
#include <memory>
#include <string_view>

#include "json/JsonSchema.h"

namespace ssmsg {

// Bytes that must be readable past the end of any text given to CSS_JsonDom.
std::size_t JsonPadding();

// The position just past the value that starts at byte `at` of `text`: an object or array found
// by counting brackets outside strings, a string by its closing quote, a number or literal at
// the first blank, ',', ']' or '}' (or the end of the text); npos when the text ends inside an
// object, array or string. The text between is not checked otherwise.
std::size_t FindValueEnd(std::string_view text, std::size_t at);

// A parser for one value at a time; it keeps its memory between values. One per thread.
class CSS_JsonDom {
 public:
  CSS_JsonDom();
  ~CSS_JsonDom();
  CSS_JsonDom(const CSS_JsonDom&) = delete;
  CSS_JsonDom& operator=(const CSS_JsonDom&) = delete;

  // Parses `value` (followed in memory by JsonPadding() readable bytes) and hands it to `events`.
  // False when it is not JSON, holds a number that is not a 64-bit signed integer, nests too
  // deep, or an event returned false: `events` may then have seen part of it.
  bool Read(std::string_view value, CSS_JsonEvents& events);

 private:
  struct Parser;
  std::unique_ptr<Parser> parser_;
};

}  // namespace ssmsg
