#pragma once

// The forms of a controller's records, made from the field tables: a number input with its range
// for a number, a check box for a flag, a list of the enumeration's texts for an enumerated value
// and a text input for a text. A form shows one part of the controller's JSON (the controller's
// own fields, a list of small records as a table with a row each, or one record of a list) and
// reads back into it. Every input is named by the path of its value as the site file's errors
// name it ("Inputs[2].Time.Debounce"), so that an error finds its input.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <ssmsg/CSToolEnum.h>

#include "core/Result.h"
#include "host/CSS_FieldTable.h"
#include "server/Form.h"
#include "server/JsonValue.h"

namespace ssmsg::server::pages {

// Fields kept together: a record, or a part of one that a member of the record holds ("Time" of
// an input), with a list of numbers beside its fields (an input's level time groups).
struct FormPart {
  std::string_view key;  // the member that holds the part; empty: the record itself
  std::string_view title;
  std::span<const CSS_FieldInfo> fields;
  const CSS_FieldInfo* numbers = nullptr;  // the list's name and range, or null for none
  std::size_t count = 0;                   // its length
};

enum class FormLayout : unsigned char {
  Controller,  // the controller's own fields and parts, in one form
  Table,       // a list of small records, in one form with a row each
  Records,     // a list of records with parts, a form each
  Groups,      // the time groups, a form each with a row for each of its zones
};

struct FormSection {
  std::string_view key;    // the list ("Inputs"); for the controller's own fields, "Controller"
  std::string_view title;  // "Inputs"
  std::string_view item;   // one record of it: "input"
  FormLayout layout;
  std::span<const FormPart> parts;  // Table and Groups: one part, the fields of a row
};

// Every section, in the order a controller's page shows them.
std::span<const FormSection> FormSections();
// The section `key`, or null.
const FormSection* FindFormSection(std::string_view key);

// What one form edits: a section and, for Records and Groups, the position of its record in the
// list (the list's length for a new record).
struct FormTarget {
  const FormSection* section = nullptr;
  std::size_t index = 0;

  bool PerRecord() const;
  // The path of what the form edits: "" (the controller), "Holidays", "Inputs[2]"; and of the
  // rows of its table: "Holidays", "TimeGroups[1].Zones".
  std::string Path() const;
  std::string RowsPath() const;
  // The anchor of the form on the controller's page: "edit-Inputs-2".
  std::string Anchor() const;
};

// The member of a time group that holds its zones.
inline constexpr std::string_view kZonesKey = "Zones";

// The most rows a table form reads: more than any list of a controller may hold.
inline constexpr std::size_t kMaxRows = 32768;

// Messages by the input they belong to (the path of its value). Those that name no input of the
// form are shown at its top.
using FieldErrors = std::map<std::string, std::vector<std::string>, std::less<>>;

// The form's values for the target's part of `controller`.
Form ValuesOf(const FormTarget& target, const JsonValue& controller);

// What reading a form gives.
struct FormRead {
  FieldErrors errors;  // values that are not numbers where numbers belong; empty when read
  // Rows that moved up when empty rows before them were left out (the zones of a time group):
  // their path in the controller, and their inputs' path in the form.
  std::vector<std::pair<std::string, std::string>> moved;
};

// Puts the form's values into `controller`, in place of the target's part. Numbers are checked to
// be whole numbers only: their ranges are left to the site's own checks.
FormRead ApplyForm(const FormTarget& target, const Form& form, JsonValue& controller);

// The target's part of `controller` as one value: the record (null when there is none), the
// list, or an object of the controller's own members.
JsonValue PartOf(const FormTarget& target, const JsonValue& controller);

// Places the errors of a refused save under the inputs their paths name (after the rows that
// `moved` says moved).
FieldErrors PlaceErrors(const SiteErrors& errors,
                        const std::vector<std::pair<std::string, std::string>>& moved);

// The records of the controller that a field may name (CSS_FieldRefers), so that the field is a
// list of them: its time zones, by zone number, and its time groups, by number from 1.
struct FormChoices {
  struct Zone {
    int number;
    int startHour;
    int startMinute;
    int endHour;
    int endMinute;
  };
  std::vector<Zone> zones;      // by number, each number once
  std::vector<int> timeGroups;  // ascending
};

struct FormView {
  const CSToolEnum& enums;
  std::string_view action;  // where the form posts
  std::string_view etag;    // of the controller the values are from
  std::string_view csrf;
  const FieldErrors* errors = nullptr;  // null: none
  bool open = false;                    // a form of one record shows open
  // Where a record's form that is not open is: its summary is a link there, and the form is left
  // out of the page; empty: the form is drawn, closed.
  std::string_view opens;
  bool adds = false;  // it adds a record at the end of its list
  // Its values mean nothing to a controller (`errors` says which): it offers to save them as
  // they are, with the field "anyway".
  bool asks = false;
  // What the fields that name a record may name; null: they are number inputs.
  const FormChoices* choices = nullptr;
  // Where the lists of records that number inputs are offered go, shared by the forms of a page
  // that appends it after them; null: each form writes its own.
  std::string* lists = nullptr;
};

// Appends the target's form, showing `values`.
void RenderForm(const FormTarget& target, const Form& values, const FormView& view,
                std::string& out);

// A value's path as the pages name it, records counted from 1: "Inputs[2].Time.Debounce" ->
// "input 3 Time.Debounce", "TimeGroups[0].Zones[1].ZoneNo" -> "time group 1 Zones 2 ZoneNo".
std::string ValueLabel(const FormSection& section, std::string_view path);

// Every scalar of `value` by its path under `path`, in order: "Inputs[0].Name" -> "\"Door\"".
// Empty objects and lists, and null, are scalars too.
void Flatten(const JsonValue& value, const std::string& path,
             std::vector<std::pair<std::string, std::string>>& out);

// A value that differs between two JSON documents: its path, as Flatten names it, and its text
// (compact JSON) before and after.
struct ValueChange {
  std::string path;
  std::optional<std::string> from;  // none: the value is new
  std::optional<std::string> to;    // none: the value is gone
  bool operator==(const ValueChange&) const = default;
};
// The values that differ between the valid JSON texts `before` and `after`, by their leaves as
// Flatten lists them: first those of `after` that are new or changed, in its order, then those
// that `after` no longer has, in the order of `before`.
std::vector<ValueChange> ChangedValues(std::string_view before, std::string_view after);

}  // namespace ssmsg::server::pages
