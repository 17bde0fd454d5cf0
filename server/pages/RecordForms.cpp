#include "server/pages/RecordForms.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>

#include "host/CSDevice_Fields.h"

namespace ssmsg::server::pages {
namespace {

// --- The sections ----------------------------------------------------------------------------

constexpr auto kNameInfos = kXtraNameField.Infos();
// The level time groups of an input's timing, the list's name and its numbers' range: one
// label for the five, said with the level ("Time group of level 2").
constexpr CSS_FieldInfo kLevelTGs{"LevelTGs",
                                  CSS_FieldKind::Number,
                                  CSS_FieldType::Int16,
                                  {},
                                  std::numeric_limits<std::int16_t>::min(),
                                  std::numeric_limits<std::int16_t>::max(),
                                  std::numeric_limits<std::int16_t>::min(),
                                  std::numeric_limits<std::int16_t>::max(),
                                  {},
                                  "Time group of level",
                                  {},
                                  CSS_FieldRefers::TimeGroup,
                                  nullptr,
                                  nullptr,
                                  nullptr,
                                  nullptr};

template <class Record>
constexpr std::span<const CSS_FieldInfo> kFields = kRecordFieldInfos<Record>;

constexpr FormPart kControllerParts[] = {
    {"", "Name", kNameInfos},
    {"Config", "Configuration", kFields<CSDevice_Config>},
    {"XTRA", "XTRA unit", kFields<CSDevice_XTRA>},
};
constexpr FormPart kTimeZoneParts[] = {{"", "", kFields<CSDevice_TimeZoneItem>}};
constexpr FormPart kZoneParts[] = {{"", "", kFields<CSDevice_TimeGroupZoneItem>}};
constexpr FormPart kHolidayParts[] = {{"", "", kFields<CSDevice_HolidayItem>}};
constexpr FormPart kInputParts[] = {
    {"", "Type and wiring", kFields<CSDevice_InputTypeItem>},
    {"Time", "Timing", kFields<CSDevice_InputTimeItem>, &kLevelTGs,
     CSDevice_InputTimeItem::kLevels},
    {"Link", "Links", kFields<CSDevice_InputLinkItem>},
};
constexpr FormPart kOutputParts[] = {
    {"", "Type and wiring", kFields<CSDevice_OutputTypeItem>},
    {"Time", "Timing", kFields<CSDevice_OutputTimeItem>},
};
constexpr FormPart kReaderParts[] = {
    {"", "Configuration", kFields<CSDevice_RdConfigurationItem>},
    {"CardControl", "Card control", kFields<CSDevice_RdCardControlItem>},
    {"CardLocation", "Card location", kFields<CSDevice_RdCardLocationItem>},
    {"CardStructure", "Card structure", kFields<CSDevice_RdCardStructureItem>},
    {"AccessAlarm", "Access alarms", kFields<CSDevice_RdAccessAlarmItem>},
};
constexpr FormPart kPortParts[] = {{"", "", kFields<CSDevice_PortItem>}};
constexpr FormPart kFLanParts[] = {{"", "", kFields<CSDevice_FLanSetupItem>}};

constexpr FormSection kSections[] = {
    {"Controller", "Controller", "controller", FormLayout::Controller, kControllerParts},
    {"TimeZones", "Time zones", "time zone", FormLayout::Table, kTimeZoneParts},
    {"TimeGroups", "Time groups", "time group", FormLayout::Groups, kZoneParts},
    {"Holidays", "Holidays", "holiday", FormLayout::Table, kHolidayParts},
    {"Inputs", "Inputs", "input", FormLayout::Records, kInputParts},
    {"Outputs", "Outputs", "output", FormLayout::Records, kOutputParts},
    {"Readers", "Readers", "reader", FormLayout::Records, kReaderParts},
    {"Ports", "Serial ports", "serial port", FormLayout::Table, kPortParts},
    {"FLAN", "Field-LAN nodes", "field-LAN node", FormLayout::Table, kFLanParts},
};

// --- JSON --------------------------------------------------------------------------------------

JsonValue Make(JsonValue::Kind kind, std::string text = {}) {
  JsonValue value;
  value.kind = kind;
  value.text = std::move(text);
  return value;
}

void SetMember(JsonValue& object, std::string_view name, JsonValue value) {
  if (JsonValue* member = object.Find(name)) {
    *member = std::move(value);
  } else {
    object.members.push_back({std::string(name), std::move(value)});
  }
}

void RemoveMember(JsonValue& object, std::string_view name) {
  std::erase_if(object.members, [name](const JsonMember& member) { return member.name == name; });
}

const JsonValue* ObjectOrNull(const JsonValue* value) {
  return value != nullptr && value->IsObject() ? value : nullptr;
}

const JsonValue* ItemOf(const JsonValue* list, std::size_t index) {
  if (list == nullptr || list->kind != JsonValue::Kind::Array || index >= list->items.size())
    return nullptr;
  return &list->items[index];
}

// The list member `key` of `object`, made an empty list when it is none.
JsonValue& ListMember(JsonValue& object, std::string_view key) {
  JsonValue* list = object.Find(key);
  if (list == nullptr || list->kind != JsonValue::Kind::Array) {
    SetMember(object, key, Make(JsonValue::Kind::Array));
    list = object.Find(key);
  }
  return *list;
}

// --- From the JSON to the form ------------------------------------------------------------------

void AddValue(Form& form, std::string name, const JsonValue& value) {
  switch (value.kind) {
    case JsonValue::Kind::Number:
    case JsonValue::Kind::String:
      form.Add(std::move(name), value.text);
      break;
    case JsonValue::Kind::True:
      form.Add(std::move(name), "on");
      break;
    default:
      break;
  }
}

void FieldsToForm(const FormPart& part, const std::string& base, const JsonValue* object,
                  Form& form) {
  if (ObjectOrNull(object) == nullptr) return;
  for (const CSS_FieldInfo& info : part.fields) {
    if (const JsonValue* value = object->Find(info.name))
      AddValue(form, JoinPath(base, info.name), *value);
  }
  if (part.numbers == nullptr) return;
  const JsonValue* list = object->Find(part.numbers->name);
  for (std::size_t i = 0; i < part.count; ++i) {
    if (const JsonValue* value = ItemOf(list, i))
      AddValue(form, ItemPath(JoinPath(base, part.numbers->name), i), *value);
  }
}

void RecordToForm(const FormSection& section, const std::string& base, const JsonValue* record,
                  Form& form) {
  for (const FormPart& part : section.parts) {
    if (part.key.empty()) {
      FieldsToForm(part, base, record, form);
      continue;
    }
    const JsonValue* member = ObjectOrNull(record) ? record->Find(part.key) : nullptr;
    if (ObjectOrNull(member) == nullptr) continue;
    form.Add("part", JoinPath(base, part.key));
    FieldsToForm(part, JoinPath(base, part.key), member, form);
  }
}

void RowsToForm(const FormPart& part, const std::string& base, const JsonValue* list, Form& form) {
  const std::size_t rows =
      list != nullptr && list->kind == JsonValue::Kind::Array ? list->items.size() : 0;
  form.Add("rows", std::to_string(rows));
  for (std::size_t r = 0; r < rows; ++r)
    FieldsToForm(part, ItemPath(base, r), &list->items[r], form);
}

// --- From the form to the JSON ------------------------------------------------------------------

class FormReader {
 public:
  FormReader(const Form& form, FormRead& read) : form_(form), read_(read) {}

