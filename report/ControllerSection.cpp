#include "report/ControllerSection.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "report/Html.h"
#include "site/SiteLists.h"

namespace ssmsg {

// No list holds more positions than a record's 16-bit number counts.
constexpr std::size_t kMaxPositions = 1 << 16;

using html::Badge;
using html::Number;
using html::Text;

ControllerSection::ControllerSection(const ReportControllerView& view, std::string& out)
    : view_(view),
      store_(*view.store),
      out_(out),
      prefix_("c" + std::to_string(view.number) + "-") {}

std::string_view ControllerSection::RowClass(Change change) {
  static constexpr std::string_view kClasses[] = {"", "added", "changed", "removed"};
  return kClasses[static_cast<std::size_t>(change)];
}

void ControllerSection::ChangeBadge(std::string& out, Change change) {
  if (change == Change::Added) Badge(out, "add", "new");
  if (change == Change::Changed) Badge(out, "chg", "changed");
  if (change == Change::Removed) Badge(out, "del", "removed");
}

void ControllerSection::Write() {
  if (!view_.only.empty()) {
    out_ += "<section class=\"card controller\">";
    Lists();
    out_ += "</section>\n";
    return;
  }
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
  Lists();
  out_ += "</section>\n";
}

// The time groups, the holidays and the tables of records, those of `view_.only` alone when
// it names one.
void ControllerSection::Lists() {
  if (Drawn("TimeGroups")) TimeGroups();
  if (view_.only.empty()) Holidays();
  const CSS_Store& s = store_;
  const CSDevice_Resource& counts = s.GetResource();
  if (Drawn("Inputs")) {
    out_ += "<h3>Inputs</h3>";
    RecordTable("Type and wiring", "Inputs", &Store::GetInputType, counts.GetInputs());
    RecordTable("Timing", "Inputs.Time", &Store::GetInputTime, counts.GetInputs());
    RecordTable("Links", "Inputs.Link", &Store::GetInputLink, counts.GetInputs());
    More("Inputs", "inputs", FindCountedList("Inputs").length(s));
  }
  if (Drawn("Outputs")) {
    out_ += "<h3>Outputs</h3>";
    RecordTable("Type and wiring", "Outputs", &Store::GetOutputType, counts.GetOutputs());
    RecordTable("Timing", "Outputs.Time", &Store::GetOutputTime, counts.GetOutputs());
    More("Outputs", "outputs", FindCountedList("Outputs").length(s));
  }
  if (Drawn("Readers")) {
    out_ += "<h3>Readers</h3>";
    const int readers = counts.GetReaders();
    RecordTable("Configuration", "Readers", &Store::GetRdConfiguration, readers);
    RecordTable("Card control", "Readers.CardControl", &Store::GetRdCardControl, readers);
    RecordTable("Card location", "Readers.CardLocation", &Store::GetRdCardLocation, readers);
    RecordTable("Card structure", "Readers.CardStructure", &Store::GetRdCardStructure, readers);
    RecordTable("Access alarms", "Readers.AccessAlarm", &Store::GetRdAccessAlarm, readers);
    More("Readers", "readers", FindCountedList("Readers").length(s));
  }
  if (Drawn("Ports") || Drawn("FLAN")) out_ += "<h3>Serial ports and field-LAN nodes</h3>";
  if (Drawn("Ports")) {
    RecordTable("Serial ports", "Ports", &Store::GetPort, counts.GetComms());
    More("Ports", "serial ports", s.GetPort().GetRecordCount());
  }
  if (Drawn("FLAN")) {
    RecordTable("Field-LAN nodes", "FLAN", &Store::GetFLan_Setup, counts.GetCommsFLAN());
    More("FLAN", "field-LAN nodes", s.GetFLan_Setup().GetRecordCount());
  }
}

ReportRows ControllerSection::RowsOf(std::string_view list) const {
  return view_.rows ? view_.rows(list.substr(0, list.find('.'))) : ReportRows{};
}

void ControllerSection::More(std::string_view list, std::string_view items, int length) {
  const ReportRows rows = RowsOf(list);
  const auto all = static_cast<std::size_t>(std::max(length, 0));
  if (rows.more.empty() || (rows.first == 0 && rows.end >= all)) return;
  out_ += "<p class=\"meta\">";
  Number(out_, static_cast<std::int64_t>(std::min(rows.first + 1, all)));
  out_ += "&ndash;";
  Number(out_, static_cast<std::int64_t>(std::min(rows.end, all)));
  out_ += " of ";
  Number(out_, static_cast<std::int64_t>(all));
  out_ += ' ';
  Text(out_, items);
  out_ += " &middot; <a href=\"";
  Text(out_, rows.more);
  out_ += "\">the others, a page at a time</a></p>";
}

void ControllerSection::Address() {
  out_ += "<span class=\"addr\">";
  Number(out_, view_.address.interfaceId);
  out_ += '.';
  Number(out_, view_.address.node);
  out_ += "</span>";
}

void ControllerSection::Name(const std::string& name) {
  if (name.empty()) {
    out_ += "<span class=\"missing\">(no name)</span>";
  } else {
    out_ += "<span class=\"name\">";
    Text(out_, name);
    out_ += "</span>";
  }
}

// The id of the row of `list` at `position`.
void ControllerSection::RowId(std::string_view list, int position) {
  out_ += prefix_;
  for (const char c : list)
    out_ += c == '.' ? '-' : c;
  out_ += '-';
  Number(out_, position);
}

void ControllerSection::Warnings() {
  if (WarningList().empty()) return;
  out_ += "<ul class=\"warnings\">";
  for (const ReportWarning& warning : WarningList()) {
    out_ += "<li>";
    // Where the record is drawn: a time group's zones in its week, a holiday on the calendar.
    std::string_view list = warning.list;
    int position = warning.position;
    if (list == "TimeGroups.Zones") list = "TimeGroups";
    if (list == "Holidays") position = -1;
    if (warning.position >= 0) {
      out_ += "<a href=\"#";
      RowId(list, position);
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

void ControllerSection::WarningNotes(std::initializer_list<std::string_view> lists, int position) {
  for (const ReportWarning& warning : WarningList()) {
    if (position >= 0 && warning.position != position) continue;
    if (std::find(lists.begin(), lists.end(), warning.list) == lists.end()) continue;
    out_ += "<p class=\"missing\">warning: ";
    Text(out_, warning.text);
    out_ += "</p>";
  }
}

// The warnings about the record of `list` at `position`, as rows under it.
void ControllerSection::WarningRows(std::string_view list, int position, std::size_t columns) {
  for (const ReportWarning& warning : WarningList()) {
    if (warning.position != position || warning.list != list) continue;
    out_ += "<tr class=\"note\"><td colspan=\"";
    Number(out_, static_cast<std::int64_t>(columns));
    out_ += "\">warning: ";
    Text(out_, warning.text);
    out_ += "</td></tr>";
  }
}

void ControllerSection::Value(const CSS_FieldInfo& info, const void* record,
                              const CSToolEnum& enums) {
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

template <class Item>
void ControllerSection::Row(std::string_view list, int position, const Item& item,
                            const Item* other, Change change, bool sent, const CSToolEnum& enums) {
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

// A table of every record of the list that `get` gives, one row per position that holds one (or
// held one in the site last sent); positions from `sentCount` on are never sent.
template <class Records>
void ControllerSection::RecordTable(std::string_view title, std::string_view list,
                                    const Records& (Store::*get)() const, int sentCount) {
  const Records& records = (store_.*get)();
  const Records* before = BeforeOf(get);
  using Item = typename Records::Item;
  const ReportRows rows = RowsOf(list);
  const int first = static_cast<int>(std::min<std::size_t>(rows.first, kMaxPositions));
  const int length = static_cast<int>(std::min<std::size_t>(
      {static_cast<std::size_t>(
           std::max(records.GetRecordCount(), before == nullptr ? 0 : before->GetRecordCount())),
       rows.end, kMaxPositions}));
  bool any = false;
  for (int position = first; position < length && !any; ++position) {
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
  for (int position = first; position < length; ++position) {
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
void ControllerSection::Settings(const std::array<CSS_FieldInfo, N>& infos, const Record& record,
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

void ControllerSection::Configuration() {
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

}  // namespace ssmsg
