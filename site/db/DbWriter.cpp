#include "site/db/DbWriter.h"
#include "site/db/SiteDb.h"

#include <ssmsg/SiteDatabase.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>

#include "core/OrderedWork.h"
#include "host/CSDevice_Fields.h"
#include "platform/FileName.h"
#include "platform/OutputFile.h"
#include "site/SiteData.h"
#include "site/SiteLists.h"

namespace ssmsg {
namespace db {

void InsertCells(sqlite3* db, sqlite3_stmt* statement, std::span<const Cell> cells) {
  Query insert(db, statement);
  for (const Cell& cell : cells) {
    switch (cell.kind) {
      case Cell::Kind::Integer:
        insert.Bind(cell.integer);
        break;
      case Cell::Kind::Null:
        insert.BindNull();
        break;
      case Cell::Kind::Text:
        insert.Bind(cell.text);
        break;
    }
  }
  insert.Next();
}

void SqliteRows::EnumTexts(const std::vector<CSS_SiteEnumText>& texts) {
  const Statement statement = Prepare(db_, "INSERT OR REPLACE INTO enum_texts VALUES (?1, ?2, ?3)");
  for (const CSS_SiteEnumText& text : texts)
    InsertCells(db_, statement.get(), EnumTextCells(text));
}

void SqliteRows::Rows(TableId id, std::span<const Cell> cells, std::size_t rows) {
  while (rows > 0) {
    const std::size_t width = cells.size() / rows;
    const std::size_t batch = std::min(rows, kBatchRows);
    Statement& statement = insert_[id][batch - 1];
    if (!statement) {
      const Table& table = Tables()[id];
      std::string row = "(?";
      for (std::size_t k = 1; k < width; ++k)
        row += ", ?";
      row += ")";
      std::string sql = "INSERT INTO " + std::string(table.name) + " (" +
                        (id == kControllers ? "\"Position\", " : "") + ColumnList(table, true) +
                        ") VALUES " + row;
      for (std::size_t r = 1; r < batch; ++r)
        sql += ", " + row;
      statement = Prepare(db_, sql);
    }
    InsertCells(db_, statement.get(), cells.first(batch * width));
    cells = cells.subspan(batch * width);
    rows -= batch;
  }
}

DatabaseWriter::DatabaseWriter(sqlite3* db) : own_(std::make_unique<SqliteRows>(db)), sink_(*own_) {
  cells_.reserve(kBatchRows * 32);
}

DatabaseWriter::DatabaseWriter(RowSink& sink) : sink_(sink) {
  cells_.reserve(kBatchRows * 32);
}

void DatabaseWriter::EnumTexts(const std::vector<CSS_SiteEnumText>& texts) {
  sink_.EnumTexts(texts);
}

RowCells DatabaseWriter::Row(TableId id) {
  if (rows_ == kBatchRows || (rows_ > 0 && id != waiting_)) Flush();
  if (rows_ == 0) cells_.clear();  // what a failed insert left
  waiting_ = id;
  ++rows_;
  return RowCells(cells_);
}

void DatabaseWriter::Flush() {
  if (rows_ == 0) return;
  const std::size_t rows = std::exchange(rows_, 0);
  sink_.Rows(waiting_, cells_, rows);
  cells_.clear();
}

TableSet TablesOfParts(const std::bitset<kStorePartCount>& parts) {
  // The tables whose rows each part gives, as StorePart orders them. The element rows of a list
  // (an input, an output, a reader) are there where any of its records is, so they follow their
  // sub-records' parts too.
  static const std::array<TableSet, kStorePartCount> kPartTables = [] {
    const auto set = [](std::initializer_list<TableId> ids) {
      TableSet tables;
      for (const TableId id : ids)
        tables.set(id);
      return tables;
    };
    return std::array<TableSet, kStorePartCount>{set({kControllers}),
                                                 set({kResources}),
                                                 set({kControllers}),
                                                 set({kFLan}),
                                                 set({kPorts}),
                                                 set({kHolidays}),
                                                 set({kTimeZones}),
                                                 set({kInputs}),
                                                 set({kInputs, kInputTimes}),
                                                 set({kInputs, kInputLinks}),
                                                 set({kOutputs}),
                                                 set({kOutputs, kOutputTimes}),
                                                 set({kReaders}),
                                                 set({kReaders, kCardControls}),
                                                 set({kReaders, kCardLocations}),
                                                 set({kReaders, kCardStructures}),
                                                 set({kReaders, kAccessAlarms}),
                                                 set({kTimeGroups, kZones})};
  }();
  TableSet tables;
  tables.set(kControllers).set(kResources);
  for (std::size_t part = 0; part < kStorePartCount; ++part) {
    if (parts[part]) tables |= kPartTables[part];
  }
  return tables;
}

void DatabaseWriter::Controller(std::int64_t position, const CSS_ControllerAddress& address,
                                const CSApplicationManagerStd& store, const TableSet& tables) {
  address_ = address;
  writing_ = tables;
  rows_ = 0;  // rows of a controller whose writing failed are not written with this one
  // The length of each list, and the last position of each that has a row.
  const auto last = [](const auto&... records) {
    int end = 0;
    (
        [&] {
          for (int p = records.GetRecordCount(); p > end; --p) {
            if (records.Find(p - 1 + std::remove_cvref_t<decltype(records)>::kFirstIndex)) {
              end = p;
              break;
            }
          }
        }(),
        ...);
    return end;
  };
  int lastGroup = 0;
  for (int g = store.GetTimeGroupZone().GetRecordCount(); g > 0 && lastGroup == 0; --g) {
    if (store.GetTimeGroupZone().FindGroup(g) != nullptr) lastGroup = g;
  }
  const std::array<std::pair<int, int>, kListCount> lists = {{
      {store.GetHoliday().GetRecordCount(), last(store.GetHoliday())},
      {store.GetTimeZone().GetRecordCount(), last(store.GetTimeZone())},
      {store.GetTimeGroupZone().GetRecordCount(), lastGroup},
      {store.GetPort().GetRecordCount(), last(store.GetPort())},
      {store.GetFLan_Setup().GetRecordCount(), last(store.GetFLan_Setup())},
      {FindCountedList("Inputs").length(store),
       last(store.GetInputType(), store.GetInputTime(), store.GetInputLink())},
      {FindCountedList("Outputs").length(store),
       last(store.GetOutputType(), store.GetOutputTime())},
      {FindCountedList("Readers").length(store),
       last(store.GetRdConfiguration(), store.GetRdCardControl(), store.GetRdCardLocation(),
            store.GetRdCardStructure(), store.GetRdAccessAlarm())},
  }};
  RowCells row = Row(kControllers);
  row.Integer(position).Integer(address.interfaceId).Integer(address.node);
  row.Fields(kXtraNameField.Infos(), &store.GetConfig());
  row.Fields(kRecordFieldInfos<CSDevice_Config>, &store.GetConfig());
  row.Fields(kRecordFieldInfos<CSDevice_XTRA>, &store.GetXTRA());
  for (const auto& [length, end] : lists) {
    if (length > end) {
      row.Integer(length);
    } else {
      row.Null();
    }
  }

  WriteRecords(kHolidays, store.GetHoliday());
  WriteRecords(kTimeZones, store.GetTimeZone());
  TimeGroups(store.GetTimeGroupZone());
  WriteRecords(kPorts, store.GetPort());
  WriteRecords(kFLan, store.GetFLan_Setup());
  // An element of a list is written when its record or any of its sub-records is there (as
  // the site file does, with a cleared record for a missing one).
  const auto elements = [&](TableId id, const auto& records, int length, const auto&... subs) {
    using Item = typename std::remove_cvref_t<decltype(records)>::Item;
    if (!writing_[id]) return;
    // The texts of a row are bound when its statement runs, after this returns.
    static const Item cleared = [] {
      Item item{};
      item.Clear();
      return item;
    }();
    for (int p = 0; p < length; ++p) {
      const Item* record = records.Find(p);
      if (record == nullptr && ((subs.Find(p) == nullptr) && ...)) continue;
      NewRow(id, p + 1).Fields(kRecordFieldInfos<Item>, record != nullptr ? record : &cleared);
    }
  };
  elements(kInputs, store.GetInputType(), lists[kLInputs].first, store.GetInputTime(),
           store.GetInputLink());
  for (int p = 0; writing_[kInputTimes] && p < store.GetInputTime().GetRecordCount(); ++p) {
    const CSDevice_InputTimeItem* time = store.GetInputTime().Find(p);
    if (time == nullptr) continue;
    RowCells times = NewRow(kInputTimes, p + 1);
    times.Fields(kRecordFieldInfos<CSDevice_InputTimeItem>, time);
    for (std::int16_t level : time->LevelTG)
      times.Integer(level);
  }
  WriteRecords(kInputLinks, store.GetInputLink());
  elements(kOutputs, store.GetOutputType(), lists[kLOutputs].first, store.GetOutputTime());
  WriteRecords(kOutputTimes, store.GetOutputTime());
  elements(kReaders, store.GetRdConfiguration(), lists[kLReaders].first, store.GetRdCardControl(),
           store.GetRdCardLocation(), store.GetRdCardStructure(), store.GetRdAccessAlarm());
  WriteRecords(kCardControls, store.GetRdCardControl());
  WriteRecords(kCardLocations, store.GetRdCardLocation());
  WriteRecords(kCardStructures, store.GetRdCardStructure());
  WriteRecords(kAccessAlarms, store.GetRdAccessAlarm());

  // The counts given and those that differ from the lengths of their lists, in a row only when
  // there is one (NULL: not given).
  const auto written = [&](const CSS_CountedList& list) { return CountWritten(list, store); };
  if (std::any_of(std::begin(kCountedLists), std::end(kCountedLists), written)) {
    RowCells counts = Row(kResources);
    counts.Integer(address.interfaceId).Integer(address.node);
    for (const CSS_CountedList& list : kCountedLists) {
      if (written(list)) {
        counts.Integer((store.GetResource().*list.get)());
      } else {
        counts.Null();
      }
    }
  }
  Flush();
}

RowCells DatabaseWriter::NewRow(TableId id, std::int64_t number) {
  return Row(id).Integer(address_.interfaceId).Integer(address_.node).Integer(number);
}

template <class Records>
void DatabaseWriter::WriteRecords(TableId id, const Records& records) {
  if (!writing_[id]) return;
  for (int p = 0; p < records.GetRecordCount(); ++p) {
    const auto* record = records.Find(p + Records::kFirstIndex);
    if (record == nullptr) continue;
    NewRow(id, p + 1).Fields(kRecordFieldInfos<typename Records::Item>, record);
  }
}

void DatabaseWriter::TimeGroups(const CSDevice_TimeGroupZone& groups) {
  if (!writing_[kTimeGroups]) return;
  for (int g = 1; g <= groups.GetRecordCount(); ++g) {
    const std::vector<CSDevice_TimeGroupZoneItem>* zones = groups.FindGroup(g);
    if (zones == nullptr) continue;
    NewRow(kTimeGroups, g);
    for (std::size_t z = 0; z < zones->size(); ++z) {
      Row(kZones)
          .Integer(address_.interfaceId)
          .Integer(address_.node)
          .Integer(g)
          .Integer(static_cast<std::int64_t>(z + 1))
          .Fields(kRecordFieldInfos<CSDevice_TimeGroupZoneItem>, &(*zones)[z]);
    }
  }
}

}  // namespace db

using namespace db;

namespace {

// Gets one controller's records out of a site, and its image when asked, to be written to a
// database on the calling thread.
struct ControllerRecordsWorker {
  struct Context {
    const CSS_SiteData& site;
    bool images;
  };
  using Input = std::size_t;
  struct Output {
    CSApplicationManagerStd store;
    std::string image;
  };