  // The fields of `part` at `base` into `object`.
  void Fields(const FormPart& part, const std::string& base, JsonValue& object) {
    if (!object.IsObject()) object = Make(JsonValue::Kind::Object);
    for (const CSS_FieldInfo& info : part.fields) {
      const std::string name = JoinPath(base, info.name);
      SetMember(object, info.name, Value(info, name));
    }
    if (part.numbers == nullptr) return;
    JsonValue list = Make(JsonValue::Kind::Array);
    for (std::size_t i = 0; i < part.count; ++i)
      list.items.push_back(Value(*part.numbers, ItemPath(JoinPath(base, part.numbers->name), i)));
    SetMember(object, part.numbers->name, std::move(list));
  }

  // A record and its parts at `base`: a part is kept when its check box is on.
  void Record(const FormSection& section, const std::string& base, JsonValue& record) {
    if (!record.IsObject()) record = Make(JsonValue::Kind::Object);
    for (const FormPart& part : section.parts) {
      if (part.key.empty()) {
        Fields(part, base, record);
      } else if (form_.Has("part", JoinPath(base, part.key))) {
        JsonValue member = record.Find(part.key) ? *record.Find(part.key) : JsonValue{};
        Fields(part, JoinPath(base, part.key), member);
        SetMember(record, part.key, std::move(member));
      } else {
        RemoveMember(record, part.key);
      }
    }
  }

