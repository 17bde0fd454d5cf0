// The site loader's JSON readers: the thorough reader's messages and positions, the values it
// hands on, the bracket scan that finds a controller's object, and the fast parser that must give
// the same values or decline. Also JSON strings as the library writes them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/Json.h>

#include "json/JsonDom.h"
#include "json/JsonParse.h"
#include "json_events.h"

namespace ssmsg {
namespace {

using Recorder = test::JsonRecorder;
using test::JsonEvents;

// The last event: the error, if any.
std::string LastEvent(std::string_view json) {
  std::string events = JsonEvents(json);
  events.pop_back();
  return events.substr(events.rfind('\n') + 1);
}

// Each mistake has its message and position; nesting a million deep reads through to the end
// of the text.
TEST(JsonReader, EachMistakeHasItsMessageAndPosition) {
  const std::string deep(1'000'000, '[');
  const std::pair<std::string_view, std::string_view> cases[] = {
      {deep,
       "1:1000001: syntax error while parsing value - unexpected end of input; expected '[', "
       "'{', or a literal"},
      {"\xEF\xBB{}",
       "1:3: syntax error while parsing value - invalid BOM; must be 0xEF 0xBB 0xBF if given; "
       "last read: '\xEF\xBB{'"},
      {"{\"a\": tru}",
       "1:10: syntax error while parsing value - invalid literal; last read: '\"a\": tru}'"},
      {"[1,\n 2,]",
       "2:4: syntax error while parsing value - unexpected ']'; expected '[', '{', or a literal"},
      {"[01]", "1:3: syntax error while parsing array - unexpected number literal; expected ']'"},
      {"[1.]",
       "1:4: syntax error while parsing value - invalid number; expected digit after '.'; last "
       "read: '1.]'"},
      {"[1e]",
       "1:4: syntax error while parsing value - invalid number; expected '+', '-', or digit after "
       "exponent; last read: '1e]'"},
      {"[1e+]",
       "1:5: syntax error while parsing value - invalid number; expected digit after exponent "
       "sign; last read: '1e+]'"},
      {"[\"\\u12G4\"]",
       "1:7: syntax error while parsing value - invalid string: '\\u' must be followed by 4 hex "
       "digits; last read: '\"\\u12G'"},
      {"[\"\\ud800\\u12G4\"]",
       "1:13: syntax error while parsing value - invalid string: '\\u' must be followed by 4 "
       "hex digits; last read: '\"\\ud800\\u12G'"},
      {"[\"\\ud800x\"]",
       "1:9: syntax error while parsing value - invalid string: surrogate U+D800..U+DBFF must be "
       "followed by U+DC00..U+DFFF; last read: '\"\\ud800x'"},
      {"[\"\\q\"]",
       "1:4: syntax error while parsing value - invalid string: forbidden character after "
       "backslash; last read: '\"\\q'"},
      {"[\"a\tb\"]",
       "1:4: syntax error while parsing value - invalid string: control character U+0009 (HT) "
       "must be escaped to \\u0009 or \\t; last read: '\"a<U+0009>'"},
      {"[\"\\udc00\"]",
       "1:8: syntax error while parsing value - invalid string: surrogate U+DC00..U+DFFF must "
       "follow U+D800..U+DBFF; last read: '\"\\udc00'"},
      {"{\"a\" 1}",
       "1:6: syntax error while parsing object separator - unexpected number literal; expected "
       "':'"},
      {"{1: 2}",
       "1:2: syntax error while parsing object key - unexpected number literal; expected string "
       "literal"},
      {"{}\n{", "2:1: syntax error while parsing value - unexpected '{'; expected end of input"},
      {"[\"a\nb\"]",
       "1:4: syntax error while parsing value - invalid string: control character U+000A (LF) "
       "must be escaped to \\u000A or \\n; last read: '\"a<U+000A>'"},
      {"[-1e400]", "1:7: the number -1e400 is beyond the range of numbers"},
      {"{\"a\":",
       "1:6: syntax error while parsing value - unexpected end of input; expected '[', "
       "'{', or a literal"},
      {std::string_view("[1, \0]", 6), "1:5: syntax error - a NUL byte"},
  };
  for (const auto& [json, message] : cases) {
    EXPECT_EQ(LastEvent(json), "error f.json:" + std::string(message)) << json.substr(0, 40);
  }
}

TEST(JsonReader, HandsOnValuesAsWritten) {
  EXPECT_EQ(
      JsonEvents("\xEF\xBB\xBF[-0, 9223372036854775807, 9223372036854775808, -9223372036854775809,"
                 " 1.50, 2E+3, true, null, \"\xC2\x80\xE0\xA0\x80\xF4\x8F\xBF\xBF\", "
                 "{\"k\\u00e9\\u00fF\\u00A0\\u07ff\\u20ac\\uffff\": "
                 "\"\\ud83d\\ude00\\udbff\\udfff\\/\\n\"}]"),
      "[\nint 0\nint 9223372036854775807\nhuge 9223372036854775808\n"
      "huge -9223372036854775809\nfraction 1.50\nfraction 2E+3\ntrue\nnull\n"
      "string \xC2\x80\xE0\xA0\x80\xF4\x8F\xBF\xBF\n{\n"
      "key k\xC3\xA9\xC3\xBF\xC2\xA0\xDF\xBF\xE2\x82\xAC\xEF\xBF\xBF\n"
      "string \xF0\x9F\x98\x80\xF4\x8F\xBF\xBF/\n\n}\n]\n");
}

// Beyond double's range, a number far from zero is an error and one close to zero a fraction,
// whichever way its exponent is written.
TEST(JsonReader, OnlyNumbersFarFromZeroOverflow) {
  const std::pair<std::string_view, bool> cases[] = {
      {"1e-400", false}, {"-1E-400", false},  {"0.0001e-320", false}, {"1e400", true},
      {"1E+400", true},  {"-0.01e311", true}, {"100e307", true}};
  for (const auto& [number, overflows] : cases) {
    const std::string events = JsonEvents("[" + std::string(number) + "]");
    if (overflows) {
      EXPECT_NE(events.find("is beyond the range of numbers"), std::string::npos) << number;
    } else {
      EXPECT_EQ(events, "[\nfraction " + std::string(number) + "\n]\n");
    }
  }
}

// The text of each event's token, as CSS_JsonPlace tells where it lies.
std::vector<std::string> Tokens(std::string_view text) {
  CSS_JsonPlace place;
  Recorder events(text, &place);
  ParseJson(text, "f.json", events, {.place = &place});
  return events.tokens;
}

TEST(JsonReader, PlaceTellsWhereEachTokenIs) {
  EXPECT_EQ(Tokens("-0"), std::vector<std::string>{"-0"});
  EXPECT_EQ(Tokens(" 12 "), std::vector<std::string>{"12"});
  EXPECT_EQ(Tokens("{ \"k\\u00e9\" :[-0,1.50 ,true,\"s\\\"\", 99999999999999999999]}"),
            (std::vector<std::string>{"{", "\"k\\u00e9\"", "[", "-0", "1.50", "true", "\"s\\\"\"",
                                      "99999999999999999999", "]", "}"}));
}

// At a syntax error: what is wrong, what was being read, where the token starts and, inside a
// string, where the escape or character that is wrong starts. The messages stay as they are.
TEST(JsonReader, PlaceTellsWhatIsWrongAndWhere) {
  using M = CSS_JsonMistake;
  using E = CSS_JsonExpected;
  struct Case {
    std::string_view json;
    M mistake;
    E expected;
    std::size_t token;
    std::size_t piece;
  };
  const Case cases[] = {
      {"", M::End, E::Value, 0, 0},
      {"[1,]", M::Unexpected, E::Value, 3, 3},
      {"[1", M::End, E::ArrayNext, 2, 2},
      {"[1 2]", M::Unexpected, E::ArrayNext, 3, 3},
      {"{\"a\":1 2}", M::Unexpected, E::ObjectNext, 7, 7},
      {"{1:2}", M::Unexpected, E::Key, 1, 1},
      {"{\"a\" 1}", M::Unexpected, E::Colon, 5, 5},
      {"{} x", M::Literal, E::End, 3, 3},
      {"[tru]", M::Literal, E::Value, 1, 1},
      {"\xEF\xBB{}", M::ByteOrderMark, E::Value, 0, 0},
      {"[-x]", M::Minus, E::Value, 1, 1},
      {"[1.]", M::Point, E::Value, 1, 1},
      {"[1e]", M::Exponent, E::Value, 1, 1},
      {"[-1e400]", M::Range, E::Value, 1, 1},
      {"[\"abc", M::Unclosed, E::Value, 1, 1},
      {"[\"a\tb\"]", M::Control, E::Value, 1, 3},
      {"[\"a\xC3\x28\"]", M::Utf8, E::Value, 1, 3},
      {"{\"a\\q\":1}", M::Escape, E::Key, 1, 3},
      {"[\"a\\u12G4\"]", M::Hex, E::Value, 1, 3},
      {"[\"a\\udc00\"]", M::LowSurrogate, E::Value, 1, 3},
      {"[\"a\\ud800\\u0041\"]", M::HighSurrogate, E::Value, 1, 3},
      {std::string_view("[1,\0]", 5), M::Nul, E::Value, 3, 3},
  };
  for (const Case& c : cases) {
    CSS_JsonPlace place;
    Recorder recorder;
    ParseJson(c.json, "f.json", recorder, {.place = &place});
    EXPECT_EQ(place.mistake, c.mistake) << c.json;
    EXPECT_EQ(place.expected, c.expected) << c.json;
    EXPECT_EQ(place.token, c.token) << c.json;
    EXPECT_EQ(place.piece, c.piece) << c.json;
    EXPECT_EQ(recorder.lines, JsonEvents(c.json)) << c.json;
  }
}

// A byte order mark may be refused, and numbers beyond double's range handed on as written.
TEST(JsonReader, OptionsRefuseAByteOrderMarkAndTakeAnyNumber) {
  CSS_JsonOptions options;
  options.byteOrderMark = false;
  options.numbersInRange = false;
  Recorder recorder;
  ParseJson("\xEF\xBB\xBF[]", "f.json", recorder, options);
  EXPECT_EQ(recorder.lines,
            "error f.json:1:1: syntax error while parsing value - invalid literal; last read: "
            "'\xEF'\n");
  const std::string huge = "1" + std::string(400, '0');
  Recorder numbers;
  ParseJson("[1e400,-0.01e311," + huge + "]", "f.json", numbers, options);
  EXPECT_EQ(numbers.lines, "[\nfraction 1e400\nfraction -0.01e311\nhuge " + huge + "\n]\n");
}

TEST(JsonScan, FindsTheEndOfAnObjectPastStringsAndEscapes) {
  const std::pair<std::string_view, std::size_t> cases[] = {
      {"{} ,", 2},
      {"{\"a\": [1, {\"b\": \"}]\"}]}, {}", 23},
      {"{\"a\\\"}\": 1}x", 11},
      {"{\"a\\\\\": {}}x", 11},
      {"{\"a\": [}", std::string_view::npos},
      {"{\"a\": \"}", std::string_view::npos},
      {"{\"a\\", std::string_view::npos},
      // Strings, numbers and literals too.
      {"\"a\\\"}\" ,", 6},
      {"\"a\\\\\"x", 5},
      {"\"abc", std::string_view::npos},
      {"-1.5e3]", 6},
      {"12, 3", 2},
      {"true}", 4},
      {"null\n", 4},
      {"7", 1},
  };
  for (const auto& [text, end] : cases) {
    EXPECT_EQ(FindValueEnd(text, 0), end) << text;
  }
}

// The fast parser gives exactly the thorough reader's events, or declines.
TEST(JsonDom, SameValuesAsTheThoroughReaderOrNone) {
  const std::string accepted[] = {
      R"({"Interface": 1, "Name": "A\u00e9\ud83d\ude00", "L": [1, -2, true, false, null, {}],)"
      R"( "Max": 9223372036854775807, "Min": -9223372036854775808, "K": "K", "Z": -0})",
  };
  const std::string declined[] = {"[1.0]",
                                  "[1e2]",
                                  "[18446744073709551615]",
                                  "[1, 2",
                                  "[\"\\ud800\"]",
                                  "[\"\xC3\"]",
                                  std::string(2000, '[') + std::string(2000, ']')};
  CSS_JsonDom dom;
  const auto read = [&dom](const std::string& json, Recorder& recorder) {
    const std::string padded = json + std::string(JsonPadding(), ' ');
    return dom.Read(std::string_view(padded).substr(0, json.size()), recorder);
  };
  for (const std::string& json : accepted) {
    Recorder recorder;
    EXPECT_TRUE(read(json, recorder)) << json;
    EXPECT_EQ(recorder.lines, JsonEvents(json));
  }
  for (const std::string& json : declined) {
    Recorder recorder;
    EXPECT_FALSE(read(json, recorder)) << json.substr(0, 40);
  }
}

// JSON strings as the library writes them: the quote and the backslash escaped, control
// characters as their short escape or \u00XX. (Bytes that are not UTF-8: tests/test_utf8.cpp.)
TEST(JsonString, EscapesQuotesBackslashesAndControls) {
  std::string out = "x";
  AppendJsonString(out, "a \"\\\n\r\t\x01\x1F\x7F");
  EXPECT_EQ(out, "x\"a \\\"\\\\\\n\\r\\t\\u0001\\u001f\x7F\"");
}

}  // namespace
}  // namespace ssmsg
