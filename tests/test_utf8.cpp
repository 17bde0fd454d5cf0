// UTF-8: one table of sequences, each decoded on its own and seen through every reader and writer
// of text that takes it (the JSON reader and writer, the report's HTML text).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include <ssmsg/Json.h>

#include "json/JsonParse.h"
#include "json/Utf8.h"
#include "json_events.h"
#include "report/Html.h"

namespace ssmsg {
namespace {

enum class Kind {
  Text,     // well formed, and text to the report
  NotText,  // well formed, but a C1 control or a noncharacter: the report shows one U+FFFD
  Bad,      // ill formed: `value` bytes fit before the one that does not (or the end)
};

struct Case {
  std::string_view bytes;
  Kind kind;
  char32_t value;  // the code point; for Bad, the bytes that fit
};

constexpr Case kCases[] = {
    // The edges of every well-formed range.
    {"\xC2\x80", Kind::NotText, 0x80},
    {"\xC2\x9F", Kind::NotText, 0x9F},
    {"\xC2\xA0", Kind::Text, 0xA0},
    {"\xDF\xBF", Kind::Text, 0x7FF},
    {"\xE0\xA0\x80", Kind::Text, 0x800},
    {"\xE0\xBF\xBF", Kind::Text, 0xFFF},
    {"\xE1\x80\x80", Kind::Text, 0x1000},
    {"\xEC\xBF\xBF", Kind::Text, 0xCFFF},
    {"\xED\x80\x80", Kind::Text, 0xD000},
    {"\xED\x9F\xBF", Kind::Text, 0xD7FF},
    {"\xEE\x80\x80", Kind::Text, 0xE000},
    {"\xEF\xB7\x8F", Kind::Text, 0xFDCF},
    {"\xEF\xB7\x90", Kind::NotText, 0xFDD0},
    {"\xEF\xB7\xAF", Kind::NotText, 0xFDEF},
    {"\xEF\xB7\xB0", Kind::Text, 0xFDF0},
    {"\xEF\xBF\xBD", Kind::Text, 0xFFFD},
    {"\xEF\xBF\xBE", Kind::NotText, 0xFFFE},
    {"\xEF\xBF\xBF", Kind::NotText, 0xFFFF},
    {"\xF0\x90\x80\x80", Kind::Text, 0x10000},
    {"\xF0\x9F\x94\x91", Kind::Text, 0x1F511},
    {"\xF0\x9F\xBF\xBE", Kind::NotText, 0x1FFFE},
    {"\xF0\xBF\xBF\xBF", Kind::NotText, 0x3FFFF},
    {"\xF1\x80\x80\x80", Kind::Text, 0x40000},
    {"\xF3\xBF\xBF\xBF", Kind::NotText, 0xFFFFF},
    {"\xF4\x80\x80\x80", Kind::Text, 0x100000},
    {"\xF4\x8F\xBF\xBD", Kind::Text, 0x10FFFD},
    {"\xF4\x8F\xBF\xBF", Kind::NotText, 0x10FFFF},
    // Bytes that never lead.
    {"\x80", Kind::Bad, 0},
    {"\xBF", Kind::Bad, 0},
    {"\xC0\x80", Kind::Bad, 0},  // overlong U+0000
    {"\xC1\xBF", Kind::Bad, 0},  // overlong U+007F
    {"\xF5\x80\x80\x80", Kind::Bad, 0},
    {"\xF8\x88\x80\x80\x80", Kind::Bad, 0},
    {"\xFE\xFF", Kind::Bad, 0},
    // Overlong forms, surrogates, and past U+10FFFF: the second byte is out of range.
    {"\xE0\x80\x80", Kind::Bad, 1},
    {"\xE0\x9F\xBF", Kind::Bad, 1},
    {"\xF0\x80\x80\x80", Kind::Bad, 1},
    {"\xF0\x8F\xBF\xBF", Kind::Bad, 1},
    {"\xED\xA0\x80", Kind::Bad, 1},
    {"\xED\xBF\xBF", Kind::Bad, 1},
    {"\xF4\x90\x80\x80", Kind::Bad, 1},
    // Cut short by the end, by ASCII, or by another lead.
    {"\xC3", Kind::Bad, 1},
    {"\xE2\x82", Kind::Bad, 2},
    {"\xF0\x9F\x98", Kind::Bad, 3},
    {"\xC3(", Kind::Bad, 1},
    {"\xE2(\xA1", Kind::Bad, 1},
    {"\xE2\x82(", Kind::Bad, 2},
    {"\xF0\x9F\x98(", Kind::Bad, 3},
    {"\xE0\xC0\x80", Kind::Bad, 1},
};

std::string Hex(std::string_view bytes) {
  std::string hex;
  for (const char c : bytes) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    hex.append(hex.empty() ? "" : " ").append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 15]);
  }
  return hex;
}

