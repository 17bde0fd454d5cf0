#include "json/JsonDom.h"

#include <simdjson.h>

#include <array>
#include <cstdint>

namespace ssmsg {
namespace {

// What FindValueEnd stops at: 1 a quote, 2 an opening bracket, 3 a closing one.
constexpr std::array<std::uint8_t, 256> kStops = [] {
  std::array<std::uint8_t, 256> stops{};
  stops['"'] = 1;
  stops['{'] = stops['['] = 2;
  stops['}'] = stops[']'] = 3;
  return stops;
}();

// Just past the closing quote of the string whose text starts at `p`, stepping over escaped
// characters; null when the text ends first.
const unsigned char* StringEnd(const unsigned char* p, const unsigned char* end) {
  for (;;) {
    while (p < end && *p != '"' && *p != '\\')
      ++p;
    if (p >= end) return nullptr;
    if (*p++ == '"') return p;
    if (p == end) return nullptr;
    ++p;  // the escaped character
  }
}

// Hands `element` and everything in it to `events`; with the schema reader's own type the calls
// need no virtual dispatch.
template <class Events>
bool Walk(const simdjson::dom::element& element, Events& events) {
  using simdjson::dom::element_type;
  switch (element.type()) {
    case element_type::OBJECT: {
      if (!events.StartObject()) return false;
      for (const simdjson::dom::key_value_pair field : simdjson::dom::object(element)) {
        if (!events.Key(field.key) || !Walk(field.value, events)) return false;
      }
      return events.EndObject();
    }
    case element_type::ARRAY: {
      if (!events.StartArray()) return false;
      for (const simdjson::dom::element item : simdjson::dom::array(element)) {
        if (!Walk(item, events)) return false;
      }
      return events.EndArray();
    }
    case element_type::INT64:
      return events.Integer(std::int64_t(element));
    case element_type::STRING:
      return events.String(std::string_view(element));
    case element_type::BOOL:
      return events.Boolean(bool(element));
    case element_type::NULL_VALUE:
      return events.Null();
    case element_type::UINT64:  // beyond 64-bit signed: ParseJson gives the text as written
    case element_type::DOUBLE:  // a fraction or an exponent
      return false;
  }
  return false;
}

}  // namespace

struct CSS_JsonDom::Parser {
  simdjson::dom::parser parser;
};

std::size_t JsonPadding() {
  return simdjson::SIMDJSON_PADDING;
}

std::size_t FindValueEnd(std::string_view text, std::size_t at) {
  // Brackets and quotes come every few bytes in a site file: a plain loop over a table serves
  // better than skipping wide blocks.
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = begin + text.size();
  const unsigned char* p = begin + at;
  if (p >= end) return std::string_view::npos;
  const auto past = [begin](const unsigned char* q) {
    return q == nullptr ? std::string_view::npos : static_cast<std::size_t>(q - begin);
  };
  const std::uint8_t first = kStops[*p];
  if (first == 1) return past(StringEnd(p + 1, end));
  if (first == 0) {
    // A number or a literal: on to the first byte that cannot be part of it.
    while (p < end && kStops[*p] != 3 && *p != ',' && *p != ' ' && *p != '\n' && *p != '\r' &&
           *p != '\t')
      ++p;
    return past(p);
  }
  std::size_t depth = 0;
  while (p < end) {
    const std::uint8_t stop = kStops[*p++];
    if (stop == 0) continue;
    if (stop == 2) {
      ++depth;
    } else if (stop == 3) {
      if (--depth == 0) return past(p);
    } else if ((p = StringEnd(p, end)) == nullptr) {
      return std::string_view::npos;
    }
  }
  return std::string_view::npos;
}

CSS_JsonDom::CSS_JsonDom() : parser_(std::make_unique<Parser>()) {}
CSS_JsonDom::~CSS_JsonDom() = default;

bool CSS_JsonDom::Read(std::string_view value, CSS_JsonEvents& events) {
  simdjson::dom::element root;
  if (parser_->parser.parse(value.data(), value.size(), false).get(root) != simdjson::SUCCESS) {
    return false;
  }
  if (auto* reader = dynamic_cast<CSS_SchemaReader*>(&events)) return Walk(root, *reader);
  return Walk(root, events);
}

}  // namespace ssmsg