  // The rows of a table at `base`: those it had, and a last one that adds a record when it is
  // filled. An empty row, or one marked for removal, is no record: null where positions count
  // (`nullable`), so that the records after it keep their numbers; left out otherwise.
  JsonValue Rows(const FormPart& part, const std::string& base, bool nullable) {
    JsonValue list = Make(JsonValue::Kind::Array);
    const std::string* text = form_.Get("rows");
    std::size_t rows = 0;
    if (text == nullptr ||
        std::from_chars(text->data(), text->data() + text->size(), rows).ec != std::errc() ||
        rows > kMaxRows) {
      read_.errors[""].push_back("the form lost its rows: open the page again");
      return list;
    }
    for (std::size_t r = 0; r <= rows; ++r) {
      const std::string row = ItemPath(base, r);
      if (form_.Has("remove", row) || Blank(part, row)) {
        if (nullable && r < rows) list.items.push_back(JsonValue{});
        continue;
      }
      if (list.items.size() != r) read_.moved.emplace_back(ItemPath(base, list.items.size()), row);
      list.items.emplace_back();
      Fields(part, row, list.items.back());
    }
    return list;
  }

 private:
  bool Blank(const FormPart& part, const std::string& row) const {
    for (const CSS_FieldInfo& info : part.fields) {
      const std::string* value = form_.Get(JoinPath(row, info.name));
      if (value != nullptr && !value->empty()) return false;
    }
    return true;
  }

  JsonValue Value(const CSS_FieldInfo& info, const std::string& name) {
    const std::string* text = form_.Get(name);
    switch (info.kind) {
      case CSS_FieldKind::Flag:
        return Make(text != nullptr ? JsonValue::Kind::True : JsonValue::Kind::False);
      case CSS_FieldKind::Text:
        return Make(JsonValue::Kind::String, text != nullptr ? *text : std::string());
      case CSS_FieldKind::Number:
      case CSS_FieldKind::Enum:
        break;
    }
    std::string_view digits = text != nullptr ? std::string_view(*text) : std::string_view();
    while (!digits.empty() && digits.front() == ' ')
      digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ')
      digits.remove_suffix(1);
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty()) {
      read_.errors[name].push_back("give a number");
    } else if (error == std::errc::result_out_of_range) {
      read_.errors[name].push_back(std::string(digits) + " is outside " + std::to_string(info.min) +
                                   ".." + std::to_string(info.max));
    } else if (error != std::errc() || end != digits.data() + digits.size()) {
      read_.errors[name].push_back("\"" + std::string(digits) + "\" is not a whole number");
    }
    return Make(JsonValue::Kind::Number, std::to_string(number));
  }

  const Form& form_;
  FormRead& read_;
};

}  // namespace

std::span<const FormSection> FormSections() {
  return kSections;
}

const FormSection* FindFormSection(std::string_view key) {
  for (const FormSection& section : kSections) {
    if (section.key == key) return &section;
  }
  return nullptr;
}

bool FormTarget::PerRecord() const {
  return section->layout == FormLayout::Records || section->layout == FormLayout::Groups;
}

std::string FormTarget::Path() const {
  if (section->layout == FormLayout::Controller) return {};
  if (!PerRecord()) return std::string(section->key);
  return ItemPath(section->key, index);
}

std::string FormTarget::RowsPath() const {
  return section->layout == FormLayout::Groups ? JoinPath(Path(), kZonesKey) : Path();
}

std::string FormTarget::Anchor() const {
  std::string anchor = "edit-";
  anchor += section->key;
  if (PerRecord()) anchor += "-" + std::to_string(index);
  return anchor;
}

Form ValuesOf(const FormTarget& target, const JsonValue& controller) {
  Form form;
  const FormSection& section = *target.section;
  const JsonValue* list = controller.Find(section.key);
  switch (section.layout) {
    case FormLayout::Controller:
      RecordToForm(section, {}, &controller, form);
      break;
    case FormLayout::Table:
      RowsToForm(section.parts.front(), std::string(section.key), list, form);
      break;
    case FormLayout::Records:
    case FormLayout::Groups: {
      const JsonValue* record = ObjectOrNull(ItemOf(list, target.index));
      if (record == nullptr) break;
      form.Add("part", target.Path());
      if (section.layout == FormLayout::Records) {
        RecordToForm(section, target.Path(), record, form);
      } else {
        RowsToForm(section.parts.front(), target.RowsPath(), record->Find(kZonesKey), form);
      }
      break;
    }
  }
  return form;
}

