// The HTML of the record forms: an input for each field as its kind asks, each with its errors
// beside it, in a form that carries the session's CSRF token and the controller's ETag.

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "server/Html.h"
#include "server/pages/RecordForms.h"

namespace ssmsg::server::pages {
namespace {

// The id of the input named `name`: "Inputs[2].Time" -> "f-Inputs-2-Time".
std::string InputId(std::string_view prefix, std::string_view name) {
  std::string id(prefix);
  for (const char c : name) {
    if (c == ']') continue;
    id += c == '[' || c == '.' ? '-' : c;
  }
  return id;
}

// What a person reads for the field: its label, or its key where it has none.
std::string_view Label(const CSS_FieldInfo& info) {
  return info.label.empty() ? info.name : info.label;
}

// "input" -> "Input".
std::string Capitalised(std::string_view text) {
  std::string word(text);
  if (!word.empty() && word[0] >= 'a' && word[0] <= 'z')
    word[0] = static_cast<char>(word[0] - 'a' + 'A');
  return word;
}

// A label in the middle of a phrase: "Start hour" -> "start hour"; a word of capitals keeps them
// ("PIN enabled", "ATB period"), and so does the name of a day.
std::string InPhrase(std::string_view label) {
  static constexpr std::string_view kDays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                               "Friday", "Saturday", "Sunday"};
  std::string words(label);
  if (std::find(std::begin(kDays), std::end(kDays), label.substr(0, label.find(' '))) !=
      std::end(kDays))
    return words;
  if (!words.empty() && words[0] >= 'A' && words[0] <= 'Z' &&
      (words.size() == 1 || (words[1] >= 'a' && words[1] <= 'z')))
    words[0] = static_cast<char>(words[0] - 'A' + 'a');
  return words;
}

// The values of a number that mean something, with their unit: "0 to 23", "0 to 100%",
// "-32768 to 32767 ticks".
std::string Range(const CSS_FieldInfo& info) {
  std::string range = std::to_string(info.low) + " to " + std::to_string(info.high);
  if (!info.unit.empty()) {
    if (info.unit != "%") range += ' ';
    range += info.unit;
  }
  return range;
}

// The field's key in the site file, beside its label, for the reader of the file.
void Key(std::string& out, std::string_view key) {
  out += " <code class=\"key\">";
  AppendHtml(out, key);
  out += "</code>";
}

// "06:30".
std::string Clock(int hour, int minute) {
  std::string text;
  for (const int part : {hour, minute}) {
    if (!text.empty()) text += ':';
    if (part >= 0 && part < 10) text += '0';
    text += std::to_string(part);
  }
  return text;
}

void Hidden(std::string& out, std::string_view name, std::string_view value) {
  out += "<input type=\"hidden\" name=\"";
  AppendHtml(out, name);
  out += "\" value=\"";
  AppendHtml(out, value);
  out += "\">";
}

// The field of `part` that `rest` names ("Time.Debounce", "Time.LevelTGs[1]"), in words
// ("debounce time", "time group of level 2"); empty when it names none.
std::string FieldWords(const FormPart& part, std::string_view rest) {
  if (!part.key.empty()) {
    if (!rest.starts_with(part.key) || rest.substr(part.key.size()).substr(0, 1) != ".") return {};
    rest.remove_prefix(part.key.size() + 1);
  }
  for (const CSS_FieldInfo& info : part.fields) {
    if (info.name == rest) return InPhrase(Label(info));
  }
  if (part.numbers == nullptr || !rest.starts_with(part.numbers->name)) return {};
  rest.remove_prefix(part.numbers->name.size());
  std::size_t index = 0;
  if (rest.size() < 3 || rest.front() != '[' || rest.back() != ']' ||
      std::from_chars(rest.data() + 1, rest.data() + rest.size() - 1, index).ec != std::errc())
    return {};
  return InPhrase(Label(*part.numbers)) + " " + std::to_string(index + 1);
}

// A field that names a record is a list to choose from while the controller has at most this
// many to name; beyond, a number input offered them as suggestions, so that a page of many rows
// does not repeat a long list at each.
constexpr std::size_t kSelectAtMost = 16;

class FormWriter {
 public:
  FormWriter(const FormTarget& target, const Form& values, const FormView& view, std::string& out)
      : target_(target), values_(values), view_(view), out_(out) {}

