// The charts of a controller's section: its time zones as bars on the hours of a day, each time
// group as a week of such bars, and the holidays on a calendar.

#include "report/ControllerSection.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <utility>

#include "host/CSDevice_Fields.h"
#include "report/Html.h"
#include "site/Findings.h"

namespace ssmsg {
namespace {

using html::Badge;
using html::Number;
using html::Text;
using html::TwoDigits;

void HourMinute(std::string& out, std::int64_t hour, std::int64_t minute) {
  TwoDigits(out, hour);
  out += ':';
  TwoDigits(out, minute);
}

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
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

int DateKey(const CSDevice_HolidayItem& holiday) {
  if (holiday.Month < 1 || holiday.Month > 12 || holiday.Day < 1 ||
      holiday.Day > kMonthDays[static_cast<std::size_t>(holiday.Month - 1)]) {
    return -1;
  }
  return holiday.Month * 100 + holiday.Day;
}

}  // namespace

void ControllerSection::TimeZones() {
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
      change = old == nullptr ? Change::Added : Same(*zone, *old) ? Change::None : Change::Changed;
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
  WarningNotes({"TimeZones"});
}

// One time group as a week on the 24-hour axis: for each day and the holiday row, the hours
// that its zones in force that day cover.
void ControllerSection::Week(int group, const std::vector<CSDevice_TimeGroupZoneItem>& zones,
                             Change change) {
  const auto sentZones = SentZones(store_);
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

bool ControllerSection::SameZones(const std::vector<CSDevice_TimeGroupZoneItem>& a,
                                  const std::vector<CSDevice_TimeGroupZoneItem>& b) {
  return std::ranges::equal(a, b, [](const auto& x, const auto& y) { return Same(x, y); });
}

void ControllerSection::TimeGroups() {
  const CSDevice_TimeGroupZone& groups = store_.GetTimeGroupZone();
  const CSDevice_TimeGroupZone* before = BeforeOf(&Store::GetTimeGroupZone);
  const int all =
      std::max(groups.GetRecordCount(), before == nullptr ? 0 : before->GetRecordCount());
  const ReportRows rows = RowsOf("TimeGroups");
  const int length = static_cast<int>(std::min(rows.end, static_cast<std::size_t>(all)));
  bool heading = false;
  for (int group = static_cast<int>(std::min(rows.first, static_cast<std::size_t>(all))) + 1;
       group <= length; ++group) {
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
    WarningNotes({"TimeGroups", "TimeGroups.Zones"}, group - 1);
  }
  More("TimeGroups", "time groups", all);
}

// The holidays on a calendar of twelve months (without a year: 29 February is a day), and the
// warnings about them (those that are not a calendar day) below it.
void ControllerSection::Holidays() {
  const CSDevice_Holiday& records = store_.GetHoliday();
  const CSDevice_Holiday* before = BeforeOf(&Store::GetHoliday);
  std::map<int, int> now;  // date -> holiday number (1-based position)
  std::set<int> then;
  bool any = false;
  for (int index = 0; index < records.GetRecordCount(); ++index) {
    const CSDevice_HolidayItem* holiday = records.Find(index);
    if (holiday == nullptr) continue;
    any = true;
    if (const int key = DateKey(*holiday); key >= 0) now.try_emplace(key, index + 1);
  }
  for (int index = 0; before != nullptr && index < before->GetRecordCount(); ++index) {
    if (const CSDevice_HolidayItem* holiday = before->Find(index)) then.insert(DateKey(*holiday));
  }
  if (!any && then.empty()) return;
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
  out_ += now.size() == 1 ? " holiday on the calendar</p>" : " holidays on the calendar</p>";
  WarningNotes({"Holidays"});
}

}  // namespace ssmsg