  explicit ControllerRecordsWorker(const Context& context_) : context(context_) {}
  void Run(std::size_t controller, Output& out) const {
    context.site.Load(controller, out.store);
    out.image.clear();
    if (context.images) EncodeStore(out.store, out.image);
  }

  const Context& context;
};

}  // namespace

namespace db {

void WriteSiteRows(DatabaseWriter& writer, const CSS_Site& site, unsigned jobs,
                   const ImageTaker& image) {
  const CSS_SiteData& data = CSS_SiteAccess::Of(site);
  writer.EnumTexts(data.enumTexts);
  std::size_t written = 0;
  const ControllerRecordsWorker::Context context{data, static_cast<bool>(image)};
  RunOrdered<ControllerRecordsWorker>(
      context, data.Count(), jobs, [&](ControllerRecordsWorker::Output& controller) {
        const CSS_ControllerAddress address = data.AddressOf(written);
        writer.Controller(static_cast<std::int64_t>(written + 1), address, controller.store);
        if (image) image(address, controller.image);
        ++written;
        return true;
      });
}

}  // namespace db

namespace {

// Writes the enumeration texts and every controller of `site` into the database `db`, in the
// transaction it is in, reading the controllers on `jobs` threads.
void WriteRows(sqlite3* db, const CSS_Site& site, unsigned jobs) {
  DatabaseWriter writer(db);
  WriteSiteRows(writer, site, jobs);
}

// Replaces the site in the site database `name`, which other programs may have open (a server
// of it, a reader): in place, in one transaction, so that each of them reads the old site or the
// new one. The site editor's tables (accounts, the audit log, what was marked sent) stay.
void WriteInPlace(const CSS_Site& site, const std::string& name, unsigned jobs) {
  const DbHandle db = OpenDatabase(name, Access::Write);
  // The site was checked as it was read, against the same ranges as the tables' CHECKs.
  Exec(db.get(), "PRAGMA ignore_check_constraints = ON; BEGIN IMMEDIATE");
  BringUpToDate(db.get());
  std::string clear = "DELETE FROM enum_texts;";
  for (const Table& table : Tables())
    clear += " DELETE FROM " + std::string(table.name) + ";";
  Exec(db.get(), clear);
  WriteRows(db.get(), site, jobs);
  Exec(db.get(), "COMMIT");
  Exec(db.get(), "PRAGMA journal_mode = WAL");
}

}  // namespace

namespace db {

CSS_DatabaseWriteResult WriteDatabaseFile(const CSS_Site& site, const std::filesystem::path& file,
                                          unsigned jobs) {
  const std::string name = NameOfPath(file);
  CSS_DatabaseWriteResult result;
  // A database may be open in another program: it is never replaced by another file.
  std::error_code missing;
  int unreadable = 0;  // then it is not taken for a database
  if (std::filesystem::is_regular_file(file, missing) &&
      db::StartsAsDatabase(name, unreadable).value_or(false)) {
    try {
      WriteInPlace(site, name, jobs);
    } catch (const std::exception& failure) {
      result.errors.push_back(name + ": cannot write the database: " + failure.what());
    }
    return result;
  }
  // A site database holds (or will hold) the site editor's password hashes and sessions.
  OutputFile::Opened opened = OutputFile::Open(name, false, OutputFile::Readers::Owner);
  if (!opened) {
    result.errors.push_back(name + ": cannot write the database: " + opened.error());
    result.refused = true;
    return result;
  }
  OutputFile& out = **opened;
  try {
    {
      const DbHandle db = OpenDatabase(out.WritePath(), Access::Write);
      // The file is new and no one else reads it until it is complete: no journal is needed, and
      // it is made durable once, before it replaces the old one.
      // The site was checked as it was read, against the same ranges as the tables' CHECKs, so
      // they are not evaluated again row by row.
      Exec(db.get(),
           "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
           "PRAGMA ignore_check_constraints = ON; BEGIN");
      Exec(db.get(), VersionPragmas(kSiteDatabaseVersion) + CurrentTables());
      WriteRows(db.get(), site, jobs);
      Exec(db.get(), "COMMIT");
      // Readers then keep reading while a program writes.
      Exec(db.get(), "PRAGMA journal_mode = WAL");
    }
    if (!out.Commit(true)) {
      throw DbError(std::string("cannot replace it: ") + std::strerror(out.Error()));
    }
  } catch (const std::exception& error) {
    out.Commit(false);
    result.errors.push_back(name + ": cannot write the database: " + error.what());
  }
  return result;
}

}  // namespace db

}  // namespace ssmsg