  void Write() {
    if (target_.PerRecord() && !view_.open && !view_.opens.empty()) {
      Closed();
      return;
    }
    std::string inner;
    switch (target_.section->layout) {
      case FormLayout::Controller:
        Parts("", inner);
        break;
      case FormLayout::Records:
        Parts(target_.Path(), inner);
        break;
      case FormLayout::Table:
      case FormLayout::Groups:
        Table(inner);
        break;
    }
    Actions(inner);
    Open();
    Hidden(out_, "csrf", view_.csrf);
    Hidden(out_, "etag", view_.etag);
    if (rows_) Hidden(out_, "rows", std::to_string(*rows_));
    FormErrors();
    out_ += inner;
    out_ += lists_;
    Close();
  }

 private:
  const FormSection& Section() const { return *target_.section; }

  void Open() {
    const std::string anchor = target_.Anchor();
    if (target_.PerRecord()) {
      out_ += "<details class=\"record\" id=\"";
      out_ += anchor;
      out_ += view_.open ? "\" open><summary>" : "\"><summary>";
      Summary();
      out_ += "</summary>";
    }
    out_ += "<form method=\"post\" class=\"edit\" action=\"";
    AppendHtml(out_, view_.action);
    if (!target_.PerRecord()) {
      out_ += "\" id=\"";
      out_ += anchor;
    }
    out_ += "\">";
  }

  // A record whose form is elsewhere: its summary, as a link to the form. A page of many records
  // draws the form of one, so that it stays quick to make and to show.
  void Closed() {
    out_ += "<p class=\"record\" id=\"";
    out_ += target_.Anchor();
    out_ += "\"><a href=\"";
    AppendHtml(out_, view_.opens);
    out_ += "\">";
    Summary();
    out_ += "</a></p>\n";
  }

  void Close() {
    out_ += "</form>";
    if (target_.PerRecord()) out_ += "</details>";
    out_ += '\n';
  }

  // "Input 3: Front door contact", "Time group 2: 3 zones", "New input".
  void Summary() {
    const std::string path = target_.Path();
    if (New()) {
      out_ += "New ";
      AppendHtml(out_, Section().item);
      return;
    }
    AppendHtml(out_, Capitalised(Section().item));
    out_ += ' ';
    out_ += std::to_string(target_.index + 1);
    if (Section().layout == FormLayout::Groups) {
      const std::string* rows = values_.Get("rows");
      out_ += ": ";
      AppendHtml(out_, rows != nullptr ? *rows : "0");
      out_ += rows != nullptr && *rows == "1" ? " zone" : " zones";
    } else if (const std::string* name = values_.Get(JoinPath(path, "Name"))) {
      out_ += ": <span class=\"name\">";
      AppendHtml(out_, *name);
      out_ += "</span>";
    }
    if (values_.Fields().empty() && Section().layout == FormLayout::Records)
      out_ += " <small>(not set)</small>";
    if (view_.errors != nullptr && !view_.errors->empty()) Badge("warn", "not saved");
  }

  bool New() const { return target_.PerRecord() && view_.adds; }

  void Badge(std::string_view kind, std::string_view text) {
    out_ += "<span class=\"badge b-";
    out_ += kind;
    out_ += "\">";
    AppendHtml(out_, text);
    out_ += "</span>";
  }

