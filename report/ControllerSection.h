#pragma once

// A controller's section of the report: its heading and warnings, its configuration and its
// records in tables (report/ControllerSection.cpp), its time zones, time groups and holidays as
// charts (report/Charts.cpp); each record marked against the site last sent.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/CSDevice_Fields.h"
#include "report/ReportHtml.h"

namespace ssmsg {

// Renders one controller: everything is appended to `out`.
class ControllerSection {
 public:
  ControllerSection(const ReportControllerView& view, std::string& out);

  void Write();

 private:
  using Store = CSApplicationManagerStd;

  // How a record compares with the one last sent (RowClass lists a class for each, in order).
  enum class Change { None, Added, Changed, Removed };
  static std::string_view RowClass(Change change);
  static void ChangeBadge(std::string& out, Change change);

  // The site last sent: its record at `index` of `before`, when there is one.
  template <class Records>
  static const typename Records::Item* Before(const Records* before, int index) {
    return before == nullptr ? nullptr : before->Find(index);
  }

  template <class Records>
  const Records* BeforeOf(const Records& (Store::*get)() const) const {
    return view_.before == nullptr ? nullptr : &(view_.before->*get)();
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

  // The heading, the warnings and the tables.
  void Address();
  void Name(const std::string& name);
  void RowId(std::string_view list, int position);
  const std::vector<ReportWarning>& WarningList() const { return *view_.warnings; }
  void Warnings();
  void WarningRows(std::string_view list, int position, std::size_t columns);
  // The warnings about the records of `lists` (at `position`; any where it is -1) as notes under
  // a chart.
  void WarningNotes(std::initializer_list<std::string_view> lists, int position = -1);
  void Value(const CSS_FieldInfo& info, const void* record, const CSToolEnum& enums);
  template <class Item>
  void Row(std::string_view list, int position, const Item& item, const Item* other, Change change,
           bool sent, const CSToolEnum& enums);
  template <class Records>
  void RecordTable(std::string_view title, std::string_view list,
                   const Records& (Store::*get)() const, int sentCount);
  // Whether the list is drawn, which of its records are, and the line that says where the
  // others are when some are left out of its `length` positions.
  bool Drawn(std::string_view list) const { return view_.only.empty() || view_.only == list; }
  ReportRows RowsOf(std::string_view list) const;
  void More(std::string_view list, std::string_view items, int length);
  template <class Record, std::size_t N>
  void Settings(const std::array<CSS_FieldInfo, N>& infos, const Record& record, const Record* old);
  void Configuration();
  void Lists();

  // The charts.
  void TimeZones();
  void Week(int group, const std::vector<CSDevice_TimeGroupZoneItem>& zones, Change change);
  static bool SameZones(const std::vector<CSDevice_TimeGroupZoneItem>& a,
                        const std::vector<CSDevice_TimeGroupZoneItem>& b);
  void TimeGroups();
  void Holidays();

  const ReportControllerView& view_;
  const Store& store_;
  std::string& out_;
  std::string prefix_;
};

}  // namespace ssmsg
