#include "server/Csv.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Json.h>

#include "host/CSDevice_Fields.h"
#include "server/ChangeSets.h"
#include "server/Http.h"
#include "server/JsonValue.h"
#include "site/SiteLists.h"

namespace ssmsg::server {
namespace {

std::string At(std::size_t line, std::size_t column, std::string_view message) {
  std::string text = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
  text += message;
  return text;
}

bool LineEnd(char c) {
  return c == '\r' || c == '\n';
}

// The path "Time.Debounce" split at its dots; nothing when a part of it is empty.
std::optional<std::vector<std::string_view>> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t dot = path.find('.');
    const std::string_view part = path.substr(0, dot);
    if (part.empty()) return std::nullopt;
    parts.push_back(part);
    if (dot == std::string_view::npos) return parts;
    path.remove_prefix(dot + 1);
  }
}

// A whole number as written in JSON ("-12", "0"), from `text` that may have leading zeros.
std::optional<std::string> WholeNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const std::size_t digit = text.find_first_not_of('0');
  if (digit == std::string_view::npos) return std::string("0");
  std::string number = negative ? "-" : "";
  number += text.substr(digit);
  return number;
}

Refusal Unprocessable(const CsvRow& row, std::size_t column, std::string_view message) {
  return Refusal::Because(422, At(row.line, column, message));
}

// The lists of records that a row may name, in the order a site file writes them, with the parts
// of their records (the member of the record that holds a part, empty for the record itself) as
// it nests them, and how to reach each part's records.
using Records = CSApplicationManagerStd;

struct CsvPart {
  std::string_view key;
  std::span<const CSS_FieldInfo> fields;
  // The part's record at `position`, or null.
  const void* (*find)(Records& records, int position);
  // Sets `info` of the part's record at `position` to `value` (already in range), telling whether
  // it changed; false where the part has no record there.
  bool (*set)(Records& records, int position, const CSS_FieldInfo& info, std::int64_t number,
              const std::string& text, bool& changed);
};

struct CsvList {
  std::string_view key;
  int (*length)(const Records& records);
  std::span<const CsvPart> parts;
};

// Whether the list holds a record at `position`: a site file has an object there, not null.
bool Holds(const CsvList& list, Records& records, int position) {
  for (const CsvPart& part : list.parts) {
    if (part.find(records, position) != nullptr) return true;
  }
  return false;
}

template <class List, List& (Records::*Get)()>
bool SetIn(Records& records, int position, const CSS_FieldInfo& info, std::int64_t number,
           const std::string& text, bool& changed) {
  List& list = (records.*Get)();
  const int index = position + List::kFirstIndex;
  const typename List::Item* item = list.Find(index);
  if (item == nullptr) return false;
  if (info.kind == CSS_FieldKind::Text) {
    changed = info.text(item) != text;
  } else {
    changed = info.get(item) != number;
  }
  if (!changed) return true;
  typename List::Item copy = *item;
  if (info.kind == CSS_FieldKind::Text) {
    info.textRef(&copy) = text;
  } else {
    info.set(&copy, number);
  }
  list.Set(index, std::move(copy));
  return true;
}

template <class List, List& (Records::*Get)()>
const void* FindIn(Records& records, int position) {
  return (records.*Get)().Find(position + List::kFirstIndex);
}

template <class List, List& (Records::*Get)()>
constexpr CsvPart Part(std::string_view key) {
  return {key, kRecordFieldInfos<typename List::Item>, &FindIn<List, Get>, &SetIn<List, Get>};
}

constexpr CsvPart kInputParts[] = {Part<CSDevice_InputType, &Records::GetInputType>(""),
                                   Part<CSDevice_InputTime, &Records::GetInputTime>("Time"),
                                   Part<CSDevice_InputLink, &Records::GetInputLink>("Link")};
constexpr CsvPart kOutputParts[] = {Part<CSDevice_OutputType, &Records::GetOutputType>(""),
                                    Part<CSDevice_OutputTime, &Records::GetOutputTime>("Time")};
