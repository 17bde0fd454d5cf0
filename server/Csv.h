#pragma once

// The site's per-record values as CSV, for a spreadsheet: one row per value, in long form under
// the header "Interface,Node,Kind,Number,Field,Value" ("1,1,Inputs,2,Name,Back door"), exported
// from the site and imported back into it. The CSV itself is RFC 4180's, in UTF-8.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "server/Controllers.h"
#include "server/Store.h"

namespace ssmsg::server {

// A row read, with the line it starts on (from 1).
struct CsvRow {
  std::size_t line = 0;
  std::vector<std::string> fields;
};

inline constexpr std::size_t kCsvMaxRows = 1'000'000;
inline constexpr std::size_t kCsvMaxField = std::size_t{64} << 10;  // bytes

// The rows of `text`: fields separated by commas, rows ended by CRLF or LF (the last may have
// none), a field in double quotes holding commas, line ends and "" for a quote. A byte order mark
// at the start is skipped. Refused, as "line 3, column 2: ..." (the column being the field's
// number): a quote in a field not quoted, or left open, or followed by more than its field's end;
// a carriage return without a line feed outside quotes; text that is not UTF-8; a row with more or
// fewer fields than the first; more than kCsvMaxRows rows; a field over kCsvMaxField bytes.
Result<std::vector<CsvRow>, std::string> ReadCsv(std::string_view text);

// Appends `fields` as one row ended by CRLF, quoting a field that holds a comma, a quote or a line
// end.
void AppendCsvRow(std::string& out, const std::vector<std::string>& fields);

inline constexpr std::string_view kCsvHeader = "Interface,Node,Kind,Number,Field,Value";

// The values of the site's records, as CSV with the header: for each controller in the site's
// order, each of its lists of records (Inputs, Readers, ...) in the order its site file has them,
// each record that is not declined (null) counted from 1, the fields of `fields` (comma-separated
// paths in a record: "Name,Time.Debounce"; "*": every value that is one string, number or flag)
// that it has, read from its records. 400 for a list of fields with an empty name.
Outcome<std::string> ExportCsv(Store& store, std::string_view fields);

struct CsvImported {
  std::size_t controllers = 0;  // changed
  std::size_t values = 0;       // set to another value than they had
};

// Sets each value that a row of `text` (CSV as ExportCsv writes it) names, on the controllers'
// records, all of them written in one transaction, with an audit row for each, under `note`:
// all, or nothing. A value keeps the type of its field: a text takes any text (an empty one
// leaves the field out of the site file), a number a whole number within its field's range, a
// flag true or false. Refused, naming the line and column: 400 for CSV that does not read or
// lacks the header; 422 for a controller, list, record or field that is not there (or a declined
// record), or a value of the wrong type or out of range; 412 for a controller changed since it
// was read.
Outcome<CsvImported> ImportCsv(Store& store, std::string_view text, const AuditNote& note);

}  // namespace ssmsg::server