FormRead ApplyForm(const FormTarget& target, const Form& form, JsonValue& controller) {
  FormRead read;
  FormReader reader(form, read);
  const FormSection& section = *target.section;
  switch (section.layout) {
    case FormLayout::Controller:
      reader.Record(section, {}, controller);
      return read;
    case FormLayout::Table:
      SetMember(controller, section.key,
                reader.Rows(section.parts.front(), std::string(section.key), true));
      return read;
    case FormLayout::Records:
    case FormLayout::Groups:
      break;
  }
  JsonValue& list = ListMember(controller, section.key);
  if (target.index > list.items.size()) {
    read.errors[""].push_back("the list is shorter than the form's record: open the page again");
    return read;
  }
  const std::string path = target.Path();
  if (!form.Has("part", path)) {
    // Removed: its position stays, declined, so that the records after it keep their numbers.
    if (target.index < list.items.size()) list.items[target.index] = JsonValue{};
    return read;
  }
  if (target.index == list.items.size()) list.items.emplace_back();
  JsonValue& record = list.items[target.index];
  if (section.layout == FormLayout::Records) {
    reader.Record(section, path, record);
  } else {
    if (!record.IsObject()) record = Make(JsonValue::Kind::Object);
    SetMember(record, kZonesKey, reader.Rows(section.parts.front(), target.RowsPath(), false));
  }
  return read;
}

JsonValue PartOf(const FormTarget& target, const JsonValue& controller) {
  const FormSection& section = *target.section;
  if (section.layout == FormLayout::Controller) {
    JsonValue part = Make(JsonValue::Kind::Object);
    for (const FormPart& piece : section.parts) {
      const std::string_view key = piece.key.empty() ? piece.fields.front().name : piece.key;
      if (const JsonValue* member = controller.Find(key)) SetMember(part, key, *member);
    }
    return part;
  }
  const JsonValue* list = controller.Find(section.key);
  if (!target.PerRecord()) return list != nullptr ? *list : JsonValue{};
  const JsonValue* record = ItemOf(list, target.index);
  return record != nullptr ? *record : JsonValue{};
}

FieldErrors PlaceErrors(const SiteErrors& found,
                        const std::vector<std::pair<std::string, std::string>>& moved) {
  FieldErrors errors;
  for (const SiteError& error : found) {
    std::string path = error.path;
    for (const auto& [from, to] : moved) {
      if (path.starts_with(from) &&
          (path.size() == from.size() || path[from.size()] == '.' || path[from.size()] == '[')) {
        path = to + path.substr(from.size());
        break;
      }
    }
    errors[path].push_back(error.message);
  }
  return errors;
}

void Flatten(const JsonValue& value, const std::string& path,
             std::vector<std::pair<std::string, std::string>>& out) {
  if (value.kind == JsonValue::Kind::Object && !value.members.empty()) {
    for (const JsonMember& member : value.members)
      Flatten(member.value, JoinPath(path, member.name), out);
  } else if (value.kind == JsonValue::Kind::Array && !value.items.empty()) {
    for (std::size_t i = 0; i < value.items.size(); ++i)
      Flatten(value.items[i], ItemPath(path, i), out);
  } else {
    out.emplace_back(path, ToJson(value));
  }
}

namespace {

// ChangedValues: members and items whose texts are equal are not read, so that a rename in a
// large controller costs little more than finding it.
class ValueDiff {
 public:
  using Change = ValueChange;

  ValueDiff(std::string_view before, std::string_view after) : before_(before), after_(after) {
    Compare(before, after, {});
  }

  std::vector<Change> Changes() && {
    const auto byPlace = [](const Entry& a, const Entry& b) {
      return std::pair(a.at, a.order) < std::pair(b.at, b.order);
    };
    std::sort(now_.begin(), now_.end(), byPlace);
    std::sort(gone_.begin(), gone_.end(), byPlace);
    std::vector<Change> changes;
    changes.reserve(now_.size() + gone_.size());
    for (std::vector<Entry>* list : {&now_, &gone_}) {
      for (Entry& entry : *list)
        changes.push_back(std::move(entry.change));
    }
    return changes;
  }

