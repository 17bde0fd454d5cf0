// A JSON reader of RFC 8259 text that reports the first mistake the way the site loader always
// has: the same wording for every kind of mistake, and the position of the byte where reading
// stopped. It reads one byte at a time with an explicit stack of open objects and arrays, so
// time and memory stay linear in the text whatever its shape.

#include "json/JsonParse.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "json/Utf8.h"

namespace ssmsg {
namespace {

constexpr int kEnd = -1;  // past the last byte

// What a byte is to the scanner, as bits: kPlain inside a string stands for itself (printable
// ASCII but the quote and the backslash), kBlank separates tokens.
constexpr std::uint8_t kPlain = 1;
constexpr std::uint8_t kBlank = 2;
constexpr std::array<std::uint8_t, 256> kBytes = [] {
  std::array<std::uint8_t, 256> bytes{};
  for (std::size_t c = 0x20; c <= 0x7F; ++c)
    bytes[c] = kPlain;
  bytes['"'] = bytes['\\'] = 0;
  for (const char c : {' ', '\t', '\n', '\r'})
    bytes[static_cast<unsigned char>(c)] |= kBlank;
  return bytes;
}();

bool Is(int c, std::uint8_t kind) {
  return c >= 0 && (kBytes[static_cast<std::size_t>(c)] & kind) != 0;
}
bool Is(char c, std::uint8_t kind) {
  return (kBytes[static_cast<unsigned char>(c)] & kind) != 0;
}

enum class Token : std::uint8_t {
  Uninitialized,
  True,
  False,
  Null,
  String,
  Unsigned,
  Integer,
  Float,
  BeginArray,
  BeginObject,
  EndArray,
  EndObject,
  NameSeparator,
  ValueSeparator,
  ParseError,
  EndOfInput,
  LiteralOrValue,
};

const char* TokenName(Token token) {
  // By Token.
  static constexpr const char* kNames[] = {"<uninitialized>",
                                           "true literal",
                                           "false literal",
                                           "null literal",
                                           "string literal",
                                           "number literal",
                                           "number literal",
                                           "number literal",
                                           "'['",
                                           "'{'",
                                           "']'",
                                           "'}'",
                                           "':'",
                                           "','",
                                           "<parse error>",
                                           "end of input",
                                           "'[', '{', or a literal"};
  const auto k = static_cast<std::size_t>(token);
  return k < std::size(kNames) ? kNames[k] : "unknown token";
}

// The names of the control characters U+0000 to U+001F.
constexpr const char* kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

// Whether a number written as `text` (as JSON writes numbers) lies beyond the range of double.
// Only asked of text that std::from_chars found out of range: too large or too close to zero.
bool Overflows(std::string_view text) {
  const std::size_t e = std::min(text.find_first_of("eE"), text.size());
  const std::string_view mantissa = text.substr(0, e);
  // The power of ten of the first significant digit.
  std::int64_t digitsBeforePoint = 0;
  std::int64_t digit = 0;
  std::int64_t firstSignificant = -1;
  bool point = false;
  for (const char c : mantissa) {
    if (c == '.') {
      point = true;
    } else if (c >= '0' && c <= '9') {
      if (firstSignificant < 0 && c != '0') firstSignificant = digit;
      ++digit;
      if (!point) ++digitsBeforePoint;
    }
  }
  if (firstSignificant < 0) return false;
  std::int64_t exponent = 0;
  if (e < text.size()) {
    std::size_t i = e + 1;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
      if (exponent < (std::int64_t{1} << 40)) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return digitsBeforePoint - firstSignificant - 1 + exponent > 0;
}

class Reader {
 public:
  Reader(std::string_view text, std::string_view fileName, CSS_JsonEvents& events,
         const CSS_JsonOptions& options)
      : text_(text),
        fileName_(fileName),
        events_(events),
        splice_(options.splice),
        place_(options.place),
        byteOrderMark_(options.byteOrderMark),
        numbersInRange_(options.numbersInRange) {}

  CSS_JsonEnd Run() {
    const CSS_JsonEnd end = ReadValue();
    if (end != CSS_JsonEnd::Read || failed_) return end;
    if (Next() != Token::EndOfInput) {
      Fail(Message(Token::EndOfInput, "value"), CSS_JsonExpected::End);
    }
    return CSS_JsonEnd::Read;
  }

 private:
  // --- Bytes -------------------------------------------------------------------------------
  int Get() {
    ++total_;
    if (unget_) {
      unget_ = false;
    } else {
      current_ = next_ < text_.size() ? static_cast<unsigned char>(text_[next_++]) : kEnd;
    }
    return current_;
  }
  void Unget() {
    unget_ = true;
    --total_;
  }
  // The token text starts at the byte just read.
  void Reset() {
    buffer_.clear();
    tokenStart_ = next_ - 1;
  }
  void Add(int c) { buffer_.push_back(static_cast<char>(c)); }

  // The bytes read for the current token, control characters written as <U+XXXX>.
  std::string TokenText() const {
    const std::size_t end = next_ - (unget_ && current_ != kEnd ? 1 : 0);
    std::string result;
    for (std::size_t i = tokenStart_; i < end; ++i) {
      const auto c = static_cast<unsigned char>(text_[i]);
      if (c <= 0x1F) {
        char code[9];
        std::snprintf(code, sizeof code, "<U+%.4X>", c);
        result += code;
      } else {
        result.push_back(static_cast<char>(c));
      }
    }
    return result;
  }

  // --- Tokens ------------------------------------------------------------------------------
  Token Next() {
    last_ = Scan();
    if (place_ != nullptr) {
      place_->token = begin_;
      place_->end = TokenEnd();
    }
    return last_;
  }

  // Just past the last byte read for the current token.
  std::size_t TokenEnd() const { return unget_ && current_ != kEnd ? next_ - 1 : next_; }

  // A syntax error in the current token: `message` for the error's text.
  Token Refuse(CSS_JsonMistake mistake, const char* message) {
    mistake_ = mistake;
    error_ = message;
    return Token::ParseError;
  }

  Token Scan() {
    if (total_ == 0 && byteOrderMark_ && !SkipByteOrderMark()) {
      begin_ = piece_ = 0;
      return Refuse(CSS_JsonMistake::ByteOrderMark, "invalid BOM; must be 0xEF 0xBB 0xBF if given");
    }
    if (Is(Get(), kBlank)) {
      // Blanks a run at a time (a pretty-printed text is half blanks).
      std::size_t run = next_;
      while (run < text_.size() && Is(text_[run], kBlank))
        ++run;
      total_ += run - next_;
      next_ = run;
      Get();
    }
    begin_ = piece_ = current_ == kEnd ? text_.size() : next_ - 1;
    switch (current_) {
      case '[':
        return Token::BeginArray;
      case ']':
        return Token::EndArray;
      case '{':
        return Token::BeginObject;
      case '}':
        return Token::EndObject;
      case ':':
        return Token::NameSeparator;
      case ',':
        return Token::ValueSeparator;
      case 't':
        return ScanLiteral("true", Token::True);
      case 'f':
        return ScanLiteral("false", Token::False);
      case 'n':
        return ScanLiteral("null", Token::Null);
      case '"':
        return ScanString();
      case '-':
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9':
        return ScanNumber();
      case '\0':
      case kEnd:
        return Token::EndOfInput;
      default:
        return Refuse(CSS_JsonMistake::Literal, "invalid literal");
    }
  }

  bool SkipByteOrderMark() {
    if (Get() == 0xEF) return Get() == 0xBB && Get() == 0xBF;
    Unget();
    return true;
  }

  Token ScanLiteral(std::string_view literal, Token token) {
    for (std::size_t i = 1; i < literal.size(); ++i) {
      if (Get() != static_cast<unsigned char>(literal[i])) {
        return Refuse(CSS_JsonMistake::Literal, "invalid literal");
      }
    }
    return token;
  }

  // Reads the four hex digits after "\u"; -1 when one is not a hex digit.
  int CodePoint() {
    int code = 0;
    for (const int shift : {12, 8, 4, 0}) {
      const int c = Get();
      int digit = 0;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else {
        return -1;
      }
      code += digit << shift;
    }
    return code;
  }

  void AddCodePoint(int code) {
    const auto u = static_cast<unsigned>(code);
    if (u < 0x80) {
      Add(code);
    } else if (u <= 0x7FF) {
      Add(static_cast<int>(0xC0u | (u >> 6u)));
      Add(static_cast<int>(0x80u | (u & 0x3Fu)));
    } else if (u <= 0xFFFF) {
      Add(static_cast<int>(0xE0u | (u >> 12u)));
      Add(static_cast<int>(0x80u | ((u >> 6u) & 0x3Fu)));
      Add(static_cast<int>(0x80u | (u & 0x3Fu)));
    } else {
      Add(static_cast<int>(0xF0u | (u >> 18u)));
      Add(static_cast<int>(0x80u | ((u >> 12u) & 0x3Fu)));
      Add(static_cast<int>(0x80u | ((u >> 6u) & 0x3Fu)));
      Add(static_cast<int>(0x80u | (u & 0x3Fu)));
    }
  }

  bool Escape() {
    switch (Get()) {
      case '"':
        Add('"');
        return true;
      case '\\':
        Add('\\');
        return true;
      case '/':
        Add('/');
        return true;
      case 'b':
        Add('\b');
        return true;
      case 'f':
        Add('\f');
        return true;
      case 'n':
        Add('\n');
        return true;
      case 'r':
        Add('\r');
        return true;
      case 't':
        Add('\t');
        return true;
      case 'u': {
        constexpr const char* kHex = "invalid string: '\\u' must be followed by 4 hex digits";
        constexpr const char* kLow =
            "invalid string: surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF";
        int code = CodePoint();
        if (code == -1) {
          Refuse(CSS_JsonMistake::Hex, kHex);
          return false;
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
          if (Get() != '\\' || Get() != 'u') {
            Refuse(CSS_JsonMistake::HighSurrogate, kLow);
            return false;
          }
          const int low = CodePoint();
          if (low == -1) {
            Refuse(CSS_JsonMistake::Hex, kHex);
            return false;
          }
          if (low < 0xDC00 || low > 0xDFFF) {
            Refuse(CSS_JsonMistake::HighSurrogate, kLow);
            return false;
          }
          code = ((code - 0xD800) << 10) + (low - 0xDC00) + 0x10000;
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
          Refuse(CSS_JsonMistake::LowSurrogate,
                 "invalid string: surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF");
          return false;
        }
        AddCodePoint(code);
        return true;
      }
      default:
        Refuse(CSS_JsonMistake::Escape, "invalid string: forbidden character after backslash");
        return false;
    }
  }

  // The scanners of strings and numbers stand apart, so that a scan of punctuation stays short.
  [[gnu::noinline]] Token ScanString() {
    Reset();
    for (;;) {
      // Printable ASCII but the quote and the backslash a run at a time.
      std::size_t run = next_;
      while (run < text_.size() && Is(text_[run], kPlain))
        ++run;
      buffer_.append(text_, next_, run - next_);
      total_ += run - next_;
      next_ = run;
      const int c = Get();
      if (c == kEnd) {
        return Refuse(CSS_JsonMistake::Unclosed, "invalid string: missing closing quote");
      }
      if (c == '"') return Token::String;
      piece_ = next_ - 1;
      if (c == '\\') {
        if (!Escape()) return Token::ParseError;
        continue;
      }
      if (c < 0x20) {
        controlMessage_ = "invalid string: control character U+00";
        constexpr const char* kDigits = "0123456789ABCDEF";
        const char hex[3] = {kDigits[c >> 4], kDigits[c & 15], '\0'};
        controlMessage_.append(hex).append(" (").append(kControlNames[c]);
        controlMessage_.append(") must be escaped to \\u00").append(hex);
        const char* shortEscape = c == 0x08   ? "\\b"
                                  : c == 0x09 ? "\\t"
                                  : c == 0x0A ? "\\n"
                                  : c == 0x0C ? "\\f"
                                  : c == 0x0D ? "\\r"
                                              : nullptr;
        if (shortEscape != nullptr) controlMessage_.append(" or ").append(shortEscape);
        return Refuse(CSS_JsonMistake::Control, controlMessage_.c_str());
      }
      // A sequence of more than one byte, taken whole when it is well formed; otherwise reading
      // stops at the first byte that does not fit.
      const utf8::Sequence sequence = utf8::Decode(text_, next_ - 1);
      if (sequence.length > 0) {
        buffer_.append(text_.substr(next_ - 1, sequence.length));
        next_ += sequence.length - 1u;
        total_ += sequence.length - 1u;
        continue;
      }
      if (sequence.fits > 0) {
        next_ += sequence.fits - 1u;
        total_ += sequence.fits - 1u;
        Get();
      }
      return Refuse(CSS_JsonMistake::Utf8, "invalid string: ill-formed UTF-8 byte");
    }
  }

  static bool Digit(int c) { return c >= '0' && c <= '9'; }

  // Reads the digits from the byte after the current one on, and the byte after them.
  void Digits() {
    std::size_t run = next_;
    while (run < text_.size() && Digit(text_[run]))
      ++run;
    total_ += run - next_;
    next_ = run;
    Get();
  }

  [[gnu::noinline]] Token ScanNumber() {
    Reset();
    Token type = Token::Unsigned;
    int c = current_;
    if (c == '-') {
      type = Token::Integer;
      if (!Digit(Get())) {
        return Refuse(CSS_JsonMistake::Minus, "invalid number; expected digit after '-'");
      }
      c = current_;
    }
    if (c != '0') {
      Digits();
    } else {
      Get();
    }
    if (current_ == '.') {
      type = Token::Float;
      if (!Digit(Get())) {
        return Refuse(CSS_JsonMistake::Point, "invalid number; expected digit after '.'");
      }
      Digits();
    }
    if (current_ == 'e' || current_ == 'E') {
      type = Token::Float;
      const int after = Get();
      if (after == '+' || after == '-') {
        if (!Digit(Get())) {
          return Refuse(CSS_JsonMistake::Exponent,
                        "invalid number; expected digit after exponent sign");
        }
      } else if (!Digit(after)) {
        return Refuse(CSS_JsonMistake::Exponent,
                      "invalid number; expected '+', '-', or digit after exponent");
      }
      Digits();
    }
    Unget();
    const std::size_t end = current_ == kEnd ? next_ : next_ - 1;
    const std::string_view number = text_.substr(tokenStart_, end - tokenStart_);
    const char* first = number.data();
    const char* last = first + number.size();
    if (type == Token::Unsigned) {
      if (std::from_chars(first, last, unsigned_).ec == std::errc()) return Token::Unsigned;
    } else if (type == Token::Integer) {
      if (std::from_chars(first, last, integer_).ec == std::errc()) return Token::Integer;
    }
    buffer_.assign(number);
    finite_ = true;
    if (numbersInRange_) {
      double value = 0;
      const auto result = std::from_chars(first, last, value);
      finite_ = result.ec == std::errc() || !Overflows(number);
    }
    return Token::Float;
  }

  // --- Errors ------------------------------------------------------------------------------
  std::string Message(Token expected, std::string_view context) const {
    std::string message = "syntax error while parsing ";
    message.append(context).append(" - ");
    if (last_ == Token::ParseError) {
      message.append(error_).append("; last read: '").append(TokenText()).append("'");
    } else {
      message.append("unexpected ").append(TokenName(last_));
    }
    if (expected != Token::Uninitialized) message.append("; expected ").append(TokenName(expected));
    return message;
  }

  // A syntax error where `expected` was being read: what is wrong is the token just read.
  void Fail(std::string_view message, CSS_JsonExpected expected) {
    Fail(message, expected,
         last_ == Token::ParseError   ? mistake_
         : last_ == Token::EndOfInput ? CSS_JsonMistake::End
                                      : CSS_JsonMistake::Unexpected);
  }

  void Fail(std::string_view message, CSS_JsonExpected expected, CSS_JsonMistake mistake) {
    failed_ = true;
    if (place_ != nullptr) {
      place_->token = begin_;
      place_->end = TokenEnd();
      place_->piece = last_ == Token::ParseError ? piece_ : begin_;
      place_->mistake = mistake;
      place_->expected = expected;
    }
    const std::size_t at = std::min(total_ > 0 ? total_ - 1 : 0, text_.size());
    events_.SyntaxError(JsonWhere(fileName_, text_, at), message);
  }

  // --- Values ------------------------------------------------------------------------------
  // Reads one value and everything nested in it; Read with failed_ set after a syntax error.
  CSS_JsonEnd ReadValue() {
    std::vector<std::uint8_t> inArray;  // the open objects (0) and arrays (1)
    const CSS_JsonEnd stopped = CSS_JsonEnd::Stopped;
    Next();
    for (;;) {
      bool valueDone = true;
      switch (last_) {
        case Token::BeginObject: {
          if (splice_ != nullptr) {
            const std::size_t end = splice_->Object(next_ - 1);
            if (end == CSS_JsonSplice::kGiveUp) return CSS_JsonEnd::GaveUp;
            if (end != CSS_JsonSplice::kNotMine) {
              next_ = total_ = end;
              current_ = '}';
              tokenStart_ = end - 1;
              break;
            }
          }
          if (!events_.StartObject()) return stopped;
          if (Next() == Token::EndObject) {
            if (splice_ != nullptr) splice_->Closed(next_);
            if (!events_.EndObject()) return stopped;
            break;
          }
          if (!ReadKey()) return failed_ ? CSS_JsonEnd::Read : stopped;
          inArray.push_back(false);
          Next();
          valueDone = false;
          break;
        }
        case Token::BeginArray:
          if (!events_.StartArray()) return stopped;
          if (Next() == Token::EndArray) {
            if (!events_.EndArray()) return stopped;
            break;
          }
          inArray.push_back(true);
          valueDone = false;
          break;
        case Token::Float: {
          if (!finite_) {
            Fail("the number " + TokenText() + " is beyond the range of numbers",
                 CSS_JsonExpected::Value, CSS_JsonMistake::Range);
            return CSS_JsonEnd::Read;
          }
          // An integer too large for 64 bits is read as a number with a fraction.
          const bool whole = buffer_.find_first_of(".eE") == std::string::npos;
          if (!(whole ? events_.HugeInteger(buffer_) : events_.Fraction(buffer_))) return stopped;
          break;
        }
        case Token::False:
          if (!events_.Boolean(false)) return stopped;
          break;
        case Token::True:
          if (!events_.Boolean(true)) return stopped;
          break;
        case Token::Null:
          if (!events_.Null()) return stopped;
          break;
        case Token::Integer:
          if (!events_.Integer(integer_)) return stopped;
          break;
        case Token::Unsigned: {
          const bool fits =
              unsigned_ <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
          if (!(fits ? events_.Integer(static_cast<std::int64_t>(unsigned_))
                     : events_.HugeInteger(std::to_string(unsigned_)))) {
            return stopped;
          }
          break;
        }
        case Token::String:
          if (!events_.String(buffer_)) return stopped;
          break;
        case Token::ParseError:
          Fail(Message(Token::Uninitialized, "value"), CSS_JsonExpected::Value);
          return CSS_JsonEnd::Read;
        default:
          Fail(Message(Token::LiteralOrValue, "value"), CSS_JsonExpected::Value);
          return CSS_JsonEnd::Read;
      }
      if (!valueDone) continue;

      // A value is complete: close what it completes, then go on to the next one.
      for (;;) {
        if (inArray.empty()) return CSS_JsonEnd::Read;
        if (inArray.back()) {
          if (Next() == Token::ValueSeparator) {
            Next();
            break;
          }
          if (last_ != Token::EndArray) {
            Fail(Message(Token::EndArray, "array"), CSS_JsonExpected::ArrayNext);
            return CSS_JsonEnd::Read;
          }
          if (!events_.EndArray()) return stopped;
          inArray.pop_back();
          continue;
        }
        if (Next() == Token::ValueSeparator) {
          Next();
          if (!ReadKey()) return failed_ ? CSS_JsonEnd::Read : stopped;
          Next();
          break;
        }
        if (last_ != Token::EndObject) {
          Fail(Message(Token::EndObject, "object"), CSS_JsonExpected::ObjectNext);
          return CSS_JsonEnd::Read;
        }
        if (splice_ != nullptr) splice_->Closed(next_);
        if (!events_.EndObject()) return stopped;
        inArray.pop_back();
      }
    }
  }

  // With the key's token read: hands the key on and reads the ':' after it.
  bool ReadKey() {
    if (last_ != Token::String) {
      Fail(Message(Token::String, "object key"), CSS_JsonExpected::Key);
      return false;
    }
    if (!events_.Key(buffer_)) return false;
    if (Next() != Token::NameSeparator) {
      Fail(Message(Token::NameSeparator, "object separator"), CSS_JsonExpected::Colon);
      return false;
    }
    return true;
  }

  std::string_view text_;
  std::string_view fileName_;
  CSS_JsonEvents& events_;
  CSS_JsonSplice* splice_;
  CSS_JsonPlace* place_;
  bool byteOrderMark_;
  bool numbersInRange_;

  std::size_t next_ = 0;   // the byte that the next Get() reads
  std::size_t total_ = 0;  // the bytes read, each Get() past the end counted too
  int current_ = kEnd;
  bool unget_ = false;
  std::size_t tokenStart_ = 0;
  std::string buffer_;  // the current string (unescaped) or number (as written)
  std::uint64_t unsigned_ = 0;
  std::int64_t integer_ = 0;
  bool finite_ = true;
  Token last_ = Token::Uninitialized;
  const char* error_ = "";
  CSS_JsonMistake mistake_ = CSS_JsonMistake::None;  // what error_ says
  std::size_t begin_ = 0;                            // where the current token starts
  std::size_t piece_ = 0;  // where its escape or character that is wrong starts
  std::string controlMessage_;
  bool failed_ = false;
};

}  // namespace

std::string JsonWhere(std::string_view fileName, std::string_view text, std::size_t at) {
  const std::string_view before = text.substr(0, at);
  const std::size_t line =
      1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t lineStart = before.rfind('\n');
  const std::size_t column = at - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
  return std::string(fileName) + ":" + std::to_string(line) + ":" + std::to_string(column);
}

CSS_JsonEnd ParseJson(std::string_view text, std::string_view fileName, CSS_JsonEvents& events,
                      CSS_JsonSplice* splice, std::size_t firstNul) {
  CSS_JsonOptions options;
  options.splice = splice;
  options.firstNul = firstNul;
  return ParseJson(text, fileName, events, options);
}

CSS_JsonEnd ParseJson(std::string_view text, std::string_view fileName, CSS_JsonEvents& events,
                      const CSS_JsonOptions& options) {
  // A NUL byte would end JSON text early for many readers, and whatever followed it would pass
  // unread: it is a mistake of its own wherever it stands.
  const std::size_t nul = options.firstNul == kNulUnknown ? text.find('\0') : options.firstNul;
  if (nul != std::string_view::npos) {
    if (options.place != nullptr) {
      *options.place = {nul, nul + 1, nul, CSS_JsonMistake::Nul, CSS_JsonExpected::Value};
    }
    events.SyntaxError(JsonWhere(fileName, text, nul), "syntax error - a NUL byte");
    return CSS_JsonEnd::Read;
  }
  return Reader(text, fileName, events, options).Run();
}

}  // namespace ssmsg