constexpr CsvPart kReaderParts[] = {
    Part<CSDevice_RdConfiguration, &Records::GetRdConfiguration>(""),
    Part<CSDevice_RdCardControl, &Records::GetRdCardControl>("CardControl"),
    Part<CSDevice_RdCardLocation, &Records::GetRdCardLocation>("CardLocation"),
    Part<CSDevice_RdCardStructure, &Records::GetRdCardStructure>("CardStructure"),
    Part<CSDevice_RdAccessAlarm, &Records::GetRdAccessAlarm>("AccessAlarm")};
constexpr CsvPart kPortParts[] = {Part<CSDevice_Port, &Records::GetPort>("")};
constexpr CsvPart kFLanParts[] = {Part<CSDevice_FLanSetup, &Records::GetFLan_Setup>("")};
constexpr CsvPart kTimeZoneParts[] = {Part<CSDevice_TimeZone, &Records::GetTimeZone>("")};
constexpr CsvPart kHolidayParts[] = {Part<CSDevice_Holiday, &Records::GetHoliday>("")};
// A time group holds nothing but its list of zones, which no row names.
constexpr CsvPart kTimeGroupParts[] = {{"",
                                        {},
                                        [](Records& r, int position) -> const void* {
                                          return r.GetTimeGroupZone().FindGroup(position + 1);
                                        },
                                        nullptr}};

// A list whose positions are those of kCountedLists.
constexpr CsvList Counted(std::string_view key, std::span<const CsvPart> parts) {
  return {key, FindCountedList(key).length, parts};
}

constexpr CsvList kCsvLists[] = {
    {"Holidays", [](const Records& r) { return r.GetHoliday().GetRecordCount(); }, kHolidayParts},
    Counted("TimeZones", kTimeZoneParts),
    Counted("TimeGroups", kTimeGroupParts),
    Counted("Ports", kPortParts),
    Counted("FLAN", kFLanParts),
    Counted("Inputs", kInputParts),
    Counted("Outputs", kOutputParts),
    Counted("Readers", kReaderParts),
};

// The field of a record of `list` that `path` names ("Name", "Time.Debounce"), with its part; or
// nulls.
std::pair<const CsvPart*, const CSS_FieldInfo*> FieldOf(const CsvList& list,
                                                        std::string_view path) {
  for (const CsvPart& part : list.parts) {
    std::string_view name = path;
    if (!part.key.empty()) {
      if (!name.starts_with(part.key) || name.substr(part.key.size(), 1) != ".") continue;
      name.remove_prefix(part.key.size() + 1);
    }
    for (const CSS_FieldInfo& info : part.fields) {
      if (info.name == name) return {&part, &info};
    }
  }
  return {nullptr, nullptr};
}

// The text of `info` in `record` as a row holds it ("Back door", "-12", "true"); nothing for an
// empty text, which a site file leaves out.
std::optional<std::string> ValueText(const CSS_FieldInfo& info, const void* record) {
  switch (info.kind) {
    case CSS_FieldKind::Text:
      if (info.text(record).empty()) return std::nullopt;
      return info.text(record);
    case CSS_FieldKind::Flag:
      return info.get(record) != 0 ? "true" : "false";
    case CSS_FieldKind::Number:
    case CSS_FieldKind::Enum:
      break;
  }
  return std::to_string(info.get(record));
}

constexpr std::size_t kValueColumn = 6;

// A controller that rows change: as it was read, and its records as they leave them.
struct Edited {
  CSS_ControllerAddress address;
  ControllerRecords before;
  std::unique_ptr<Records> records;
  std::size_t values = 0;
};

