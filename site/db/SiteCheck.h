#pragma once

// The checks of a site database's rows, whichever database they come from: every value, position
// and link to a parent row is checked again as it is read, and each error names the table and the
// row. A source of rows (an SQLite database, a PostgreSQL server's results) gives:
//   Cells                        the cells of one row (see SqliteCells)
//   Rows(TableId, address)       a cursor over the rows of a controller in a table, in the order
//                                of their numbers, its cells from the first column after
//                                "Interface" and "Node"
//   Controller(position)         a cursor on the controller's row of controllers, its cells from
//                                the first column after "Node"
//   Controllers()                a cursor over "Position", "Interface", "Node" of every
//                                controller, in the order of "Position"
//   EnumTexts()                  a cursor over "Enumeration", "Value", "Text", in that order
// A cursor has Next() (true on a row) and Cells(). A source that holds a window of controllers at
// a time (WindowedSource) is given each window before its controllers are read.

#include <algorithm>
#include <array>
#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>

#include "core/ErrorCap.h"
#include "core/OrderedWork.h"
#include "host/CSDevice_Fields.h"
#include "site/Findings.h"
#include "site/SiteData.h"
#include "site/SiteLists.h"
#include "site/StoreImage.h"
#include "site/db/DbRows.h"
#include "site/db/Sqlite.h"
#include "site/db/Tables.h"