  // The fieldsets of a record's parts, the record at `base`.
  void Parts(const std::string& base, std::string& out) {
    for (const FormPart& part : Section().parts) {
      const std::string path = part.key.empty() ? base : JoinPath(base, part.key);
      out += "<fieldset>";
      if (part.key.empty()) {
        out += "<legend>";
        AppendHtml(out, part.title);
        out += "</legend>";
      } else {
        const bool on = values_.Has("part", path);
        out += "<legend><label><input type=\"checkbox\" name=\"part\" value=\"";
        AppendHtml(out, path);
        out += on ? "\" checked> " : "\"> ";
        AppendHtml(out, part.title);
        out += "</label>";
        if (!on) out += " <small>(none: tick to add)</small>";
        out += "</legend>";
      }
      out += "<div class=\"fields\">";
      for (const CSS_FieldInfo& info : part.fields)
        Field(info, JoinPath(path, info.name), Label(info), info.name, out);
      if (part.numbers != nullptr) {
        // One label for the list, said with the number of each: "Time group of level 2".
        for (std::size_t i = 0; i < part.count; ++i) {
          const std::string label = std::string(Label(*part.numbers)) + " " + std::to_string(i + 1);
          Field(*part.numbers, ItemPath(JoinPath(path, part.numbers->name), i), label,
                part.numbers->name, out);
        }
      }
      out += "</div></fieldset>";
    }
  }

  // A labelled input of a record's form, with the field's key in the site file.
  void Field(const CSS_FieldInfo& info, const std::string& name, std::string_view label,
             std::string_view key, std::string& out) {
    const bool flag = info.kind == CSS_FieldKind::Flag;
    out += flag ? "<label class=\"field flag\">" : "<label class=\"field\">";
    if (!flag) {
      out += "<span>";
      AppendHtml(out, label);
      Key(out, key);
      out += "</span>";
    }
    // A record's number that is not there yet (a new record, a part ticked to add) starts at 0.
    Input(info, name, {}, "0", out);
    if (flag) {
      out += " <span>";
      AppendHtml(out, label);
      Key(out, key);
      out += "</span>";
    } else if (info.kind == CSS_FieldKind::Number && !Listed(info)) {
      // The values that mean something where fewer than the member's do (an hour: 0 to 23); the
      // input still takes the others, which are kept with a warning.
      out += "<small>";
      AppendHtml(out, Range(info));
      out += "</small>";
    }
    Errors(name, out);
    out += "</label>";
  }

  // A table of rows, each a record (or a zone of the group), and an empty row to add one.
  void Table(std::string& out) {
    const FormPart& part = Section().parts.front();
    const std::string base = target_.RowsPath();
    std::size_t rows = 0;
    if (const std::string* text = values_.Get("rows")) {
      std::from_chars(text->data(), text->data() + text->size(), rows);
      rows = std::min(rows, kMaxRows);
    }
    // A form sent back sends each of its rows' inputs, empty or not: it shows no more rows than
    // it sent fields, however many it claims.
    if (view_.errors != nullptr) rows = std::min(rows, values_.Fields().size());
    rows_ = rows;
    out += "<div class=\"scroll\"><table class=\"form\"><thead><tr><th scope=\"col\">No.</th>";
    for (const CSS_FieldInfo& info : part.fields) {
      out += "<th scope=\"col\">";
      AppendHtml(out, Label(info));
      Key(out, info.name);
      if (info.kind == CSS_FieldKind::Number && !Listed(info) &&
          (!info.meaning.empty() || !info.unit.empty())) {
        out += " <small>";
        AppendHtml(out, info.meaning.empty() ? std::string(info.unit) : Range(info));
        out += "</small>";
      }
      out += "</th>";
    }
    out += "<th scope=\"col\">Remove</th></tr></thead><tbody>";
    for (std::size_t r = 0; r <= rows; ++r) {
      const std::string row = ItemPath(base, r);
      out += r == rows ? "<tr class=\"new\"><td class=\"n\">new" : "<tr><td class=\"n\">";
      if (r < rows) out += std::to_string(r + 1);
      out += "</td>";
      // Each input of a row is named with its record: "Time zone 2 start hour", "Time group 1
      // zone 2 Monday", "New time zone start hour".
      const std::string record = RowRecord(r, rows);
      for (const CSS_FieldInfo& info : part.fields) {
        const std::string name = JoinPath(row, info.name);
        out += "<td>";
        Input(info, name, record + " " + InPhrase(Label(info)), {}, out);
        Errors(name, out);
        out += "</td>";
      }
      out += "<td>";
      if (r < rows) {
        out += "<input type=\"checkbox\" name=\"remove\" value=\"";
        AppendHtml(out, row);
        out += values_.Has("remove", row) ? "\" checked" : "\"";
        out += " aria-label=\"remove ";
        AppendHtml(out, InPhrase(record));
        out += "\">";
      }
      out += "</td></tr>";
    }
    out += "</tbody></table></div>";
  }

