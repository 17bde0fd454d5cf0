#pragma once

#include <cstddef>
#include <string_view>

#include "json/JsonSchema.h"

namespace ssmsg {

// Lets a caller read some values of a document itself (for instance with a faster parser) while
// ParseJson reads the rest.
class CSS_JsonSplice {
 public:
  virtual ~CSS_JsonSplice() = default;
  // An object value starts at byte `at` of the text ('{'). Returns kNotMine to let ParseJson read
  // it, the position just past the value after reading it, or kGiveUp to end the whole reading.
  virtual std::size_t Object(std::size_t at) = 0;
  // An object that ParseJson read ends just before byte `end`.
  virtual void Closed(std::size_t /*end*/) {}

  static constexpr std::size_t kNotMine = static_cast<std::size_t>(-1);
  static constexpr std::size_t kGiveUp = static_cast<std::size_t>(-2);
};

enum class CSS_JsonEnd : unsigned char {
  Read,     // the whole text was read (it may have held a syntax error, reported as such)
  Stopped,  // an event returned false
  GaveUp,   // the splice gave up
};

// Reads the JSON text `text` of the file `fileName` and hands its values to `events` in document
// order. Text that is not JSON ends with one SyntaxError naming the line and column of the
// offending byte ("site.json:3:27"). Time and memory are linear in the text, however deep it
// nests. With `splice`, the splice may read object values itself. `firstNul` is where the text's
// first NUL byte is when the caller already knows (npos: there is none), so that a large text is
// not searched again; kNulUnknown has it searched.
inline constexpr std::size_t kNulUnknown = std::string_view::npos - 1;
CSS_JsonEnd ParseJson(std::string_view text, std::string_view fileName, CSS_JsonEvents& events,
                      CSS_JsonSplice* splice = nullptr, std::size_t firstNul = kNulUnknown);

// "file:line:column" of the byte at `at` of `text` (or of the end of the text).
std::string JsonWhere(std::string_view fileName, std::string_view text, std::size_t at);

}  // namespace ssmsg
