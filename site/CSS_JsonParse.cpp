#include "site/CSS_JsonParse.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace ssmsg {
namespace {

// "file:line:column" of the byte at `at` of `text`.
std::string Where(std::string_view fileName, std::string_view text, std::size_t at) {
  const std::string_view before = text.substr(0, at);
  const std::size_t line =
      1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t lineStart = before.rfind('\n');
  const std::size_t column = at - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
  return std::string(fileName) + ":" + std::to_string(line) + ":" + std::to_string(column);
}

// Turns the JSON reader's callbacks into events.
class Adapter {
 public:
  Adapter(std::string_view text, std::string_view fileName, CSS_JsonEvents& events)
      : text_(text), fileName_(fileName), events_(events) {}

  bool null() { return events_.Null(); }
  bool boolean(bool value) { return events_.Boolean(value); }
  bool number_integer(std::int64_t value) { return events_.Integer(value); }
  bool number_unsigned(std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return events_.HugeInteger(std::to_string(value));
    }
    return events_.Integer(static_cast<std::int64_t>(value));
  }
  bool number_float(double /*value*/, const std::string& text) {
    // An integer too large for 64 bits arrives here too, written without a fraction.
    if (text.find_first_of(".eE") == std::string::npos) return events_.HugeInteger(text);
    return events_.Fraction(text);
  }
  bool string(std::string& value) { return events_.String(value); }
  bool binary(nlohmann::json::binary_t& /*value*/) { return true; }  // not in JSON text
  bool start_object(std::size_t /*elements*/) { return events_.StartObject(); }
  bool end_object() { return events_.EndObject(); }
  bool start_array(std::size_t /*elements*/) { return events_.StartArray(); }
  bool end_array() { return events_.EndArray(); }
  bool key(std::string& key) { return events_.Key(key); }
  bool parse_error(std::size_t position, const std::string& /*lastToken*/,
                   const nlohmann::json::exception& error) {
    // `position` counts the bytes read, the offending one included.
    const std::size_t at = std::min(position > 0 ? position - 1 : 0, text_.size());
    // The reader's message starts with its own prefix and position: keep what follows them.
    std::string_view message = error.what();
    const std::size_t prefix = message.find("parse error");
    if (prefix != std::string_view::npos) {
      const std::size_t colon = message.find(": ", prefix);
      if (colon != std::string_view::npos) message.remove_prefix(colon + 2);
    }
    events_.SyntaxError(Where(fileName_, text_, at), message);
    return false;
  }

 private:
  std::string_view text_;
  std::string_view fileName_;
  CSS_JsonEvents& events_;
};

}  // namespace

void ParseJson(std::string_view text, std::string_view fileName, CSS_JsonEvents& events) {
  // The JSON reader takes a NUL byte for the end of the text and would accept whatever follows.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    events.SyntaxError(Where(fileName, text, nul), "syntax error - a NUL byte");
    return;
  }
  Adapter adapter(text, fileName, events);
  nlohmann::json::sax_parse(text.data(), text.data() + text.size(), &adapter);
}

}  // namespace ssmsg