TEST(Utf8, DecodesEachSequenceOrSaysWhereItGoesWrong) {
  EXPECT_EQ(utf8::Decode("a", 0).length, 1);
  for (const auto& [bytes, kind, value] : kCases) {
    SCOPED_TRACE(Hex(bytes));
    const utf8::Sequence sequence = utf8::Decode(bytes, 0);
    if (kind == Kind::Bad) {
      EXPECT_EQ(sequence.length, 0);
      EXPECT_EQ(sequence.fits, value);
      EXPECT_FALSE(utf8::IsValid(bytes));
      continue;
    }
    EXPECT_EQ(sequence.length, bytes.size());
    EXPECT_EQ(sequence.point, value);
    EXPECT_EQ(utf8::IsNoncharacter(value), kind == Kind::NotText && value >= 0xA0);
    EXPECT_TRUE(utf8::IsValid("a" + std::string(bytes) + "z"));
    // Every shorter view of it is cut short at its end, whatever lies beyond.
    for (std::size_t size = 1; size < bytes.size(); ++size) {
      const utf8::Sequence cut = utf8::Decode(bytes.substr(0, size), 0);
      EXPECT_EQ(cut.length, 0) << size;
      EXPECT_EQ(cut.fits, size);
      EXPECT_EQ(utf8::Decode("x" + std::string(bytes.substr(0, size)), 1).fits, size);
    }
  }
}

// The JSON writer keeps what is well formed and writes every other byte as \u00XX; the report
// keeps text, shows a well-formed character that is no text as one U+FFFD, and every byte of an
// ill-formed sequence as one. ASCII among the bytes is left as it is.
TEST(Utf8, WritersKeepWellFormedTextAndMarkEveryByteThatIsNot) {
  const std::string kFffd = "\xEF\xBF\xBD";
  for (const auto& [bytes, kind, value] : kCases) {
    SCOPED_TRACE(Hex(bytes));
    std::string json = "\"a";
    std::string html = "a";
    if (kind == Kind::Bad) {
      for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
          json += c;
          html += c;
          continue;
        }
        constexpr std::string_view kDigits = "0123456789abcdef";
        json.append("\\u00").append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 15]);
        html += kFffd;
      }
    } else {
      json += bytes;
      html += kind == Kind::Text ? std::string(bytes) : kFffd;
    }
    json += "z\"";
    html += "z";
    const std::string text = "a" + std::string(bytes) + "z";
    std::string out;
    AppendJsonString(out, text);
    EXPECT_EQ(out, json);
    EXPECT_EQ(IsUtf8(text), kind != Kind::Bad);
    out.clear();
    html::Text(out, text);
    EXPECT_EQ(out, html);
    // At the very end of the text as well.
    out.clear();
    html::Text(out, bytes);
    EXPECT_EQ(out, html.substr(1, html.size() - 2));
  }
}

// The JSON reader takes a well-formed sequence into the string, and stops at the first byte that
// does not fit (the closing quote, when the text is cut short), showing what it read up to it.
TEST(Utf8, JsonReaderStopsAtTheFirstByteThatDoesNotFit) {
  for (const auto& [bytes, kind, value] : kCases) {
    SCOPED_TRACE(Hex(bytes));
    const std::string json = "[\"" + std::string(bytes) + "\"]";
    if (kind != Kind::Bad) {
      EXPECT_EQ(test::JsonEvents(json), "[\nstring " + std::string(bytes) + "\n]\n");
      continue;
    }
    const std::size_t bad = 2 + value;  // the byte that does not fit
    EXPECT_EQ(test::JsonEvents(json), "[\nerror f.json:1:" + std::to_string(bad + 1) +
                                          ": syntax error while parsing value - invalid string: "
                                          "ill-formed UTF-8 byte; last read: '" +
                                          json.substr(1, bad) + "'\n");
  }
}

}  // namespace
}  // namespace ssmsg