  // The record of row `r` of `rows` (the last one, `rows`, adds one), as a row's inputs are named
  // with it.
  std::string RowRecord(std::size_t r, std::size_t rows) const {
    if (Section().layout == FormLayout::Groups) {
      std::string group = Capitalised(Section().item) + " " + std::to_string(target_.index + 1);
      return group + (r == rows ? " new zone" : " zone " + std::to_string(r + 1));
    }
    if (r == rows) return "New " + std::string(Section().item);
    return Capitalised(Section().item) + " " + std::to_string(r + 1);
  }

  // Whether the field is a list of the records it may name, rather than a number input.
  bool Listed(const CSS_FieldInfo& info) const {
    return info.kind == CSS_FieldKind::Number && info.refers != CSS_FieldRefers::Nothing &&
           view_.choices != nullptr;
  }

  // The input of field `info` named `name`, showing its value (or `absent` when the form has
  // none), labelled `label` when it stands in a table.
  void Input(const CSS_FieldInfo& info, const std::string& name, std::string_view label,
             std::string_view absent, std::string& out) {
    const std::string* given = values_.Get(name);
    const std::string_view value = given != nullptr ? std::string_view(*given) : absent;
    const bool invalid = view_.errors != nullptr && view_.errors->contains(name);
    std::string common = " id=\"" + InputId("f-", name) + "\" name=\"";
    AppendHtml(common, name);
    common += '"';
    if (!label.empty()) {
      common += " aria-label=\"";
      AppendHtml(common, label);
      common += '"';
    }
    if (invalid) common += " aria-invalid=\"true\" aria-describedby=\"" + InputId("e-", name) + '"';
    switch (info.kind) {
      case CSS_FieldKind::Flag:
        out += "<input type=\"checkbox\"" + common;
        out += given != nullptr ? " checked>" : ">";
        return;
      case CSS_FieldKind::Text:
        out += "<input type=\"text\"" + common + " value=\"";
        if (given != nullptr) AppendHtml(out, *given);
        out += "\">";
        return;
      case CSS_FieldKind::Number:
        if (Listed(info)) {
          Choices(info, value, common, out);
          return;
        }
        out += "<input type=\"number\"" + common + " value=\"";
        AppendHtml(out, value);
        out += "\" min=\"" + std::to_string(info.min) + "\" max=\"" + std::to_string(info.max) +
               "\" step=\"1\">";
        return;
      case CSS_FieldKind::Enum:
        Select(info, value, common, out);
        return;
    }
  }

  // A list of the enumeration's texts; a value without one is kept as its number.
  void Select(const CSS_FieldInfo& info, std::string_view value, const std::string& common,
              std::string& out) {
    const CSToolEnumBase& texts = *view_.enums.Get(info.enumeration);
    out += "<select" + common + ">";
    bool found = false;
    for (const int option : texts.Values()) {
      const std::string number = std::to_string(option);
      const bool selected = number == value;
      found = found || selected;
      out += "<option value=\"" + number + (selected ? "\" selected>" : "\">");
      AppendHtml(out, texts.EnumToString(option));
      out += " (" + number + ")</option>";
    }
    if (!found) {
      out += "<option value=\"";
      AppendHtml(out, value);
      out += "\" selected>";
      AppendHtml(out, value.empty() ? "(choose)" : value);
      if (!value.empty()) out += " (no text)";
      out += "</option>";
    }
    out += "</select>";
  }

