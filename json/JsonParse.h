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

// What is wrong where a syntax error is, for a caller that words its own messages.
enum class CSS_JsonMistake : unsigned char {
  None,
  Unexpected,     // a token that does not belong where it stands
  End,            // the text ends where more must come
  Nul,            // a NUL byte
  ByteOrderMark,  // a byte order mark cut short
  Literal,        // a word that is not true, false or null, or a byte that starts no token
  Minus,          // a minus sign without digits after it
  Point,          // a number's point without digits after it
  Exponent,       // a number's exponent without digits
  Range,          // a number beyond the range of double
  Unclosed,       // a string without its closing quote
  Control,        // a control character inside a string
  Utf8,           // a string's bytes that are not UTF-8
  Escape,         // a backslash that starts no escape of JSON's
  Hex,            // a \u escape without four hex digits
  LowSurrogate,   // a \u escape of a low surrogate without a high one before it
  HighSurrogate,  // a \u escape of a high surrogate without a low one after it
};

// What ParseJson was reading where a syntax error is.
enum class CSS_JsonExpected : unsigned char {
  Value,       // a value
  End,         // the end of the text, after the value
  ArrayNext,   // ',' or ']' after an element
  ObjectNext,  // ',' or '}' after a member
  Key,         // a member's name
  Colon,       // ':' after a name
};

// Where ParseJson is in the text, kept up to date for a caller that asks for it: while an event
// is handed on, where its token lies (a key's, a bracket's, a number's text as written); at a
// syntax error, the token that is wrong and what is wrong with it.
struct CSS_JsonPlace {
  std::size_t token = 0;  // the token's first byte (the end of the text when the text ended)
  std::size_t end = 0;    // just past its last byte
  // At a syntax error, besides `token`: inside a string, where the escape or character that is
  // wrong starts (a sequence that is not UTF-8 at its first byte); elsewhere `token`.
  std::size_t piece = 0;
  CSS_JsonMistake mistake = CSS_JsonMistake::None;
  CSS_JsonExpected expected = CSS_JsonExpected::Value;
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

// What else a caller may ask of ParseJson.
struct CSS_JsonOptions {
  CSS_JsonSplice* splice = nullptr;
  std::size_t firstNul = kNulUnknown;
  CSS_JsonPlace* place = nullptr;  // kept up to date, when given
  bool byteOrderMark = true;       // a byte order mark may start the text (false: a mistake)
  // A number beyond the range of double is a mistake; false: it is handed on as written.
  bool numbersInRange = true;
};
CSS_JsonEnd ParseJson(std::string_view text, std::string_view fileName, CSS_JsonEvents& events,
                      const CSS_JsonOptions& options);

// "file:line:column" of the byte at `at` of `text` (or of the end of the text).
std::string JsonWhere(std::string_view fileName, std::string_view text, std::size_t at);

}  // namespace ssmsg