// Sets the value that `row` names in the controller `edited`.
Outcome<bool> Apply(const CsvRow& row, Edited& edited) {
  const std::string& kind = row.fields[2];
  const std::string where = "controller " + AddressText(edited.address);
  const CsvList* list = nullptr;
  for (const CsvList& each : kCsvLists) {
    if (each.key == kind) list = &each;
  }
  if (list == nullptr) return Failure{Unprocessable(row, 3, where + " has no list " + kind)};
  const std::optional<std::int64_t> number =
      ParseDecimal(row.fields[3], 1, std::numeric_limits<std::int32_t>::max());
  if (!number)
    return Failure{Unprocessable(row, 4, "the number of a record is a whole number from 1")};
  const int position = static_cast<int>(*number - 1);
  const std::string record = kind + " " + row.fields[3] + " of " + where;
  Records& records = *edited.records;
  if (position >= list->length(records))
    return Failure{Unprocessable(row, 4, "there is no " + record)};
  if (!Holds(*list, records, position))
    return Failure{Unprocessable(row, 4, record + " is declined")};
  // The part that holds the field: "Time.Debounce" is "Debounce" of the part "Time".
  const std::string& field = row.fields[4];
  const auto [part, info] = FieldOf(*list, field);
  const auto noValue = [&] {
    return Failure{Unprocessable(row, 5, record + " has no value " + field)};
  };
  if (info == nullptr) return noValue();
  const std::string& text = row.fields[kValueColumn - 1];
  std::int64_t value = 0;
  if (info->kind == CSS_FieldKind::Flag) {
    if (text != "true" && text != "false") {
      return Failure{
          Unprocessable(row, kValueColumn, field + " is true or false, not \"" + text + "\"")};
    }
    value = text == "true" ? 1 : 0;
  } else if (info->kind != CSS_FieldKind::Text) {
    const std::optional<std::string> whole = WholeNumber(text);
    if (!whole) {
      return Failure{
          Unprocessable(row, kValueColumn, field + " is a whole number, not \"" + text + "\"")};
    }
    const auto [end, error] = std::from_chars(whole->data(), whole->data() + whole->size(), value);
    if (error != std::errc() || value < info->min || value > info->max) {
      return Failure{
          Unprocessable(row, kValueColumn,
                        where + ", " + ItemPath(kind, static_cast<std::size_t>(position)) + "." +
                            field + ": " + *whole + " is outside " + std::to_string(info->min) +
                            ".." + std::to_string(info->max))};
    }
  }
  bool changed = false;
  if (!part->set(records, position, *info, value, text, changed)) return noValue();
  if (changed) ++edited.values;
  return changed;
}

}  // namespace