namespace ssmsg::db {

// Hands `each` every row of table `id` of the controller at `address` (in the order of its
// numbers) with its "Number", which must be 1 or more and given once; the last number that a row
// has (0 for none).
template <class Source, class Each>
std::int64_t NumberedRows(Source& database, Check& check, TableId id,
                          const CSS_ControllerAddress& address, Each each) {
  auto rows = database.Rows(id, address);
  std::int64_t last = 0;
  while (rows.Next()) {
    ++check.rows[id];
    BasicRow<typename Source::Cells> row{rows.Cells(), check, id, address};
    std::int64_t number = 0;
    if (!row.Integer(0, "Number", 1, kMaxPosition, number)) continue;
    row.number = number;
    if (number == last) {
      check.Error(row.Where(), "a second row for this position");
      continue;
    }
    last = number;
    each(row, number);
  }
  return last;
}

// Reads the rows of list table `id` of the controller at `address` into `records`, each row at
// its position; every row must have a record of `parent` at its position. The last position that
// has a row (0 for none).
template <class Source, class Records, class Parent = Records, class Extra = std::nullptr_t>
std::int64_t ReadList(Source& database, Check& check, TableId id,
                      const CSS_ControllerAddress& address, Records& records,
                      const Parent* parent = nullptr, Extra extra = nullptr) {
  using Item = typename Records::Item;
  Item item;
  return NumberedRows(database, check, id, address, [&](auto& row, std::int64_t number) {
    if (parent != nullptr &&
        parent->Find(static_cast<int>(number - 1 + Parent::kFirstIndex)) == nullptr) {
      check.Error(row.Where(), "no row of " + std::string(Tables()[Tables()[id].parent].name) +
                                   " at this number");
      return;
    }
    item.Clear();
    const int next = ReadFields(row, 1, kRecordFields<Item>, item);
    if constexpr (!std::is_same_v<Extra, std::nullptr_t>) extra(row, next, item);
    records.Set(static_cast<int>(number - 1 + Records::kFirstIndex), item);
  });
}

// Makes `records` `length` positions long at least, the new ones without a record.
template <class Records>
void Extend(Records& records, std::int64_t length) {
  if (length > records.GetRecordCount()) {
    records.Decline(static_cast<int>(length - 1 + Records::kFirstIndex));
  }
}

template <class Source>
void ReadTimeGroups(Source& database, Check& check, const CSS_ControllerAddress& address,
                    std::int64_t length, CSDevice_TimeGroupZone& groups) {
  std::vector<std::int64_t> numbers;  // of the groups, ascending
  NumberedRows(database, check, kTimeGroups, address,
               [&numbers](auto&, std::int64_t number) { numbers.push_back(number); });
  std::vector<std::pair<std::int64_t, CSDevice_TimeGroupZoneItem>> zones;
  {
    auto rows = database.Rows(kZones, address);
    std::int64_t lastGroup = 0;
    std::int64_t lastNumber = 0;
    while (rows.Next()) {
      ++check.rows[kZones];
      BasicRow<typename Source::Cells> row{rows.Cells(), check, kZones, address};
      std::int64_t group = 0;
      std::int64_t number = 0;
      if (!row.Integer(0, "TimeGroup", 1, kMaxPosition, group)) continue;
      row.group = group;
      if (!row.Integer(1, "Number", 1, kMaxPosition, number)) continue;
      row.number = number;
      if (group == lastGroup && number == lastNumber) {
        check.Error(row.Where(), "a second row for this position");
        continue;
      }
      lastGroup = group;
      lastNumber = number;
      if (!std::binary_search(numbers.begin(), numbers.end(), group)) {
        check.Error(row.Where(), "no row of time_groups at this time group");
        continue;
      }
      CSDevice_TimeGroupZoneItem zone{};
      ReadFields(row, 2, kRecordFields<CSDevice_TimeGroupZoneItem>, zone);
      zone.TimeGroupNo = static_cast<std::int16_t>(group);
      zones.emplace_back(group, zone);
    }
  }
  const std::int64_t count = std::max(length, numbers.empty() ? 0 : numbers.back());
  auto zone = zones.begin();
  auto number = numbers.begin();
  for (std::int64_t group = 1; group <= count; ++group) {
    if (number == numbers.end() || *number != group) {
      groups.Append(std::nullopt);
      continue;
    }
    ++number;
    std::vector<CSDevice_TimeGroupZoneItem> items;
    for (; zone != zones.end() && zone->first == group; ++zone)
      items.push_back(zone->second);
    groups.Append(std::move(items));
  }
}

// Reads every record of the controller at `position` and `address` into `store`.
template <class Source>
void ReadController(Source& database, Check& check, std::int64_t position,
                    const CSS_ControllerAddress& address, CSApplicationManagerStd& store) {
  store.Clear();
  std::array<std::int64_t, kListCount> lengths{};
  {
    auto controller = database.Controller(position);
    if (!controller.Next()) throw DbError("controllers: a row vanished while it was read");
    const BasicRow<typename Source::Cells> row{controller.Cells(), check, kControllers, address};
    int column = ReadFields(row, 0, kXtraNameField, store.GetConfig());
    column = ReadFields(row, column, kRecordFields<CSDevice_Config>, store.GetConfig());
    column = ReadFields(row, column, kRecordFields<CSDevice_XTRA>, store.GetXTRA());
    for (std::size_t list = 0; list < kListCount; ++list)
      row.Nullable(column++, kListKeys[list], 0, kMaxPosition, lengths[list]);
  }
  const auto list = [&](TableId id, auto& records, ListId length) {
    Extend(records, std::max(ReadList(database, check, id, address, records), lengths[length]));
  };
  list(kHolidays, store.GetHoliday(), kLHolidays);
  list(kTimeZones, store.GetTimeZone(), kLTimeZones);
  ReadTimeGroups(database, check, address, lengths[kLTimeGroups], store.GetTimeGroupZone());
  list(kPorts, store.GetPort(), kLPorts);
  list(kFLan, store.GetFLan_Setup(), kLFLan);

  list(kInputs, store.GetInputType(), kLInputs);
  const CSDevice_InputType& inputs = store.GetInputType();
  ReadList(database, check, kInputTimes, address, store.GetInputTime(), &inputs,
           [](const auto& row, int column, CSDevice_InputTimeItem& item) {
             for (int level = 0; level < CSDevice_InputTimeItem::kLevels; ++level) {
               std::int64_t value = 0;
               const auto at = static_cast<std::size_t>(level);
               if (row.Integer(column + level, kLevelColumns[at], kInt16Min, kInt16Max, value)) {
                 item.LevelTG[at] = static_cast<std::int16_t>(value);
               }
             }
           });
  ReadList(database, check, kInputLinks, address, store.GetInputLink(), &inputs);

  list(kOutputs, store.GetOutputType(), kLOutputs);
  const CSDevice_OutputType& outputs = store.GetOutputType();
  ReadList(database, check, kOutputTimes, address, store.GetOutputTime(), &outputs);

  list(kReaders, store.GetRdConfiguration(), kLReaders);
  const CSDevice_RdConfiguration& readers = store.GetRdConfiguration();
  ReadList(database, check, kCardControls, address, store.GetRdCardControl(), &readers);
  ReadList(database, check, kCardLocations, address, store.GetRdCardLocation(), &readers);
  ReadList(database, check, kCardStructures, address, store.GetRdCardStructure(), &readers);
  ReadList(database, check, kAccessAlarms, address, store.GetRdAccessAlarm(), &readers);

  // The counts given, then the lengths of their lists for those not given.
  std::array<bool, std::size(kCountedLists)> given{};
  {
    auto rows = database.Rows(kResources, address);
    bool first = true;
    while (rows.Next()) {
      ++check.rows[kResources];
      const BasicRow<typename Source::Cells> row{rows.Cells(), check, kResources, address};
      if (!first) {
        check.Error(row.Where(), "a second row for this controller");
        continue;
      }
      first = false;
      for (std::size_t i = 0; i < std::size(kCountedLists); ++i) {
        std::int64_t count = 0;
        if (!row.Nullable(static_cast<int>(i), kCountedLists[i].count, kInt16Min, kInt16Max,
                          count)) {
          continue;
        }
        (store.GetResource().*kCountedLists[i].set)(static_cast<std::int16_t>(count));
        (store.GetResource().*kCountedLists[i].setGiven)(true);
        given[i] = true;
      }
    }
  }
  for (std::size_t i = 0; i < std::size(kCountedLists); ++i) {
    if (given[i]) continue;
    const CSS_CountedList& counted = kCountedLists[i];
    (store.GetResource().*counted.set)(static_cast<std::int16_t>(counted.length(store)));
  }
}

// What the check of each controller needs: the connections and where each controller is.
template <class Pool>
struct CheckContext {
  Pool& readers;
  const std::vector<std::int64_t>& positions;
  const std::vector<CSS_ControllerAddress>& addresses;
  std::string_view fileName;
  std::size_t first = 0;  // the controller that piece 0 is
};

// One controller, read and checked: what was wrong, and otherwise its findings and its image.
struct CheckedController {
  Check check;
  SiteFindings findings;
  std::string image;
};

// Reads and checks one controller on a connection of its own; its findings are added to the
// site's in the controllers' order (AddChecked), so that they are the same whatever the number
// of threads. A controller is read once: its image is what the site keeps of it.
template <class Pool>
struct CheckWorker {
  using Context = CheckContext<Pool>;
  using Input = std::size_t;
  using Output = CheckedController;

