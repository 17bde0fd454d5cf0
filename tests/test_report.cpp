// The site report: text made safe for HTML, pages in order and alike whatever the jobs, and
// warnings beside their records.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <ssmsg/Report.h>

#include "report/Html.h"
#include "report/ReportHtml.h"
#include "site_support.h"
#include "support.h"

namespace ssmsg {
namespace test {
extern const std::string_view kEveryByte;  // tests/every_byte.bin, compiled in
}  // namespace test
namespace {

TEST(ReportText, EscapesMarkupAndReplacesWhatIsNotText) {
  const std::string kFffd = "\xEF\xBF\xBD";
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain text", "plain text"},
      {"<img src=x onerror=alert(1)>", "&lt;img src=x onerror=alert(1)&gt;"},
      {"a & \"b\" 'c'", "a &amp; &quot;b&quot; &#39;c&#39;"},
      {"tab\tline\nend", "tab\tline\nend"},
      {std::string("nul\0bell\x07"
                   "del\x7F",
                   13),
       "nul" + kFffd + "bell" + kFffd + "del" + kFffd},
      {"<\xC3\xA9>\xC2\x85&", "&lt;\xC3\xA9&gt;" + kFffd + "&amp;"},
  };
  for (const auto& [in, out] : cases) {
    std::string html;
    html::Text(html, in);
    EXPECT_EQ(html, out) << in;
  }
}

// A file compiled in keeps every byte as it is: NUL, quotes, backslashes, CR LF, bytes that are
// not UTF-8.
TEST(CompiledText, KeepsEveryByteOfTheFile) {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte)
    bytes += static_cast<char>(byte);
  EXPECT_EQ(test::kEveryByte, bytes + "\r\n");
  EXPECT_EQ(html::kStyleSheet, test::ReadFile(SSMSG_TEST_SITES "/../../report/report.css"));
}

// A page that stands alone holds the style sheet; one that links it allows that sheet and no
// inline style.
TEST(ReportText, PageHeadHoldsOrLinksTheStyleSheet) {
  std::string page;
  html::PageHead(page, "T");
  EXPECT_NE(page.find("<style>\n" + std::string(html::kStyleSheet) + "</style>"),
            std::string::npos);
  EXPECT_NE(page.find("style-src 'unsafe-inline'"), std::string::npos);
  page.clear();
  html::PageHead(page, "T", "/report.css?v=1&x=\"");
  EXPECT_NE(page.find("<link rel=\"stylesheet\" href=\"/report.css?v=1&amp;x=&quot;\">"),
            std::string::npos);
  EXPECT_EQ(page.find("<style>"), std::string::npos);
  EXPECT_EQ(page.find("unsafe-inline"), std::string::npos);
  EXPECT_NE(page.find("style-src 'self'"), std::string::npos);
}

// The pages of a report, by name, in the order they came.
struct Pages {
  std::vector<std::string> order;
  std::map<std::string, std::string> text;
};

Pages Report(const CSS_Site& site, CSS_ReportOptions options) {
  Pages pages;
  EXPECT_TRUE(MakeSiteReport(site, options, [&](std::string_view page, std::string_view text) {
    if (pages.order.empty() || pages.order.back() != page) pages.order.emplace_back(page);
    pages.text[std::string(page)] += text;
    return true;
  }));
  return pages;
}

using test::LoadOk;

std::string Controllers(int count) {
  std::string text = R"({"Controllers": [)";
  for (int n = 0; n < count; ++n) {
    text += n == 0 ? "" : ",";
    text += R"({"Interface": 1, "Node": )" + std::to_string(n) + R"(, "Name": "C)" +
            std::to_string(n) + R"(", "Resource": {"Inputs": 1}, "Inputs": [
              {"Name": "in", "Type": 1}, {"Name": "beyond", "Type": 77}],
            "TimeZones": [{"ZoneNo": 1, "StartHour": 22, "StartMinute": 0, "EndHour": 6,
                           "EndMinute": 30}],
            "TimeGroups": [{"Zones": [{"ZoneNo": 1, "Monday": true}]}]})";
  }
  return text + "]}";
}

TEST(Report, PagesComeInOrderAndAlikeWhateverTheJobs) {
  const CSS_Site site = LoadOk(Controllers(7));
  CSS_ReportOptions options;
  options.pages = true;
  options.jobs = 1;
  const Pages one = Report(site, options);
  options.jobs = 4;
  const Pages four = Report(site, options);
  ASSERT_EQ(one.order.size(), 8u);
  for (std::size_t k = 1; k <= 7; ++k)
    EXPECT_EQ(one.order[k - 1], ReportControllerPage(k));
  EXPECT_EQ(one.order.back(), kReportIndexPage);
  EXPECT_EQ(one.text, four.text);
  // The index links to each page, and each page back to its row.
  EXPECT_NE(one.text.at("index.html").find("href=\"controller-7.html#c-7\""), std::string::npos);
  EXPECT_NE(one.text.at("controller-7.html").find("href=\"index.html#row-7\""), std::string::npos);

  options.pages = false;
  options.selection = {1, 5};
  const Pages chosen = Report(site, options);
  ASSERT_EQ(chosen.order, std::vector<std::string>{"index.html"});
  EXPECT_NE(chosen.text.at("index.html").find(">C5<"), std::string::npos);
  EXPECT_EQ(chosen.text.at("index.html").find(">C3<"), std::string::npos);
}

TEST(Report, WarningsStandBesideTheirRecords) {
  const CSS_Site site = LoadOk(Controllers(1));
  const std::string page = Report(site, {}).text.at("index.html");
  // The second input lies beyond Resource.Inputs, and its type has no text: both are said in
  // the row under it, and the row is marked as never sent.
  const std::size_t row = page.find("<tr id=\"c1-Inputs-1\" class=\"unsent\">");
  ASSERT_NE(row, std::string::npos);
  const std::size_t note = page.find("<tr class=\"note\">", row);
  ASSERT_NE(note, std::string::npos);
  EXPECT_NE(page.find("InputType value 77 has no text", note), std::string::npos);
  EXPECT_NE(page.find("beyond Resource.Inputs", note), std::string::npos);
  // A zone past midnight fills the end of Monday and its start.
  EXPECT_NE(page.find("data-from=\"1320\" data-to=\"1440\""), std::string::npos);
  EXPECT_NE(page.find("data-from=\"0\" data-to=\"390\""), std::string::npos);
}

// Only calendar days are drawn on the calendar, and counted; the others are warnings below it.
TEST(Report, OnlyCalendarDaysAreOnTheCalendar) {
  const CSS_Site site = LoadOk(R"({"Controllers": [{"Interface": 1, "Node": 1, "Holidays": [
      {"Month": 0, "Day": 1}, {"Month": 13, "Day": 1}, {"Month": 1, "Day": 0},
      {"Month": 2, "Day": 30}, {"Month": 12, "Day": 31}]}]})");
  const std::string page = Report(site, {}).text.at("index.html");
  EXPECT_TRUE(test::Contains(page, "title=\"Holiday 5: 31 Dec\""));
  EXPECT_TRUE(test::Contains(page, "<p class=\"meta\">1 holiday on the calendar</p>"));
  EXPECT_TRUE(test::Contains(page, "Holidays[1].Month: 13 is not a month (1..12)"));
}

TEST(Report, StopsWhenTheSinkDoes) {
  const CSS_Site site = LoadOk(Controllers(5));
  CSS_ReportOptions options;
  options.pages = true;
  int calls = 0;
  EXPECT_FALSE(MakeSiteReport(site, options,
                              [&](std::string_view, std::string_view) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace ssmsg
