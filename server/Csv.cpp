#include "server/Csv.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Json.h>

#include "server/ChangeSets.h"
#include "server/Http.h"
#include "server/JsonValue.h"

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

bool IsScalar(const JsonValue& value) {
  return value.kind == JsonValue::Kind::String || value.kind == JsonValue::Kind::Number ||
         value.kind == JsonValue::Kind::True || value.kind == JsonValue::Kind::False;
}

std::string ScalarText(const JsonValue& value) {
  switch (value.kind) {
    case JsonValue::Kind::True:
      return "true";
    case JsonValue::Kind::False:
      return "false";
    default:
      return value.text;
  }
}

// The value at `parts` inside `record`, or null.
JsonValue* Member(JsonValue& record, const std::vector<std::string_view>& parts) {
  JsonValue* value = &record;
  for (const std::string_view part : parts) {
    value = value->IsObject() ? value->Find(part) : nullptr;
    if (value == nullptr) return nullptr;
  }
  return value;
}

// Each value of `record` that is one string, number or flag, in order, with its path.
void AppendScalars(const JsonValue& record, const std::string& path, std::string_view lead,
                   std::string& out) {
  for (const JsonMember& member : record.members) {
    const std::string inner = JoinPath(path, member.name);
    if (member.value.IsObject()) {
      AppendScalars(member.value, inner, lead, out);
    } else if (IsScalar(member.value)) {
      std::string row(lead);
      AppendCsvRow(row, {inner, ScalarText(member.value)});
      out += row;
    }
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

// A controller that rows change: as it was read, its tree as they leave it, and the line of the
// row that set each of its values, by path.
struct Edited {
  CSS_ControllerAddress address;
  ControllerState before;
  JsonValue tree;
  std::map<std::string, std::size_t> lines;
  std::size_t values = 0;
};

constexpr std::size_t kValueColumn = 6;

// Sets the value that `row` names in the controller `edited`.
Outcome<bool> Apply(const CsvRow& row, Edited& edited) {
  const std::string& kind = row.fields[2];
  const std::string where = "controller " + AddressText(edited.address);
  JsonValue* list = edited.tree.Find(kind);
  if (list == nullptr || list->kind != JsonValue::Kind::Array)
    return Failure{Unprocessable(row, 3, where + " has no list " + kind)};
  const std::optional<std::int64_t> number =
      ParseDecimal(row.fields[3], 1, std::numeric_limits<std::int32_t>::max());
  if (!number)
    return Failure{Unprocessable(row, 4, "the number of a record is a whole number from 1")};
  const std::size_t index = static_cast<std::size_t>(*number - 1);
  const std::string record = kind + " " + row.fields[3] + " of " + where;
  if (index >= list->items.size()) return Failure{Unprocessable(row, 4, "there is no " + record)};
  JsonValue& item = list->items[index];
  if (item.kind == JsonValue::Kind::Null)
    return Failure{Unprocessable(row, 4, record + " is declined")};
  if (!item.IsObject()) return Failure{Unprocessable(row, 4, record + " is not a record")};
  const std::string& field = row.fields[4];
  const std::optional<std::vector<std::string_view>> parts = PathParts(field);
  JsonValue* value = parts ? Member(item, *parts) : nullptr;
  if (value == nullptr || !IsScalar(*value))
    return Failure{Unprocessable(row, 5, record + " has no value " + field)};
  const std::string& text = row.fields[kValueColumn - 1];
  JsonValue set;
  if (value->kind == JsonValue::Kind::String) {
    set.kind = JsonValue::Kind::String;
    set.text = text;
  } else if (value->kind == JsonValue::Kind::Number) {
    std::optional<std::string> whole = WholeNumber(text);
    if (!whole) {
      return Failure{
          Unprocessable(row, kValueColumn, field + " is a whole number, not \"" + text + "\"")};
    }
    set.kind = JsonValue::Kind::Number;
    set.text = std::move(*whole);
  } else if (text == "true" || text == "false") {
    set.kind = text == "true" ? JsonValue::Kind::True : JsonValue::Kind::False;
  } else {
    return Failure{
        Unprocessable(row, kValueColumn, field + " is true or false, not \"" + text + "\"")};
  }
  edited.lines[JoinPath(ItemPath(kind, index), field)] = row.line;
  if (set.kind == value->kind && set.text == value->text) return false;
  *value = std::move(set);
  ++edited.values;
  return true;
}

// Why the controller `edited` does not check, each error at the line of the row that set its
// value (or, for a value no row set, the first row that changed the controller).
Refusal Unchecked(const Edited& edited, const Refusal& refusal) {
  if (refusal.errors.empty()) return refusal;
  std::size_t first = std::numeric_limits<std::size_t>::max();
  for (const auto& [path, line] : edited.lines)
    first = std::min(first, line);
  std::string message;
  for (const SiteError& error : refusal.errors) {
    const auto found = edited.lines.find(error.path);
    if (!message.empty()) message += "; ";
    message +=
        At(found != edited.lines.end() ? found->second : first, kValueColumn,
           "controller " + AddressText(edited.address) + ", " + error.path + ": " + error.message);
  }
  return Refusal::Because(422, std::move(message));
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
  std::vector<std::vector<std::string_view>> paths;
  std::vector<std::string> names;
  for (std::string_view rest = fields; !every;) {
    const std::size_t comma = rest.find(',');
    const std::string_view name = rest.substr(0, comma);
    std::optional<std::vector<std::string_view>> parts = PathParts(name);
    if (!parts)
      return Failure{Refusal::Because(400, "fields: \"" + std::string(name) + "\" names no field")};
    paths.push_back(std::move(*parts));
    names.emplace_back(name);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  std::string out(kCsvHeader);
  out += "\r\n";
  // A controller at a time, and of it only the lists that may hold a field asked for.
  const auto mayHold = [&](std::string_view list) {
    if (every) return true;
    for (const std::vector<std::string_view>& path : paths) {
      if (list.find("\"" + std::string(path.front()) + "\":") != std::string_view::npos)
        return true;
    }
    return false;
  };
  for (const ControllerSummary& summary : store.Controllers()) {
    const std::optional<ControllerState> state = store.Controller(summary.address);
    if (!state) continue;  // removed meanwhile
    const std::optional<std::vector<RawMember>> members = RawMembers(state->json);
    if (!members) throw StoreError("a controller's JSON is no object");
    const std::string interfaceId = std::to_string(summary.address.interfaceId);
    const std::string node = std::to_string(summary.address.node);
    for (const RawMember& member : *members) {
      if (member.value.empty() || member.value.front() != '[' || !mayHold(member.value)) continue;
      JsonRead list = ReadJson(member.value);
      if (!list) throw StoreError("a controller's JSON does not read: " + list.error());
      for (std::size_t k = 0; k < list->items.size(); ++k) {
        JsonValue& record = list->items[k];
        if (!record.IsObject()) continue;  // declined (null), or no record
        std::string lead;
        AppendCsvRow(lead, {interfaceId, node, member.name, std::to_string(k + 1)});
        lead.resize(lead.size() - 2);  // the row goes on
        lead += ',';
        if (every) {
          AppendScalars(record, "", lead, out);
          continue;
        }
        for (std::size_t f = 0; f < paths.size(); ++f) {
          const JsonValue* value = Member(record, paths[f]);
          if (value == nullptr || !IsScalar(*value)) continue;
          out += lead;
          AppendCsvRow(out, {names[f], ScalarText(*value)});
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

  // A controller at a time, so that only its tree is held: its rows applied, then checked. The
  // refusal is that of the first line that does not apply; where all apply, that of the first
  // controller that does not check.
  CsvImported imported;
  std::vector<std::unique_ptr<CSApplicationManagerStd>> records;
  std::vector<ControllerPut> puts;
  std::optional<std::pair<std::size_t, Refusal>> unapplied;  // its line, and why
  std::optional<Refusal> unchecked;
  for (const auto& [address, rowsOf] : controllers) {
    if (unapplied && rowsOf.front()->line > unapplied->first) continue;
    const auto refuse = [&unapplied](const CsvRow& row, Refusal refusal) {
      if (!unapplied || row.line < unapplied->first)
        unapplied.emplace(row.line, std::move(refusal));
    };
    std::optional<ControllerState> state = store.Controller(address);
    if (!state) {
      refuse(*rowsOf.front(),
             Unprocessable(*rowsOf.front(), 1, "there is no controller " + AddressText(address)));
      continue;
    }
    JsonRead tree = ReadJson(state->json);
    if (!tree) throw StoreError("a controller's JSON does not read: " + tree.error());
    Edited edited{address, std::move(*state), std::move(*tree), {}, 0};
    bool applied = true;
    for (const CsvRow* row : rowsOf) {
      Outcome<bool> set = Apply(*row, edited);
      if (!set) {
        refuse(*row, std::move(set.error()));
        applied = false;
        break;
      }
    }
    if (!applied || unapplied || unchecked || edited.values == 0) continue;
    Outcome<std::unique_ptr<CSApplicationManagerStd>> checked = CheckController(
        store, address, ToJson(edited.tree), edited.before.position, &edited.before.json);
    if (!checked) {
      unchecked = Unchecked(edited, checked.error());
      continue;
    }
    records.push_back(std::move(*checked));
    puts.push_back({address, {Expect::Kind::Present, edited.before.etag}, records.back().get()});
    ++imported.controllers;
    imported.values += edited.values;
  }
  if (unapplied) return Failure{std::move(unapplied->second)};
  if (unchecked) return Failure{std::move(*unchecked)};
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