Result<std::vector<CsvRow>, std::string> ReadCsv(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  std::size_t i = text.starts_with(kMark) ? kMark.size() : 0;
  const std::size_t n = text.size();
  std::size_t line = 1;
  std::vector<CsvRow> rows;
  const auto fail = [](std::size_t at, std::size_t column, std::string_view message) {
    return Failure{At(at, column, message)};
  };
  while (i < n) {
    if (rows.size() == kCsvMaxRows) return fail(line, 1, "more than 1000000 rows");
    CsvRow row;
    row.line = line;
    for (;;) {
      const std::size_t column = row.fields.size() + 1;
      std::string field;
      if (i < n && text[i] == '"') {
        const std::size_t opened = line;
        ++i;
        for (;;) {
          if (i == n) return fail(opened, column, "the quoted field has no closing quote");
          if (text[i] == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          field += text[i++];
          if (field.size() > kCsvMaxField) return fail(opened, column, "a field over 64 KiB");
        }
        if (i < n && text[i] != ',' && !LineEnd(text[i]))
          return fail(row.line, column, "a closing quote must end its field");
      } else {
        for (; i < n && text[i] != ',' && !LineEnd(text[i]); ++i) {
          if (text[i] == '"') return fail(row.line, column, "a quote in a field not quoted");
          field += text[i];
          if (field.size() > kCsvMaxField) return fail(row.line, column, "a field over 64 KiB");
        }
      }
      if (!IsUtf8(field)) return fail(row.line, column, "the text is not UTF-8");
      row.fields.push_back(std::move(field));
      if (i < n && text[i] == ',') {
        ++i;
        continue;
      }
      if (i < n && text[i] == '\r') {
        if (i + 1 == n || text[i + 1] != '\n')
          return fail(row.line, column, "a carriage return without a line feed");
        ++i;
      }
      if (i < n) {
        ++i;  // the line feed
        ++line;
      }
      break;
    }
    if (!rows.empty()) {
      const std::size_t width = rows.front().fields.size();
      const std::string count = " fields, as the first row has";
      if (row.fields.size() < width) {
        return fail(row.line, row.fields.size() + 1,
                    "the row has fewer than " + std::to_string(width) + count);
      }
      if (row.fields.size() > width)
        return fail(row.line, width + 1, "the row has more than " + std::to_string(width) + count);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

void AppendCsvRow(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k > 0) out += ',';
    const std::string& field = fields[k];
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
      out += field;
      continue;
    }
    out += '"';
    for (const char c : field) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += "\r\n";
}

Outcome<std::string> ExportCsv(Store& store, std::string_view fields) {
  const bool every = fields == "*";
  std::vector<std::string> names;
  for (std::string_view rest = fields; !every;) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    if (!PathParts(name))
      return Failure{Refusal::Because(400, "fields: \"" + std::string(name) + "\" names no field")};
    names.emplace_back(name);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  // The fields asked for, as each list has them, in the order asked (every one, in the order a
  // site file writes them, for "*").
  struct Asked {
    const CsvPart* part;
    const CSS_FieldInfo* info;
    std::string name;
  };
  std::vector<std::vector<Asked>> asked(std::size(kCsvLists));
  for (std::size_t l = 0; l < std::size(kCsvLists); ++l) {
    const CsvList& list = kCsvLists[l];
    if (!every) {
      for (const std::string& name : names) {
        if (const auto [part, info] = FieldOf(list, name); info != nullptr)
          asked[l].push_back({part, info, name});
      }
      continue;
    }
    for (const CsvPart& part : list.parts) {
      for (const CSS_FieldInfo& info : part.fields) {
        std::string name(info.name);
        if (!part.key.empty()) name = std::string(part.key) + "." + name;
        asked[l].push_back({&part, &info, std::move(name)});
      }
    }
  }
  std::string out(kCsvHeader);
  out += "\r\n";
  std::string lead;
  // Each controller is read once, here: its ETag, which the list of summaries would read it
  // for first, is not needed.
  for (const CSS_ControllerAddress& address : store.Addresses()) {
    std::optional<ControllerRecords> read = store.RecordsOf(address);
    if (!read) continue;  // removed meanwhile
    Records& records = *read->records;
    const std::string interfaceId = std::to_string(address.interfaceId);
    const std::string node = std::to_string(address.node);
    for (std::size_t l = 0; l < std::size(kCsvLists); ++l) {
      const CsvList& list = kCsvLists[l];
      if (asked[l].empty()) continue;
      const int length = list.length(records);
      for (int position = 0; position < length; ++position) {
        lead.clear();
        for (const Asked& field : asked[l]) {
          const void* record = field.part->find(records, position);
          if (record == nullptr) continue;
          const std::optional<std::string> value = ValueText(*field.info, record);
          if (!value) continue;
          if (lead.empty()) {
            AppendCsvRow(lead,
                         {interfaceId, node, std::string(list.key), std::to_string(position + 1)});
            lead.resize(lead.size() - 2);  // the row goes on
            lead += ',';
          }
          out += lead;
          AppendCsvRow(out, {field.name, *value});
        }
      }
    }
  }
  return out;
}

Outcome<CsvImported> ImportCsv(Store& store, std::string_view text, const AuditNote& note) {
  Result<std::vector<CsvRow>, std::string> rows = ReadCsv(text);
  if (!rows) return Failure{Refusal::Because(400, std::move(rows.error()))};
  const std::string header =
      "the first row must be the header " + std::string(kCsvHeader) + ", and the others six fields";
  if (rows->empty()) return Failure{Refusal::Because(400, At(1, 1, header))};
  std::vector<std::string> names;
  for (std::string_view rest = kCsvHeader; !rest.empty();) {
    const std::size_t comma = rest.find(',');
    names.emplace_back(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? "" : rest.substr(comma + 1);
  }
  const CsvRow& first = rows->front();
  for (std::size_t k = 0; k < std::max(names.size(), first.fields.size()); ++k) {
    if (k >= names.size() || k >= first.fields.size() || first.fields[k] != names[k])
      return Failure{Refusal::Because(400, At(first.line, k + 1, header))};
  }

  // The rows of each controller, the controllers in the order they first appear.
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::vector<std::pair<CSS_ControllerAddress, std::vector<const CsvRow*>>> controllers;
  std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> found;  // address -> its place
  for (std::size_t r = 1; r < rows->size(); ++r) {
    const CsvRow& row = (*rows)[r];
    const std::optional<std::int64_t> interfaceId = ParseDecimal(row.fields[0], 1, kMax);
    if (!interfaceId)
      return Failure{Unprocessable(row, 1, "the interface is a number from 1 to 2147483647")};
    const std::optional<std::int64_t> node = ParseDecimal(row.fields[1], 0, kMax);
    if (!node) return Failure{Unprocessable(row, 2, "the node is a number from 0 to 2147483647")};
    const CSS_ControllerAddress address{static_cast<std::int32_t>(*interfaceId),
                                        static_cast<std::int32_t>(*node)};
    const auto [place, added] =
        found.try_emplace({address.interfaceId, address.node}, controllers.size());
    if (added) controllers.emplace_back(address, std::vector<const CsvRow*>());
    controllers[place->second].second.push_back(&row);
  }

  // A controller at a time: read as records, and its rows applied to them. The refusal is that
  // of the first line that does not apply.
  CsvImported imported;
  std::vector<Edited> edited;
  std::optional<std::pair<std::size_t, Refusal>> unapplied;  // its line, and why
  for (const auto& [address, rowsOf] : controllers) {
    if (unapplied && rowsOf.front()->line > unapplied->first) continue;
    const auto refuse = [&unapplied](const CsvRow& row, Refusal refusal) {
      if (!unapplied || row.line < unapplied->first)
        unapplied.emplace(row.line, std::move(refusal));
    };
    std::optional<ControllerRecords> read = store.RecordsOf(address);
    if (!read) {
      refuse(*rowsOf.front(),
             Unprocessable(*rowsOf.front(), 1, "there is no controller " + AddressText(address)));
      continue;
    }
    Edited controller{address, std::move(*read), std::make_unique<Records>(), 0};
    *controller.records = *controller.before.records;
    for (const CsvRow* row : rowsOf) {
      if (Outcome<bool> set = Apply(*row, controller); !set) {
        refuse(*row, std::move(set.error()));
        break;
      }
    }
    if (!unapplied && controller.values > 0) edited.push_back(std::move(controller));
  }
  if (unapplied) return Failure{std::move(unapplied->second)};
  std::vector<ControllerPut> puts;
  for (const Edited& controller : edited) {
    puts.push_back({controller.address,
                    {Expect::Kind::Present, controller.before.etag},
                    controller.records.get(),
                    controller.before.records.get()});
    ++imported.controllers;
    imported.values += controller.values;
  }
  if (puts.empty()) return imported;
  const BatchResult result = store.PutControllers(puts, note);
  if (result.status != WriteStatus::Done) {
    Refusal refusal = WriteRefusal(result.status);
    refusal.message = "controller " + AddressText(puts[result.failed].address) + ": " +
                      refusal.message + "; nothing was changed";
    return Failure{std::move(refusal)};
  }
  return imported;
}

}  // namespace ssmsg::server