  // A list of the records of the controller that the field may name: its time zones ("Zone 3:
  // 06:00–14:00"), or none and its time groups ("0: none", "Time group 2"). A value that names
  // none of them is kept, and said to be so; a row not filled in yet names nothing.
  void Choices(const CSS_FieldInfo& info, std::string_view value, const std::string& common,
               std::string& out) {
    std::vector<std::pair<std::string, std::string>> options;  // value, text
    if (info.refers == CSS_FieldRefers::TimeZone) {
      for (const FormChoices::Zone& zone : view_.choices->zones) {
        options.emplace_back(std::to_string(zone.number),
                             "Zone " + std::to_string(zone.number) + ": " +
                                 Clock(zone.startHour, zone.startMinute) + "\xE2\x80\x93" +
                                 Clock(zone.endHour, zone.endMinute));
      }
    } else {
      options.emplace_back("0", "0: none");
      for (const int group : view_.choices->timeGroups)
        options.emplace_back(std::to_string(group), "Time group " + std::to_string(group));
    }
    if (options.size() > kSelectAtMost) {
      // Too many to repeat at every row: a number, with the records offered from one list.
      const bool zones = info.refers == CSS_FieldRefers::TimeZone;
      const std::string list =
          (view_.lists != nullptr ? "edit-" + std::string(Section().key) : target_.Anchor()) +
          (zones ? "-zones" : "-groups");
      out += "<input type=\"number\"" + common + " list=\"" + list + "\" value=\"";
      AppendHtml(out, value);
      out += "\" min=\"" + std::to_string(info.min) + "\" max=\"" + std::to_string(info.max) +
             "\" step=\"1\">";
      std::string& lists = view_.lists != nullptr ? *view_.lists : lists_;
      const std::string open = "<datalist id=\"" + list + "\">";
      if (lists.find(open) != std::string::npos) return;
      lists += open;
      for (const auto& [number, text] : options) {
        lists += "<option value=\"" + number + "\" label=\"";
        AppendHtml(lists, text);
        lists += "\"></option>";
      }
      lists += "</datalist>";
      return;
    }
    out += "<select" + common + ">";
    bool found = false;
    if (value.empty()) {
      out += "<option value=\"\" selected>(choose)</option>";
      found = true;
    }
    for (const auto& [number, text] : options) {
      const bool selected = number == value;
      found = found || selected;
      out += "<option value=\"" + number + (selected ? "\" selected>" : "\">");
      AppendHtml(out, text);
      out += "</option>";
    }
    if (!found) {
      out += "<option value=\"";
      AppendHtml(out, value);
      out += "\" selected>";
      AppendHtml(out, value);
      out += " (not on this controller)</option>";
    }
    out += "</select>";
  }

  // The errors of the input `name`, beside it.
  void Errors(const std::string& name, std::string& out) {
    inputs_.insert(name);
    if (view_.errors == nullptr) return;
    const auto found = view_.errors->find(name);
    if (found == view_.errors->end()) return;
    out += "<span class=\"error\" id=\"" + InputId("e-", name) + "\">";
    for (std::size_t i = 0; i < found->second.size(); ++i) {
      if (i > 0) out += "; ";
      AppendHtml(out, found->second[i]);
    }
    out += "</span>";
  }

  // The errors that name no input shown: at the top of the form, each with its path.
  void FormErrors() {
    if (view_.errors == nullptr) return;
    bool any = false;
    for (const auto& [path, messages] : *view_.errors) {
      if (inputs_.contains(path)) continue;
      for (const std::string& message : messages) {
        out_ += any ? "<li>" : "<ul class=\"errors\"><li>";
        any = true;
        if (!path.empty()) {
          AppendHtml(out_, path);
          out_ += ": ";
        }
        AppendHtml(out_, message);
        out_ += "</li>";
      }
    }
    if (any) out_ += "</ul>";
  }

