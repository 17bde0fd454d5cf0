#include "report/ReportHtml.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <map>
#include <set>
#include <type_traits>
#include <utility>

#include "host/CSDevice_Fields.h"
#include "site/SiteLists.h"

namespace ssmsg {
namespace {

using Store = CSApplicationManagerStd;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Forbids every request: the page needs nothing but itself. Its one style sheet is inline; no
// script runs at all.
constexpr std::string_view kPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'";

constexpr std::string_view kStyle = R"(
:root{--ink:#1d2430;--muted:#5b6575;--line:#d8dde6;--bg:#f5f7fa;--card:#fff;--on:#2f7d5b;
--accent:#2456a6;--add:#e3f4e9;--chg:#fff3cd;--del:#fbe3e3;--warn:#b45309}
*{box-sizing:border-box}
body{margin:0;font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",sans-serif;
color:var(--ink);background:var(--bg)}
header.top{background:#1f3b63;color:#fff;padding:18px 28px}
header.top h1{margin:0;font-size:22px;font-weight:600}
header.top p{margin:4px 0 0;color:#c9d6ea}
header.top a{color:#fff}
main{padding:20px 28px;max-width:1400px}
section.card{background:var(--card);border:1px solid var(--line);border-radius:8px;
padding:16px 20px;margin:0 0 22px}
h2{margin:0 0 4px;font-size:19px}
h3{margin:18px 0 8px;font-size:15px;color:#23395d;border-bottom:1px solid var(--line);
padding-bottom:3px}
h4{margin:12px 0 4px;font-size:13px;color:var(--muted);font-weight:600}
.meta{color:var(--muted);margin:0 0 8px}
.meta b{color:var(--ink)}
a{color:var(--accent)}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-size:12.5px}
th,td{border:1px solid var(--line);padding:3px 7px;text-align:left;vertical-align:top}
th{background:#eef1f6;font-weight:600;white-space:nowrap}
td.n{text-align:right;font-variant-numeric:tabular-nums}
tr.added>td{background:var(--add)}
tr.changed>td.chg{background:var(--chg)}
tr.removed>td{background:var(--del);text-decoration:line-through;color:#7a3030}
tr.unsent>td{color:#8a93a3;font-style:italic}
tr.note>td{border-top:none;color:var(--warn);background:#fff8ef}
.badge{display:inline-block;font-size:11px;border-radius:9px;padding:0 7px;margin-left:6px;
font-style:normal;text-decoration:none;vertical-align:1px}
.b-add{background:#c8ecd5;color:#1b5e3a}.b-chg{background:#ffe69c;color:#6b4e00}
.b-del{background:#f6c5c5;color:#7a1d1d}.b-off{background:#e3e6ec;color:#4d5666}
.b-warn{background:#fde2c3;color:#8a3c00}
ul.warnings{margin:6px 0 10px;padding-left:20px;color:var(--warn)}
.missing{color:var(--warn)}
.cols{display:flex;flex-wrap:wrap;gap:8px 28px}
.cols>div{min-width:260px}
.chart{display:grid;grid-template-columns:12em 1fr;align-items:center;gap:3px 10px;
max-width:1000px}
.chart .lab{font-size:12.5px}
.chart svg.added rect{fill:#1f9d55}.chart svg.changed rect{fill:#c98a00}
.chart svg.removed rect{fill:#c65454}
.chart .lab small{color:var(--muted)}
.chart svg{display:block;width:100%;height:16px;background-color:#f0f2f6;
background-image:repeating-linear-gradient(to right,#d5dae3 0 1px,transparent 1px 4.1667%);
border-radius:3px}
.chart svg rect{fill:var(--on)}
.chart .zone rect{fill:#4a78c2}
.chart .axis{display:grid;grid-template-columns:repeat(12,1fr);font-size:11px;color:var(--muted)}
.week{margin:6px 0 14px}
.week .hol{font-style:italic}
.sr{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap}
table.cal td,table.cal th{padding:1px 0;width:22px;text-align:center;font-size:11px}
table.cal th[scope=row]{width:auto;padding:1px 6px;text-align:left}
table.cal td.nx{background:#e9ecf1}
table.cal td.hol{background:var(--on);color:#fff;font-weight:600}
table.cal td.hol.added{background:#1f9d55}
table.cal td.gone{background:var(--del);color:#7a1d1d;text-decoration:line-through}
table.overview td,table.overview th{padding:4px 8px}
table.overview tr:target>td{background:#fff8d6}
section.card:target{outline:3px solid #9db7e0}
dl.kv{display:grid;grid-template-columns:auto 1fr;gap:2px 14px;margin:0;font-size:12.5px}
dl.kv dt{color:var(--muted)}dl.kv dd{margin:0}
dl.kv dd.chg{background:var(--chg)}
.legend span{margin-right:10px}
footer{color:var(--muted);padding:0 28px 24px;font-size:12px}
)";

void Number(std::string& out, std::int64_t value) {
  std::array<char, 24> buffer;
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

std::string ToText(std::int64_t value) {
  std::string text;
  Number(text, value);
  return text;
}

// Two digits at least: "07", "-1", "130".
void TwoDigits(std::string& out, std::int64_t value) {
  if (value >= 0 && value < 10) out += '0';
  Number(out, value);
}

void HourMinute(std::string& out, std::int64_t hour, std::int64_t minute) {
  TwoDigits(out, hour);
  out += ':';
  TwoDigits(out, minute);
}

void Text(std::string& out, std::string_view text) {
  AppendHtmlText(out, text);
}

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<int, 12> kMonthDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::array<std::string_view, 8> kDays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                   "Friday", "Saturday", "Sunday",    "Holiday"};
constexpr std::array<std::uint8_t CSDevice_TimeGroupZoneItem::*, 8> kDayFlags = {
    &CSDevice_TimeGroupZoneItem::Monday,    &CSDevice_TimeGroupZoneItem::Tuesday,
    &CSDevice_TimeGroupZoneItem::Wednesday, &CSDevice_TimeGroupZoneItem::Thursday,
    &CSDevice_TimeGroupZoneItem::Friday,    &CSDevice_TimeGroupZoneItem::Saturday,
    &CSDevice_TimeGroupZoneItem::Sunday,    &CSDevice_TimeGroupZoneItem::Holiday};

// The part of the day that a time zone covers, in minutes from midnight: [from, to). A zone that
// ends before it starts runs past midnight and covers two parts.
struct Span {
  int from = 0;
  int to = 0;
};

int Minutes(std::int64_t hour, std::int64_t minute) {
  return static_cast<int>(std::clamp<std::int64_t>(hour * 60 + minute, 0, 1440));
}

std::vector<Span> SpansOf(const CSDevice_TimeZoneItem& zone) {
  const int from = Minutes(zone.StartHour, zone.StartMinute);
  const int to = Minutes(zone.EndHour, zone.EndMinute);
  if (from < to) return {{from, to}};
  if (from == to) return {};
  std::vector<Span> spans;
  if (from < 1440) spans.push_back({from, 1440});
  if (to > 0) spans.push_back({0, to});
  return spans;
}

void ZoneHours(std::string& out, const CSDevice_TimeZoneItem& zone) {
  HourMinute(out, zone.StartHour, zone.StartMinute);
  out += "\xE2\x80\x93";  // en dash
  HourMinute(out, zone.EndHour, zone.EndMinute);
  if (Minutes(zone.EndHour, zone.EndMinute) < Minutes(zone.StartHour, zone.StartMinute)) {
    out += " (past midnight)";
  }
}

// One day's bar: each span a rectangle on a 1440-minute axis, with its text on hover; the whole
// bar is an image whose text is `label`.
void Bar(std::string& out, const std::vector<std::pair<Span, std::string>>& spans,
         std::string_view label, std::string_view extraClass) {
  out += "<svg viewBox=\"0 0 1440 10\" preserveAspectRatio=\"none\" role=\"img\"";
  if (!extraClass.empty()) out.append(" class=\"").append(extraClass).append("\"");
  out += " aria-label=\"";
  out += label;  // already escaped
  out += "\">";
  for (const auto& [span, title] : spans) {
    out += "<rect x=\"";
    Number(out, span.from);
    out += "\" y=\"0\" width=\"";
    Number(out, span.to - span.from);
    out += "\" height=\"10\" data-from=\"";
    Number(out, span.from);
    out += "\" data-to=\"";
    Number(out, span.to);
    out += "\"><title>";
    out += title;  // already escaped
    out += "</title></rect>";
  }
  out += "</svg>";
}

void Axis(std::string& out) {
  out += "<div></div><div class=\"axis\" aria-hidden=\"true\">";
  for (int hour = 0; hour < 24; hour += 2) {
    out += "<span>";
    TwoDigits(out, hour);
    out += "</span>";
  }
  out += "</div>";
}

void Badge(std::string& out, std::string_view kind, std::string_view text) {
  out.append("<span class=\"badge b-").append(kind).append("\">").append(text).append("</span>");
}

// The site last sent: its record at `index` of `before`, when there is one.
template <class Records>
const typename Records::Item* Before(const Records* before, int index) {
  return before == nullptr ? nullptr : before->Find(index);
}

// How a record compares with the one last sent.
enum class Change { None, Added, Changed, Removed };

std::string_view RowClass(Change change) {
  switch (change) {
    case Change::Added:
      return "added";
    case Change::Changed:
      return "changed";
    case Change::Removed:
      return "removed";
    case Change::None:
      break;
  }
  return {};
}

void ChangeBadge(std::string& out, Change change) {
  if (change == Change::Added) Badge(out, "add", "new");
  if (change == Change::Changed) Badge(out, "chg", "changed");
  if (change == Change::Removed) Badge(out, "del", "removed");
}

// Renders one controller: everything is appended to `out_`.
class ControllerWriter {
 public:
  ControllerWriter(const ReportControllerView& view, std::string& out)
      : view_(view), store_(*view.store), out_(out) {
    prefix_ = "c" + ToText(static_cast<std::int64_t>(view.number)) + "-";
  }

  void Write() {
    out_ += "<section class=\"card controller\" id=\"c-";
    Number(out_, static_cast<std::int64_t>(view_.number));
    out_ += "\" aria-labelledby=\"";
    out_ += prefix_;
    out_ += "h\"><h2 id=\"";
    out_ += prefix_;
    out_ += "h\">";
    Address();
    out_ += ' ';
    Name(store_.GetConfig().Name);
    if (view_.compared && view_.before == nullptr) Badge(out_, "add", "new controller");
    out_ += "</h2><p class=\"meta\">Interface <b>";
    Number(out_, view_.address.interfaceId);
    out_ += "</b>, node <b>";
    Number(out_, view_.address.node);
    out_ += "</b> &middot; a full configuration is <b>";
    Number(out_, static_cast<std::int64_t>(view_.messages));
    out_ += "</b> messages";
    if (view_.compared) {
      out_ += " &middot; <span class=\"diffcount\"><b>";
      Number(out_, static_cast<std::int64_t>(view_.diffMessages));
      out_ += "</b> messages in the diff</span>";
    }
    out_ += " &middot; <a class=\"back\" href=\"";
    out_ += view_.pages ? "index.html" : "";
    out_ += "#row-";
    Number(out_, static_cast<std::int64_t>(view_.number));
    out_ += "\">back to the overview</a></p>";
    Warnings();
    Configuration();
    TimeZones();
    TimeGroups();
    Holidays();
    out_ += "<h3>Inputs</h3>";
    RecordTable("Type and wiring", "Inputs", store_.GetInputType(), BeforeOf(&Store::GetInputType),
                store_.GetResource().GetInputs());
    RecordTable("Timing", "Inputs.Time", store_.GetInputTime(), BeforeOf(&Store::GetInputTime),
                store_.GetResource().GetInputs());
    RecordTable("Links", "Inputs.Link", store_.GetInputLink(), BeforeOf(&Store::GetInputLink),
                store_.GetResource().GetInputs());
    out_ += "<h3>Outputs</h3>";
    RecordTable("Type and wiring", "Outputs", store_.GetOutputType(),
                BeforeOf(&Store::GetOutputType), store_.GetResource().GetOutputs());
    RecordTable("Timing", "Outputs.Time", store_.GetOutputTime(), BeforeOf(&Store::GetOutputTime),
                store_.GetResource().GetOutputs());
    out_ += "<h3>Readers</h3>";
    const int readers = store_.GetResource().GetReaders();
    RecordTable("Configuration", "Readers", store_.GetRdConfiguration(),
                BeforeOf(&Store::GetRdConfiguration), readers);
    RecordTable("Card control", "Readers.CardControl", store_.GetRdCardControl(),
                BeforeOf(&Store::GetRdCardControl), readers);
    RecordTable("Card location", "Readers.CardLocation", store_.GetRdCardLocation(),
                BeforeOf(&Store::GetRdCardLocation), readers);
    RecordTable("Card structure", "Readers.CardStructure", store_.GetRdCardStructure(),
                BeforeOf(&Store::GetRdCardStructure), readers);
    RecordTable("Access alarms", "Readers.AccessAlarm", store_.GetRdAccessAlarm(),
                BeforeOf(&Store::GetRdAccessAlarm), readers);
    out_ += "<h3>Serial ports and field-LAN nodes</h3>";
    RecordTable("Serial ports", "Ports", store_.GetPort(), BeforeOf(&Store::GetPort),
                store_.GetResource().GetComms());
    RecordTable("Field-LAN nodes", "FLAN", store_.GetFLan_Setup(), BeforeOf(&Store::GetFLan_Setup),
                store_.GetResource().GetCommsFLAN());
    out_ += "</section>\n";
  }

 private:
  template <class Records>
  const Records* BeforeOf(const Records& (Store::*get)() const) const {
    return view_.before == nullptr ? nullptr : &(view_.before->*get)();
  }

  void Address() {
    out_ += "<span class=\"addr\">";
    Number(out_, view_.address.interfaceId);
    out_ += '.';
    Number(out_, view_.address.node);
    out_ += "</span>";
  }

  void Name(const std::string& name) {
    if (name.empty()) {
      out_ += "<span class=\"missing\">(no name)</span>";
    } else {
      out_ += "<span class=\"name\">";
      Text(out_, name);
      out_ += "</span>";
    }
  }

  // The id of the row of `list` at `position`.
  void RowId(std::string_view list, int position) {
    out_ += prefix_;
    for (const char c : list)
      out_ += c == '.' ? '-' : c;
    out_ += '-';
    Number(out_, position);
  }

  const std::vector<ReportWarning>& WarningList() const { return *view_.warnings; }

  void Warnings() {
    if (WarningList().empty()) return;
    out_ += "<ul class=\"warnings\">";
    for (const ReportWarning& warning : WarningList()) {
      out_ += "<li>";
      if (warning.position >= 0) {
        out_ += "<a href=\"#";
        RowId(warning.list, warning.position);
        out_ += "\">";
        Text(out_, warning.text);
        out_ += "</a>";
      } else {
        Text(out_, warning.text);
      }
      out_ += "</li>";
    }
    out_ += "</ul>";
  }

  // The warnings about the record of `list` at `position`, as rows under it.
  void WarningRows(std::string_view list, int position, std::size_t columns) {
    for (const ReportWarning& warning : WarningList()) {
      if (warning.position != position || warning.list != list) continue;
      out_ += "<tr class=\"note\"><td colspan=\"";
      Number(out_, static_cast<std::int64_t>(columns));
      out_ += "\">warning: ";
      Text(out_, warning.text);
      out_ += "</td></tr>";
    }
  }

  void Value(const CSS_FieldInfo& info, const void* record, const CSToolEnum& enums) {
    switch (info.kind) {
      case CSS_FieldKind::Text:
        Text(out_, info.text(record));
        return;
      case CSS_FieldKind::Flag:
        out_ += info.get(record) != 0 ? "yes" : "no";
        return;
      case CSS_FieldKind::Number:
        Number(out_, info.get(record));
        return;
      case CSS_FieldKind::Enum: {
        const std::int64_t value = info.get(record);
        const std::string_view text =
            enums.Get(info.enumeration)->EnumToString(static_cast<int>(value));
        if (text.empty()) {
          out_ += "<span class=\"missing\">";
          Number(out_, value);
          out_ += " (no text)</span>";
        } else {
          out_ += "<span title=\"";
          Number(out_, value);
          out_ += "\">";
          Text(out_, text);
          out_ += "</span>";
        }
        return;
      }
    }
  }

  static bool SameField(const CSS_FieldInfo& info, const void* a, const void* b) {
    return info.kind == CSS_FieldKind::Text ? info.text(a) == info.text(b)
                                            : info.get(a) == info.get(b);
  }

  // The five level time groups of an input's timing, which are not plain fields.
  template <class Item>
  static constexpr std::size_t kExtra =
      std::is_same_v<Item, CSDevice_InputTimeItem> ? std::size_t{CSDevice_InputTimeItem::kLevels}
                                                   : 0;

  template <class Item>
  static std::int64_t Extra(const Item& item, std::size_t i) {
    if constexpr (kExtra < Item >> 0) {
      return item.LevelTG[i];
    } else {
      (void)item;
      (void)i;
      return 0;
    }
  }

  template <class Item>
  static bool Same(const Item& a, const Item& b) {
    for (const CSS_FieldInfo& info : kRecordFieldInfos<Item>) {
      if (!SameField(info, &a, &b)) return false;
    }
    for (std::size_t i = 0; i < kExtra<Item>; ++i) {
      if (Extra(a, i) != Extra(b, i)) return false;
    }
    return true;
  }

  template <class Item>
  void Row(std::string_view list, int position, const Item& item, const Item* other, Change change,
           bool sent, const CSToolEnum& enums) {
    out_ += "<tr id=\"";
    RowId(list, position);
    out_ += '"';
    std::string_view rowClass = RowClass(change);
    if (rowClass.empty() && !sent) rowClass = "unsent";
    if (!rowClass.empty()) out_.append(" class=\"").append(rowClass).append("\"");
    out_ += "><td class=\"n\">";
    Number(out_, position + 1);
    if (change == Change::None && !sent) Badge(out_, "off", "not sent");
    ChangeBadge(out_, change);
    out_ += "</td>";
    for (const CSS_FieldInfo& info : kRecordFieldInfos<Item>) {
      const bool changed = change == Change::Changed && !SameField(info, &item, other);
      out_ += info.kind == CSS_FieldKind::Number ? "<td class=\"n" : "<td class=\"";
      if (changed) out_ += info.kind == CSS_FieldKind::Number ? " chg" : "chg";
      out_ += "\">";
      Value(info, &item, enums);
      if (changed) {
        out_ += "<span class=\"sr\"> (was ";
        Value(info, other, *view_.beforeEnums);
        out_ += ")</span>";
      }
      out_ += "</td>";
    }
    for (std::size_t i = 0; i < kExtra<Item>; ++i) {
      const bool changed = change == Change::Changed && Extra(item, i) != Extra(*other, i);
      out_ += changed ? "<td class=\"n chg\">" : "<td class=\"n\">";
      Number(out_, Extra(item, i));
      out_ += "</td>";
    }
    out_ += "</tr>";
  }

  // A table of every record of `records`, one row per position that holds one (or held one in
  // the site last sent); positions from `sent` on are never sent.
  template <class Records>
  void RecordTable(std::string_view title, std::string_view list, const Records& records,
                   const Records* before, int sentCount) {
    using Item = typename Records::Item;
    const int length =
        std::max(records.GetRecordCount(), before == nullptr ? 0 : before->GetRecordCount());
    bool any = false;
    for (int position = 0; position < length && !any; ++position) {
      const int index = position + Records::kFirstIndex;
      any = records.Find(index) != nullptr || Before(before, index) != nullptr;
    }
    if (!any) return;
    out_ += "<h4>";
    Text(out_, title);
    out_ += "</h4><div class=\"scroll\"><table><thead><tr><th scope=\"col\">No.</th>";
    for (const CSS_FieldInfo& info : kRecordFieldInfos<Item>) {
      out_ += "<th scope=\"col\">";
      Text(out_, info.name);
      out_ += "</th>";
    }
    for (std::size_t i = 0; i < kExtra<Item>; ++i) {
      out_ += "<th scope=\"col\">Level ";
      Number(out_, static_cast<std::int64_t>(i + 1));
      out_ += " TG</th>";
    }
    out_ += "</tr></thead><tbody>";
    const std::size_t columns = 1 + kRecordFieldInfos<Item>.size() + kExtra<Item>;
    for (int position = 0; position < length; ++position) {
      const int index = position + Records::kFirstIndex;
      const Item* item = records.Find(index);
      const Item* old = Before(before, index);
      if (item == nullptr && old == nullptr) continue;
      const bool sent = position < sentCount;
      if (item == nullptr) {
        Row(list, position, *old, old, Change::Removed, sent, *view_.beforeEnums);
      } else {
        Change change = Change::None;
        if (view_.before != nullptr) {
          change = old == nullptr      ? Change::Added
                   : Same(*item, *old) ? Change::None
                                       : Change::Changed;
        } else if (view_.compared) {
          change = Change::Added;
        }
        Row(list, position, *item, old, change, sent, *view_.enums);
      }
      WarningRows(list, position, columns);
    }
    out_ += "</tbody></table></div>";
  }

  // The general configuration and the XTRA unit, as name and value.
  template <class Record, std::size_t N>
  void Settings(const std::array<CSS_FieldInfo, N>& infos, const Record& record,
                const Record* old) {
    for (const CSS_FieldInfo& info : infos) {
      out_ += "<dt>";
      Text(out_, info.name);
      const bool changed = old != nullptr && !SameField(info, &record, old);
      out_ += changed ? "</dt><dd class=\"chg\">" : "</dt><dd>";
      Value(info, &record, *view_.enums);
      if (changed) {
        out_ += " <small>(was ";
        Value(info, old, *view_.beforeEnums);
        out_ += ")</small>";
      }
      out_ += "</dd>";
    }
  }

  void Configuration() {
    const CSDevice_Config* oldConfig = view_.before ? &view_.before->GetConfig() : nullptr;
    const CSDevice_XTRA* oldXtra = view_.before ? &view_.before->GetXTRA() : nullptr;
    out_ +=
        "<h3>Configuration</h3><div class=\"cols\"><div><h4>Database and expanders</h4>"
        "<dl class=\"kv\" id=\"";
    RowId("Config", -1);
    out_ += "\">";
    Settings(kRecordFieldInfos<CSDevice_Config>, store_.GetConfig(), oldConfig);
    out_ += "</dl></div><div><h4>XTRA unit</h4><dl class=\"kv\" id=\"";
    RowId("XTRA", -1);
    out_ += "\">";
    Settings(kXtraNameField.Infos(), store_.GetConfig(), oldConfig);
    Settings(kRecordFieldInfos<CSDevice_XTRA>, store_.GetXTRA(), oldXtra);
    out_ += "</dl></div><div><h4>Capabilities</h4><dl class=\"kv\">";
    for (const CSS_CountedList& list : kCountedLists) {
      out_ += "<dt>";
      out_ += list.count;
      out_ += "</dt><dd>";
      Number(out_, (store_.GetResource().*list.get)());
      out_ += "</dd>";
    }
    out_ += "</dl></div></div>";
  }

  // The time zones that the controller is sent, by zone number: the first of each number.
  std::vector<std::pair<int, const CSDevice_TimeZoneItem*>> SentZones() const {
    std::vector<std::pair<int, const CSDevice_TimeZoneItem*>> zones;
    const CSDevice_TimeZone& records = store_.GetTimeZone();
    const int count = std::min<int>(store_.GetResource().GetTimeZones(), records.GetRecordCount());
    for (int index = 1; index <= count; ++index) {
      if (const CSDevice_TimeZoneItem* zone = records.Find(index)) {
        zones.emplace_back(zone->ZoneNo, zone);
      }
    }
    std::stable_sort(zones.begin(), zones.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return zones;
  }

  void TimeZones() {
    const CSDevice_TimeZone& records = store_.GetTimeZone();
    const CSDevice_TimeZone* before = BeforeOf(&Store::GetTimeZone);
    const int length =
        std::max(records.GetRecordCount(), before == nullptr ? 0 : before->GetRecordCount());
    if (length == 0) return;
    out_ += "<h3>Time zones</h3><div class=\"chart\">";
    Axis(out_);
    std::string label;
    std::string title;
    for (int index = 1; index <= length; ++index) {
      const CSDevice_TimeZoneItem* zone = records.Find(index);
      const CSDevice_TimeZoneItem* old = Before(before, index);
      if (zone == nullptr && old == nullptr) continue;
      Change change = Change::None;
      if (zone == nullptr) {
        change = Change::Removed;
        zone = old;
      } else if (view_.compared) {
        change = old == nullptr      ? Change::Added
                 : Same(*zone, *old) ? Change::None
                                     : Change::Changed;
      }
      label.clear();
      label += "Zone ";
      Number(label, zone->ZoneNo);
      label += ": ";
      ZoneHours(label, *zone);
      out_ += "<div class=\"lab\" id=\"";
      RowId("TimeZones", index - 1);
      out_ += "\">";
      out_ += label;
      if (index > store_.GetResource().GetTimeZones()) Badge(out_, "off", "not sent");
      ChangeBadge(out_, change);
      if (change == Change::Changed) {
        out_ += " <small>(was zone ";
        Number(out_, old->ZoneNo);
        out_ += ": ";
        ZoneHours(out_, *old);
        out_ += ")</small>";
      }
      out_ += "</div>";
      std::vector<std::pair<Span, std::string>> spans;
      for (const Span& span : SpansOf(*zone))
        spans.emplace_back(span, label);
      Bar(out_, spans, label,
          change == Change::None ? "zone" : "zone " + std::string(RowClass(change)));
    }
    out_ += "</div>";
    for (const ReportWarning& warning : WarningList()) {
      if (warning.list != "TimeZones") continue;
      out_ += "<p class=\"missing\">warning: ";
      Text(out_, warning.text);
      out_ += "</p>";
    }
  }

  // One time group as a week on the 24-hour axis: for each day and the holiday row, the hours
  // that its zones in force that day cover.
  void Week(int group, const std::vector<CSDevice_TimeGroupZoneItem>& zones, Change change) {
    const auto sentZones = SentZones();
    const auto find = [&](int zoneNo) -> const CSDevice_TimeZoneItem* {
      const auto at = std::lower_bound(sentZones.begin(), sentZones.end(), zoneNo,
                                       [](const auto& entry, int no) { return entry.first < no; });
      return at != sentZones.end() && at->first == zoneNo ? at->second : nullptr;
    };
    out_ += "<div class=\"week\" id=\"";
    RowId("TimeGroups", group - 1);
    out_ += "\"><h4>Time group ";
    Number(out_, group);
    if (group > store_.GetResource().GetTimeGroups()) Badge(out_, "off", "not sent");
    ChangeBadge(out_, change);
    out_ += "</h4><div class=\"chart\">";
    Axis(out_);
    std::string label;
    for (std::size_t day = 0; day < kDays.size(); ++day) {
      // The zones in force that day, and the spans they cover, merged where they meet.
      std::vector<std::pair<Span, const CSDevice_TimeZoneItem*>> covered;
      std::string missing;
      label.clear();
      label += kDays[day];
      label += ':';
      bool any = false;
      for (const CSDevice_TimeGroupZoneItem& entry : zones) {
        if (entry.*kDayFlags[day] == 0) continue;
        const CSDevice_TimeZoneItem* zone = find(entry.ZoneNo);
        label += any ? ", zone " : " zone ";
        any = true;
        Number(label, entry.ZoneNo);
        label += ' ';
        if (zone == nullptr) {
          label += "(not a time zone of the controller)";
          continue;
        }
        ZoneHours(label, *zone);
        for (const Span& span : SpansOf(*zone))
          covered.emplace_back(span, zone);
      }
      if (!any) label += " none";
      std::sort(covered.begin(), covered.end(), [](const auto& a, const auto& b) {
        return a.first.from < b.first.from ||
               (a.first.from == b.first.from && a.first.to < b.first.to);
      });
      std::vector<std::pair<Span, std::string>> spans;
      for (std::size_t i = 0; i < covered.size();) {
        Span merged = covered[i].first;
        std::string title;
        std::size_t j = i;
        for (; j < covered.size() && covered[j].first.from <= merged.to; ++j) {
          merged.to = std::max(merged.to, covered[j].first.to);
          if (!title.empty()) title += "; ";
          title += "zone ";
          Number(title, covered[j].second->ZoneNo);
          title += ' ';
          ZoneHours(title, *covered[j].second);
        }
        spans.emplace_back(merged, std::move(title));
        i = j;
      }
      out_ += day + 1 == kDays.size() ? "<div class=\"lab hol\">" : "<div class=\"lab\">";
      out_ += kDays[day];
      out_ += "</div>";
      Bar(out_, spans, label, kDays[day]);
    }
    out_ += "</div></div>";
  }

  static bool SameZones(const std::vector<CSDevice_TimeGroupZoneItem>& a,
                        const std::vector<CSDevice_TimeGroupZoneItem>& b) {
    return std::ranges::equal(a, b, [](const auto& x, const auto& y) { return Same(x, y); });
  }

  void TimeGroups() {
    const CSDevice_TimeGroupZone& groups = store_.GetTimeGroupZone();
    const CSDevice_TimeGroupZone* before = BeforeOf(&Store::GetTimeGroupZone);
    const int length =
        std::max(groups.GetRecordCount(), before == nullptr ? 0 : before->GetRecordCount());
    bool heading = false;
    for (int group = 1; group <= length; ++group) {
      const auto* zones = groups.FindGroup(group);
      const auto* old = before == nullptr ? nullptr : before->FindGroup(group);
      if (zones == nullptr && old == nullptr) continue;
      if (!heading) out_ += "<h3>Time groups</h3>";
      heading = true;
      Change change = Change::None;
      if (zones == nullptr) {
        change = Change::Removed;
        zones = old;
      } else if (view_.compared) {
        change = old == nullptr            ? Change::Added
                 : SameZones(*zones, *old) ? Change::None
                                           : Change::Changed;
      }
      Week(group, *zones, change);
      for (const ReportWarning& warning : WarningList()) {
        if (warning.list != "TimeGroups" || warning.position != group - 1) continue;
        out_ += "<p class=\"missing\">warning: ";
        Text(out_, warning.text);
        out_ += "</p>";
      }
    }
  }

  static int DateKey(const CSDevice_HolidayItem& holiday) {
    if (holiday.Month < 1 || holiday.Month > 12 || holiday.Day < 1 ||
        holiday.Day > kMonthDays[static_cast<std::size_t>(holiday.Month - 1)]) {
      return -1;
    }
    return holiday.Month * 100 + holiday.Day;
  }

  // The holidays on a calendar of twelve months (without a year: 29 February is a day), and
  // those that are not a calendar day below it.
  void Holidays() {
    const CSDevice_Holiday& records = store_.GetHoliday();
    const CSDevice_Holiday* before = BeforeOf(&Store::GetHoliday);
    std::map<int, int> now;  // date -> holiday number (1-based position)
    std::set<int> then;
    std::vector<std::pair<int, const CSDevice_HolidayItem*>> odd;
    for (int index = 0; index < records.GetRecordCount(); ++index) {
      const CSDevice_HolidayItem* holiday = records.Find(index);
      if (holiday == nullptr) continue;
      const int key = DateKey(*holiday);
      if (key < 0) {
        odd.emplace_back(index + 1, holiday);
      } else {
        now.try_emplace(key, index + 1);
      }
    }
    for (int index = 0; before != nullptr && index < before->GetRecordCount(); ++index) {
      if (const CSDevice_HolidayItem* holiday = before->Find(index)) then.insert(DateKey(*holiday));
    }
    if (now.empty() && odd.empty() && then.empty()) return;
    out_ += "<h3>Holidays</h3><div class=\"scroll\"><table class=\"cal\" id=\"";
    RowId("Holidays", -1);
    out_ += "\"><thead><tr><th scope=\"col\">Month</th>";
    for (int day = 1; day <= 31; ++day) {
      out_ += "<th scope=\"col\">";
      Number(out_, day);
      out_ += "</th>";
    }
    out_ += "</tr></thead><tbody>";
    for (int month = 1; month <= 12; ++month) {
      out_ += "<tr><th scope=\"row\">";
      out_ += kMonths[static_cast<std::size_t>(month - 1)];
      out_ += "</th>";
      for (int day = 1; day <= 31; ++day) {
        const int key = month * 100 + day;
        if (day > kMonthDays[static_cast<std::size_t>(month - 1)]) {
          out_ += "<td class=\"nx\"></td>";
          continue;
        }
        const auto found = now.find(key);
        const bool wasHoliday = then.contains(key);
        if (found == now.end()) {
          if (view_.before != nullptr && wasHoliday) {
            out_ += "<td class=\"gone\" title=\"no longer a holiday\">";
            Number(out_, day);
            out_ += "</td>";
          } else {
            out_ += "<td></td>";
          }
          continue;
        }
        const bool added = view_.compared && !wasHoliday;
        out_ += added ? "<td class=\"hol added\" data-date=\"" : "<td class=\"hol\" data-date=\"";
        TwoDigits(out_, month);
        out_ += '-';
        TwoDigits(out_, day);
        out_ += "\" title=\"Holiday ";
        Number(out_, found->second);
        out_ += ": ";
        Number(out_, day);
        out_ += ' ';
        out_ += kMonths[static_cast<std::size_t>(month - 1)];
        out_ += added ? " (new)\">" : "\">";
        Number(out_, day);
        out_ += "</td>";
      }
      out_ += "</tr>";
    }
    out_ += "</tbody></table></div><p class=\"meta\">";
    Number(out_, static_cast<std::int64_t>(now.size()));
    out_ += now.size() == 1 ? " holiday" : " holidays";
    for (const auto& [number, holiday] : odd) {
      out_ += "; <span class=\"missing\">holiday ";
      Number(out_, number);
      out_ += " (month ";
      Number(out_, holiday->Month);
      out_ += ", day ";
      Number(out_, holiday->Day);
      out_ += ") is not a calendar day</span>";
    }
    out_ += "</p>";
  }

  const ReportControllerView& view_;
  const Store& store_;
  std::string& out_;
  std::string prefix_;
};

template <class Records>
int Present(const Records& records) {
  int count = 0;
  for (int position = 0; position < records.GetRecordCount(); ++position) {
    if (records.Find(position + Records::kFirstIndex) != nullptr) ++count;
  }
  return count;
}

void Head(std::string& out, std::string_view title) {
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  out += kPolicy;
  out +=
      "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"referrer\" content=\"no-referrer\">\n<title>";
  out += title;  // already escaped
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n</head>\n<body>\n";
}

void Footer(const ReportSiteView& site, std::string& out) {
  out += "<footer>Made by ssmsg ";
  Text(out, site.version);
  out += " from ";
  Text(out, site.fileName);
  out += ". Text that is not UTF-8 is shown as \xEF\xBF\xBD.</footer>\n</body>\n</html>\n";
}

}  // namespace

void AppendHtmlText(std::string& out, std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t run = 0;  // where the bytes not yet copied begin
  std::size_t i = 0;
  while (i < size) {
    const unsigned char c = bytes[i];
    if (c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'') {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      // One UTF-8 sequence: kept when it is well formed and not a C1 control or noncharacter.
      std::size_t length = 0;
      std::uint32_t point = 0;
      if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        point = c & 0x1Fu;
      } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        point = c & 0x0Fu;
      } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        point = c & 0x07u;
      }
      bool good = length > 0 && i + length <= size;
      for (std::size_t k = 1; good && k < length; ++k) {
        const unsigned char next = bytes[i + k];
        good = (next & 0xC0u) == 0x80u;
        point = (point << 6) | (next & 0x3Fu);
      }
      good = good && !(length == 3 && point < 0x800) && !(length == 4 && point < 0x10000) &&
             point <= 0x10FFFF && !(point >= 0xD800 && point <= 0xDFFF);
      // A character that is well formed but no text (a C1 control, a noncharacter) is one
      // replacement; a malformed sequence is one for each byte.
      const bool isText = good && !(point < 0xA0) && !(point >= 0xFDD0 && point <= 0xFDEF) &&
                          (point & 0xFFFEu) != 0xFFFEu;
      if (isText) {
        i += length;
        continue;
      }
      out.append(text.data() + run, i - run);
      out += kReplacement;
      i += good ? length : 1;
      run = i;
      continue;
    }
    out.append(text.data() + run, i - run);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\t':
      case '\n':
        out += static_cast<char>(c);
        break;
      default:
        out += kReplacement;
        break;
    }
    run = ++i;
  }
  out.append(text.data() + run, size - run);
}

void RenderController(const ReportControllerView& view, std::string& out) {
  ControllerWriter(view, out).Write();
}

void RenderOverviewRow(const ReportControllerView& view, std::string& out) {
  const Store& store = *view.store;
  out += "<tr id=\"row-";
  Number(out, static_cast<std::int64_t>(view.number));
  out += "\"><td><a href=\"";
  if (view.pages) {
    out += "controller-";
    Number(out, static_cast<std::int64_t>(view.number));
    out += ".html";
  }
  out += "#c-";
  Number(out, static_cast<std::int64_t>(view.number));
  out += "\">";
  Number(out, view.address.interfaceId);
  out += '.';
  Number(out, view.address.node);
  out += "</a></td><td>";
  if (store.GetConfig().Name.empty()) {
    out += "<span class=\"missing\">(no name)</span>";
  } else {
    Text(out, store.GetConfig().Name);
  }
  if (view.compared && view.before == nullptr) Badge(out, "add", "new");
  out += "</td>";
  const std::array<int, 8> counts = {
      Present(store.GetInputType()),
      Present(store.GetOutputType()),
      Present(store.GetRdConfiguration()),
      Present(store.GetPort()),
      Present(store.GetFLan_Setup()),
      Present(store.GetTimeZone()),
      [&] {
        int groups = 0;
        for (int g = 1; g <= store.GetTimeGroupZone().GetRecordCount(); ++g)
          groups += store.GetTimeGroupZone().FindGroup(g) != nullptr ? 1 : 0;
        return groups;
      }(),
      Present(store.GetHoliday())};
  for (const int count : counts) {
    out += "<td class=\"n\">";
    Number(out, count);
    out += "</td>";
  }
  out += "<td class=\"n\">";
  Number(out, static_cast<std::int64_t>(view.messages));
  out += "</td>";
  if (view.compared) {
    out += "<td class=\"n\">";
    Number(out, static_cast<std::int64_t>(view.diffMessages));
    out += "</td>";
  }
  out += "<td class=\"n\">";
  Number(out, static_cast<std::int64_t>(view.warnings->size()));
  if (!view.warnings->empty()) Badge(out, "warn", "see");
  out += "</td></tr>\n";
}

void RenderControllerPage(const ReportSiteView& site, std::size_t k, std::string_view section,
                          std::string& out) {
  std::string title = "Controller ";
  Number(title, static_cast<std::int64_t>(k));
  title += " of ";
  Text(title, site.fileName);
  Head(out, title);
  out += "<header class=\"top\"><h1>";
  out += title;
  out += "</h1><p><a href=\"index.html#row-";
  Number(out, static_cast<std::int64_t>(k));
  out += "\">Overview of the site</a></p></header>\n<main>\n";
  out += section;
  out += "</main>\n";
  Footer(site, out);
}

void RenderIndexHead(const ReportSiteView& site, std::string_view rows, std::string& out) {
  std::string title = "Site report: ";
  Text(title, site.fileName);
  Head(out, title);
  out += "<header class=\"top\"><h1>";
  out += title;
  out += "</h1><p>";
  Number(out, static_cast<std::int64_t>(site.controllers));
  out += site.controllers == 1 ? " controller" : " controllers";
  if (!site.oldFileName.empty()) {
    out += ", compared with ";
    Text(out, site.oldFileName);
    out += ": the diff sends ";
    Number(out, static_cast<std::int64_t>(site.diffMessages));
    out += " messages";
  }
  out += "</p></header>\n<main>\n<section class=\"card\" id=\"overview\"><h2>Overview</h2>";
  if (!site.oldFileName.empty()) {
    out +=
        "<p class=\"legend\">Marks against the site last sent: <span class=\"badge b-add\">new"
        "</span> <span class=\"badge b-chg\">changed</span> <span class=\"badge b-del\">"
        "removed</span></p>";
  }
  if (!site.warnings->empty()) {
    out += "<ul class=\"warnings\">";
    for (const std::string& warning : *site.warnings) {
      out += "<li>";
      Text(out, warning);
      out += "</li>";
    }
    out += "</ul>";
  }
  if (!site.removed->empty()) {
    out += "<p class=\"meta\">No longer in the site (nothing is sent to them):";
    for (const CSS_ControllerAddress& address : *site.removed) {
      out += " <span class=\"badge b-del\">";
      Number(out, address.interfaceId);
      out += '.';
      Number(out, address.node);
      out += "</span>";
    }
    out += "</p>";
  }
  out +=
      "<div class=\"scroll\"><table class=\"overview\"><thead><tr>"
      "<th scope=\"col\">Address</th><th scope=\"col\">Name</th>"
      "<th scope=\"col\">Inputs</th><th scope=\"col\">Outputs</th>"
      "<th scope=\"col\">Readers</th><th scope=\"col\">Ports</th>"
      "<th scope=\"col\">Field-LAN nodes</th><th scope=\"col\">Time zones</th>"
      "<th scope=\"col\">Time groups</th><th scope=\"col\">Holidays</th>"
      "<th scope=\"col\">Messages</th>";
  if (!site.oldFileName.empty()) out += "<th scope=\"col\">In the diff</th>";
  out += "<th scope=\"col\">Warnings</th></tr></thead><tbody>\n";
  out += rows;
  out += "</tbody></table></div></section>\n";
}

void RenderIndexTail(const ReportSiteView& site, std::string& out) {
  out += "</main>\n";
  Footer(site, out);
}

}  // namespace ssmsg
