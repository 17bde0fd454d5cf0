// The CSV reader and writer that the site's spreadsheet export and import use.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/Csv.h"

namespace ssmsg::server {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(Csv, ReadsWhatQuotesHoldAndRefusesWhatIsBroken) {
  struct Case {
    std::string text;
    Rows rows;                            // when it reads
    std::string error;                    // how its error starts, when it does not
    std::vector<std::size_t> lines = {};  // where the rows start
  };
  const std::vector<Case> cases = {
      {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}, "", {1, 2}},
      {"a,b\nc,d", {{"a", "b"}, {"c", "d"}}, ""},
      {"\xEF\xBB\xBFName\n", {{"Name"}}, ""},
      {"\"a \"\"q\"\" b\",c\n", {{"a \"q\" b", "c"}}, ""},
      {"\"x,\r\ny\",z\r\n1,2\r\n", {{"x,\r\ny", "z"}, {"1", "2"}}, "", {1, 3}},
      {"a,\n,\n", {{"a", ""}, {"", ""}}, ""},
      {"\"\",\"\"\"\"\n", {{"", "\""}}, ""},
      {"", {}, ""},
      {"a,\"bc\n", {}, "line 1, column 2: the quoted field has no closing quote"},
      {"a,b\nc,\"d\n\n", {}, "line 2, column 2: the quoted field has no closing quote"},
      {"a,b\"c\n", {}, "line 1, column 2: a quote in a field not quoted"},
      {"\"a\"b,c\n", {}, "line 1, column 1: a closing quote must end its field"},
      {"a,b\nc\n", {}, "line 2, column 2: the row has fewer than 2 fields"},
      {"a,b\nc,d,e\n", {}, "line 2, column 3: the row has more than 2 fields"},
      {"a,b\n\"x\ny\",\xFF\n", {}, "line 2, column 2: the text is not UTF-8"},
      {"a,\xC3\n", {}, "line 1, column 2: the text is not UTF-8"},
      {"a\rb\n", {}, "line 1, column 1: a carriage return without a line feed"},
      {std::string(kCsvMaxField, 'x') + "\n", {{std::string(kCsvMaxField, 'x')}}, ""},
      {"\"" + std::string(kCsvMaxField + 1, 'x') + "\"", {}, "line 1, column 1: a field over"},
  };
  for (const Case& c : cases) {
    const auto read = ReadCsv(c.text);
    if (!c.error.empty()) {
      ASSERT_FALSE(read) << c.text;
      EXPECT_EQ(read.error().substr(0, c.error.size()), c.error) << read.error();
      continue;
    }
    ASSERT_TRUE(read) << c.text << ": " << read.error();
    Rows rows;
    std::vector<std::size_t> lines;
    for (const CsvRow& row : *read) {
      rows.push_back(row.fields);
      lines.push_back(row.line);
    }
    EXPECT_EQ(rows, c.rows) << c.text;
    if (!c.lines.empty()) {
      EXPECT_EQ(lines, c.lines) << c.text;
    }
  }
}

TEST(Csv, RefusesARowPastTheLimit) {
  std::string text;
  for (std::size_t k = 0; k < kCsvMaxRows; ++k)
    text += "a\n";
  EXPECT_TRUE(ReadCsv(text));
  const auto more = ReadCsv(text + "a\n");
  ASSERT_FALSE(more);
  EXPECT_EQ(more.error(), "line 1000001, column 1: more than 1000000 rows");
}

TEST(Csv, WhatIsWrittenReadsBackAsItWasAndWritesTheSame) {
  const Rows rows = {{"plain", "", "a,b", "say \"hi\""},
                     {"two\r\nlines", "lf\nonly", "cr\ronly", "\""},
                     {"", "", "", ""},
                     {"Tür ünïcödé", " spaced ", ",", "\"\""}};
  std::string text;
  for (const auto& row : rows)
    AppendCsvRow(text, row);
  const std::string start = "plain,,\"a,b\",\"say \"\"hi\"\"\"\r\n\"two\r\nlines\",";
  EXPECT_EQ(text.substr(0, start.size()), start);
  const auto read = ReadCsv(text);
  ASSERT_TRUE(read) << read.error();
  Rows back;
  std::string again;
  for (const CsvRow& row : *read) {
    back.push_back(row.fields);
    AppendCsvRow(again, row.fields);
  }
  EXPECT_EQ(back, rows);
  EXPECT_EQ(again, text);
}

}  // namespace
}  // namespace ssmsg::server