  explicit CheckWorker(const Context& context_) : context(context_) {}

  void Run(std::size_t controller, CheckedController& out) {
    Check& check = out.check;
    check.fileName = context.fileName;
    check.errors.clear();
    check.beyond = 0;
    check.rows.fill(0);
    out.findings = {};
    out.image.clear();
    {
      const typename Pool::Lease database(context.readers);
      ReadController(*database, check, context.positions[context.first + controller],
                     context.addresses[context.first + controller], store);
    }
    if (!check.errors.empty()) return;
    out.findings.AddController(context.first + controller, store);
    EncodeStore(store, out.image);
  }

  const Context& context;
  CSApplicationManagerStd store;
};

// Adds one controller's check to the site's; false once there are more errors than are listed.
inline bool AddChecked(Check& check, SiteFindings& findings, std::vector<std::string>& images,
                       CheckedController& piece) {
  for (std::size_t id = 0; id < kTableCount; ++id)
    check.rows[id] += piece.check.rows[id];
  for (std::string& error : piece.check.errors)
    KeepError(check.errors, check.beyond, std::move(error));
  check.beyond += piece.check.beyond;
  if (check.errors.empty()) {
    findings.Append(piece.findings);
    images.push_back(std::move(piece.image));
  }
  return !check.Full();
}

template <class Source>
void ReadEnumTexts(Source& database, Check& check, std::vector<CSS_SiteEnumText>& texts) {
  auto rows = database.EnumTexts();
  while (rows.Next()) {
    const auto cells = rows.Cells();
    CSS_SiteEnumText text{};
    const auto where = [&] {
      return "enum_texts[" + cells.Describe(0) + ", " + cells.Describe(1) + "]";
    };
    std::string_view name;
    const std::optional<CSToolEnumId> id =
        cells.Text(0, name) ? CSToolEnum::FindByName(name) : std::nullopt;
    std::int64_t value = 0;
    if (!id) {
      check.Error(where() + ".Enumeration", "unknown enumeration");
      continue;
    }
    if (!cells.Integer(1, value) || value < kInt32Min || value > kInt32Max) {
      check.Error(where() + ".Value", "not an integer in " + std::to_string(kInt32Min) + ".." +
                                          std::to_string(kInt32Max));
      continue;
    }
    std::string_view view;
    if (!cells.Text(2, view)) {
      check.Error(where() + ".Text", cells.Describe(2) + " is not a text");
      continue;
    }
    text.text = view;
    if (!IsUtf8(text.text)) {
      check.Error(where() + ".Text", "the text is not valid UTF-8");
      continue;
    }
    if (const std::optional<char32_t> control = utf8::FirstControl(text.text)) {
      check.Error(where() + ".Text", utf8::ControlProblem(*control));
      continue;
    }
    text.id = *id;
    text.value = static_cast<int>(value);
    texts.push_back(std::move(text));
  }
}

// A source that reads the controllers at `positions` (ascending) when told, kWindow of them at a
// time, and holds no others; `next` are those of the window after, which it may begin to read.
template <class Source>
concept WindowedSource = requires(Source& source, std::span<const std::int64_t> positions) {
  source.Window(positions, positions);
  { Source::kWindow } -> std::convertible_to<std::size_t>;
};

// Checks every controller of `first` (on the connections of `pool`, `first` among them), each
// with an address of its own, then the orphans (`orphans(check)`: rows of child tables whose
// controller is missing) and the enumeration texts, into `site` and `images`.
template <class Source, class Pool, class Orphans>
void CheckSite(Source& first, Pool& pool, unsigned threads, Check& check, CSS_SiteData& site,
               std::vector<std::string>& images, Orphans orphans) {
  std::vector<std::int64_t> positions;
  {
    std::unordered_set<std::uint64_t> addresses;
    auto rows = first.Controllers();
    while (rows.Next()) {
      BasicRow<typename Source::Cells> row{rows.Cells(), check, kControllers, {}};
      std::int64_t position = 0;
      std::int64_t interfaceId = 0;
      std::int64_t node = 0;
      row.cells.Integer(0, position);
      if (row.cells.Integer(1, interfaceId))
        row.address.interfaceId = static_cast<std::int32_t>(interfaceId);
      if (row.cells.Integer(2, node)) row.address.node = static_cast<std::int32_t>(node);
      const bool valid = row.Integer(1, "Interface", 1, kInt32Max, interfaceId) &&
                         row.Integer(2, "Node", 0, kInt32Max, node);
      if (!valid) continue;
      const CSS_ControllerAddress address{static_cast<std::int32_t>(interfaceId),
                                          static_cast<std::int32_t>(node)};
      if (!addresses.insert(AddressKey(address)).second) {
        check.Error(row.Where(), "a second controller at this interface and node");
        continue;
      }
      positions.push_back(position);
      site.addresses.push_back(address);
    }
  }
  const auto add = [&](CheckedController& piece) {
    return AddChecked(check, site.findings, images, piece);
  };
  if constexpr (WindowedSource<Source>) {
    for (std::size_t from = 0; from < positions.size(); from += Source::kWindow) {
      const std::size_t count = std::min<std::size_t>(Source::kWindow, positions.size() - from);
      const std::span<const std::int64_t> all(positions);
      const std::size_t after = from + count;
      first.Window(all.subspan(from, count),
                   all.subspan(after, std::min<std::size_t>(Source::kWindow, all.size() - after)));
      const CheckContext<Pool> context{pool, positions, site.addresses, check.fileName, from};
      if (!RunOrdered<CheckWorker<Pool>>(context, count, threads, add)) break;
    }
  } else {
    const CheckContext<Pool> context{pool, positions, site.addresses, check.fileName};
    RunOrdered<CheckWorker<Pool>>(context, positions.size(), threads, add);
  }
  if (!check.Full()) orphans(check);
  ReadEnumTexts(first, check, site.enumTexts);
}

// The site that was checked into `site` and `images`, or the errors found.
inline CSS_SiteLoadResult CheckedSite(Check& check, std::unique_ptr<CSS_SiteData> site,
                                      std::vector<std::string> images) {
  CSS_SiteLoadResult result;
  if (check.Full()) check.errors.push_back(MoreErrorsLine(check.fileName, "the database"));
  if (!check.errors.empty()) {
    result.errors = std::move(check.errors);
    return result;
  }
  // The site keeps what it read: the database is not read again, and its connections end here.
  site->fileName = check.fileName;
  site->records = std::make_unique<ImageRecords>(std::move(images));
  result.site = CSS_SiteAccess::Make(std::move(site));
  return result;
}

}  // namespace ssmsg::db