  void Actions(std::string& out) {
    out += "<div class=\"actions\">";
    if (view_.asks) {
      out +=
          "<label class=\"anyway\"><input type=\"checkbox\" name=\"anyway\" value=\"yes\"> "
          "Save these values as they are</label> ";
    }
    out += "<button type=\"submit\">Save ";
    if (New()) {
      out += "new ";
      AppendHtml(out, Section().item);
    } else if (target_.PerRecord()) {
      AppendHtml(out, Section().item);
      out += ' ' + std::to_string(target_.index + 1);
    } else {
      std::string what(Section().layout == FormLayout::Controller ? "controller" : Section().title);
      if (what.size() > 1 && what[0] >= 'A' && what[0] <= 'Z' && what[1] >= 'a' && what[1] <= 'z')
        what[0] = static_cast<char>(what[0] - 'A' + 'a');
      AppendHtml(out, what);
    }
    out += "</button>";
    if (target_.PerRecord()) {
      // Whether the record is there: a new one is, once saved; untick to remove one.
      const std::string path = target_.Path();
      if (New()) {
        Hidden(out, "part", path);
      } else {
        out += "<label><input type=\"checkbox\" name=\"part\" value=\"";
        AppendHtml(out, path);
        out += values_.Has("part", path) ? "\" checked> this " : "\"> this ";
        AppendHtml(out, Section().item);
        out += " is set (untick to remove it)</label>";
      }
    }
    if (!target_.PerRecord() && Section().layout == FormLayout::Table) {
      out += "<small>Fill the last row to add one; a row left empty is none.</small>";
    } else if (Section().layout == FormLayout::Groups) {
      out += "<small>Fill the last row to add a zone.</small>";
    }
    out += "</div>";
  }

  const FormTarget& target_;
  const Form& values_;
  const FormView& view_;
  std::string& out_;
  std::optional<std::size_t> rows_;
  // The lists of records offered to number inputs, each written once after the form's inputs
  // unless the page writes them.
  std::string lists_;
  std::set<std::string, std::less<>> inputs_;  // the names of the inputs written
};

}  // namespace

void RenderForm(const FormTarget& target, const Form& values, const FormView& view,
                std::string& out) {
  FormWriter(target, values, view, out).Write();
}

// "Inputs[2].Time.Debounce" -> "Input 3 debounce time", "TimeGroups[0].Zones[1].Monday" ->
// "Time group 1 zone 2 Monday", "Config.TGEnabled" -> "Time groups enabled". A path of no field
// of the section is said as it is, its records counted from 1: "input 3 Colour".
std::string ValueLabel(const FormSection& section, std::string_view path) {
  std::string record;  // "Input 3 ", "Time group 1 zone 2 "
  std::string_view rest = path;
  const auto number = [&rest](std::string& out) {
    std::size_t index = 0;
    const std::size_t close = rest.find(']');
    if (!rest.starts_with('[') || close == std::string_view::npos ||
        std::from_chars(rest.data() + 1, rest.data() + close, index).ec != std::errc())
      return false;
    out += ' ' + std::to_string(index + 1) + ' ';
    rest.remove_prefix(close + 1);
    if (rest.starts_with('.')) rest.remove_prefix(1);
    return true;
  };
  if (section.layout != FormLayout::Controller) {
    if (!rest.starts_with(section.key)) return std::string(path);
    rest.remove_prefix(section.key.size());
    record = Capitalised(section.item);
    if (!number(record)) return std::string(path);
    if (section.layout == FormLayout::Groups) {
      constexpr std::string_view kZones = "Zones";
      if (!rest.starts_with(kZones)) return record + std::string(rest);
      rest.remove_prefix(kZones.size());
      record += "zone";
      if (!number(record)) return record + std::string(rest);
    }
  }
  for (const FormPart& part : section.parts) {
    std::string words = FieldWords(part, rest);
    if (words.empty()) continue;
    if (record.empty()) return Capitalised(words);
    return record + words;
  }
  return record + std::string(rest);
}

}  // namespace ssmsg::server::pages