 private:
  struct Entry {
    std::size_t at;     // where the value that holds it starts in its text
    std::size_t order;  // its place among the values found there
    Change change;
  };

  void Compare(std::string_view before, std::string_view after, const std::string& path) {
    if (before == after) return;
    const auto was = RawMembers(before);
    const auto now = RawMembers(after);
    if (was && now && !was->empty() && !now->empty()) {
      Match(
          *was, *now,
          [&](std::string_view name, std::string_view from, std::string_view to) {
            Compare(from, to, JoinPath(path, name));
          },
          [&](std::string_view name, std::string_view value, bool gone) {
            Flat(value, JoinPath(path, name), gone);
          });
      return;
    }
    const auto wasItems = RawItems(before);
    const auto nowItems = RawItems(after);
    if (wasItems && nowItems && !wasItems->empty() && !nowItems->empty()) {
      for (std::size_t i = 0; i < std::max(wasItems->size(), nowItems->size()); ++i) {
        if (i >= wasItems->size()) {
          Flat((*nowItems)[i], ItemPath(path, i), false);
        } else if (i >= nowItems->size()) {
          Flat((*wasItems)[i], ItemPath(path, i), true);
        } else {
          Compare((*wasItems)[i], (*nowItems)[i], ItemPath(path, i));
        }
      }
      return;
    }
    // A value on either side, or one of another kind: their leaves matched by path.
    Match(
        Leaves(before, path), Leaves(after, path),
        [&](std::string_view leaf, std::string_view from, std::string_view to) {
          if (from != to)
            Add(after, false, {std::string(leaf), std::string(from), std::string(to)});
        },
        [&](std::string_view leaf, std::string_view value, bool gone) {
          Lone(gone ? before : after, std::string(leaf), std::string(value), gone);
        });
  }

  // Calls `both(name, was, now)` for each (name, text) of `now` whose name `was` has too, and
  // `alone(name, text, gone)` for each that `was` lacks, in `now`'s order; then `alone` for each
  // of `was` that `now` lacks.
  template <class Named, class Both, class Alone>
  static void Match(const Named& was, const Named& now, Both both, Alone alone) {
    std::unordered_map<std::string_view, std::pair<std::string_view, bool>> index;
    for (const auto& [name, value] : was)
      index.emplace(name, std::pair(std::string_view(value), false));
    for (const auto& [name, value] : now) {
      const auto found = index.find(name);
      if (found == index.end()) {
        alone(name, value, false);
      } else {
        found->second.second = true;
        both(name, found->second.first, value);
      }
    }
    for (const auto& [name, value] : was) {
      if (!index.at(name).second) alone(name, value, true);
    }
  }

  // Every leaf of `value` as new (in `after`) or gone (from `before`).
  void Flat(std::string_view value, const std::string& path, bool gone) {
    for (auto& [leaf, text] : Leaves(value, path))
      Lone(value, std::move(leaf), std::move(text), gone);
  }

  // A leaf that one side alone has, found in the value `holder` of that side.
  void Lone(std::string_view holder, std::string leaf, std::string text, bool gone) {
    Change change{std::move(leaf), {}, {}};
    (gone ? change.from : change.to) = std::move(text);
    Add(holder, gone, std::move(change));
  }

  static std::vector<std::pair<std::string, std::string>> Leaves(std::string_view value,
                                                                 const std::string& path) {
    std::vector<std::pair<std::string, std::string>> leaves;
    if (const JsonRead read = ReadJson(value)) Flatten(*read, path, leaves);
    return leaves;
  }

  void Add(std::string_view value, bool gone, Change change) {
    const std::string_view text = gone ? before_ : after_;
    (gone ? gone_ : now_)
        .push_back(
            {static_cast<std::size_t>(value.data() - text.data()), order_++, std::move(change)});
  }

  std::string_view before_;
  std::string_view after_;
  std::vector<Entry> now_;
  std::vector<Entry> gone_;
  std::size_t order_ = 0;
};

}  // namespace

std::vector<ValueChange> ChangedValues(std::string_view before, std::string_view after) {
  return ValueDiff(before, after).Changes();
}

}  // namespace ssmsg::server::pages
