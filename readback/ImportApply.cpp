#include "readback/ImportApply.h"

#include <algorithm>
#include <string>
#include <utility>

#include <ssmsg/Json.h>

#include "json/Utf8.h"
#include "site/SiteLists.h"

namespace ssmsg::importing {

std::optional<std::string> UnfitForSite(std::string_view text) {
  if (!IsUtf8(text)) return "is not valid UTF-8";
  if (const std::optional<char32_t> control = utf8::FirstControl(text)) {
    return "holds the control character " + utf8::ControlName(*control);
  }
  return std::nullopt;
}
namespace {

using Values = std::vector<CSS_MessageValue>;

constexpr auto kDbMode = kDbModeFields.Infos();
constexpr auto kDbSize = kDbSizeFields.Infos();
constexpr auto kExpanders = kExpandersFields.Infos();
constexpr auto kInputType = kInputTypeFields.Infos();
constexpr auto kOutputType = kOutputTypeFields.Infos();
constexpr auto kRdConfiguration = kRdConfigurationFields.Infos();
constexpr auto kRdCheckSetup = kRdCheckSetupFields.Infos();

template <class Records>
void SetNames(Records& records, const Names& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!names[i] || names[i]->text.empty()) continue;
    const int index = static_cast<int>(i);
    const typename Records::Item* found = records.Find(index);
    typename Records::Item record = found != nullptr ? *found : typename Records::Item{};
    record.Name = names[i]->text;
    records.Set(index, std::move(record));
  }
}

}  // namespace

EnumTexts::EnumTexts(const CSS_Site* from) {
  if (from != nullptr) {
    from->LoadEnumTexts(service);
    enumTexts = CSS_SiteAccess::Of(*from).enumTexts;
  }
  const CSToolEnumBase& levelTexts = *service.Get(CSToolEnumId::Level);
  for (std::size_t i = 0; i < firstLevelTexts.size(); ++i)
    firstLevelTexts[i] = levelTexts.EnumToString(static_cast<int>(i + 1));
}

void EnumTexts::BuildReverse(CSToolEnumId id) {
  Reverse& reverse = reverses[static_cast<std::size_t>(id)];
  const CSToolEnumBase& texts = *std::as_const(service).Get(id);
  // Values() ascends, so the first value of each text is its lowest.
  for (const int value : texts.Values()) {
    reverse.values.try_emplace(std::string(texts.EnumToString(value)), value);
    reverse.taken.insert(value);
  }
  reverse.built = true;
}

// --- Applying one message -------------------------------------------------------------------

// Applies `message` (one of a controller) to `c`; false when it cannot be applied, or when
// it was left for later (`deferred`).
bool MessageApplier::Apply(Controller& c) {
  using Kind = CSS_MessageKind;
  const Values& v = message.parameters;
  CSApplicationManagerStd& s = c.store;
  switch (message.kind) {
    case Kind::SetDbMode:
      return Fields(kDbMode, 0, s.GetConfig());
    case Kind::SetDbSize:
      return Fields(kDbSize, 0, s.GetConfig());
    case Kind::SetExpanders:
      return Fields(kExpanders, 0, s.GetConfig());
    case Kind::XtraMode:
      return Fields(kRecordFieldInfos<CSDevice_XTRA>, 0, s.GetXTRA());
    case Kind::FLanClearAll:
      s.GetFLan_Setup().Clear();
      return true;
    case Kind::FLanSetup:
      return Append(s.GetFLan_Setup(), "field-LAN nodes");
    case Kind::CommPortClearAll:
      s.GetPort().Clear();
      return true;
    case Kind::CommPortSetup:
      return Append(s.GetPort(), "serial ports");
    case Kind::HolidayClearAll:
      s.GetHoliday().Clear();
      return true;
    case Kind::HolidaySetup:
      return SetRecord(s.GetHoliday());
    case Kind::TimeZoneClearAll:
      s.GetTimeZone().Clear();
      return true;
    case Kind::TimeZoneSetup:
      return Append(s.GetTimeZone(), "time zones");
    case Kind::TimeGroupClearAll:
      c.groups.clear();
      return true;
    case Kind::TimeGroupSetup:
      return TimeGroup(c);
    case Kind::InputClearAll:
      s.GetInputType().Clear();
      return true;
    case Kind::InputType:
      return SetRecord(s.GetInputType(), kInputType);
    case Kind::InputName:
      return NamePiece(c.inputNames);
    case Kind::InputTime:
      return InputTime(s.GetInputTime());
    case Kind::InputLink:
      return SetRecord(s.GetInputLink());
    case Kind::OutputClearAll:
      s.GetOutputType().Clear();
      return true;
    case Kind::OutputType:
      return SetRecord(s.GetOutputType(), kOutputType);
    case Kind::OutputName:
      return NamePiece(c.outputNames);
    case Kind::OutputTime:
      return SetRecord(s.GetOutputTime());
    case Kind::ReaderClearAll:
      s.GetRdConfiguration().Clear();
      return true;
    case Kind::ReaderConfiguration:
      return SetRecord(s.GetRdConfiguration(), kRdConfiguration);
    case Kind::ReaderName:
      return NamePiece(c.readerNames);
    case Kind::CardControl:
      return SetRecord(s.GetRdCardControl());
    case Kind::CardLocation:
      return SetRecord(s.GetRdCardLocation());
    case Kind::CardStructure:
      return SetRecord(s.GetRdCardStructure());
    case Kind::CheckSetup:
      return Check(c);
    case Kind::AccessAlarm:
      return SetRecord(s.GetRdAccessAlarm());
    case Kind::XtraName:
      if (!c.xtraName) c.xtraName.emplace();
      return Piece(*c.xtraName, v[0], v[1].text);
    default:
      return true;
  }
}

void MessageApplier::Skip(CSS_MessageKind kind) {
  notes.any = true;
  SkipSeen& skip = notes.skips[static_cast<std::size_t>(kind)];
  if (skip.count++ == 0) skip.first = seq;
}

// The values of `fields` from value `first` on, into `record`. The catalog's elements of a
// message are the rows of the same table, in the same order.
template <std::size_t N, class Record>
bool MessageApplier::Fields(const std::array<CSS_FieldInfo, N>& fields, std::size_t first,
                            Record& record) {
  for (std::size_t i = 0; i < N; ++i) {
    const CSS_FieldInfo& field = fields[i];
    const CSS_MessageValue& value = message.parameters[first + i];
    switch (field.kind) {
      case CSS_FieldKind::Number:
      case CSS_FieldKind::Flag:
        field.set(&record, value.number);
        break;
      case CSS_FieldKind::Enum: {
        const std::optional<int> number = ValueOf(field, value.text);
        if (!number) return false;
        field.set(&record, *number);
        break;
      }
      case CSS_FieldKind::Text:
        field.textRef(&record) = value.text;
        break;
    }
  }
  return true;
}

// The record of a message that names its position by number (value 0).
template <class Records, std::size_t N>
bool MessageApplier::SetRecord(Records& records, const std::array<CSS_FieldInfo, N>& fields) {
  std::int64_t position = 0;
  if (!Position(message.parameters[0], kMaxCounted, position)) return false;
  typename Records::Item record{};
  if (!Fields(fields, 1, record)) return false;
  records.Set(static_cast<int>(position - 1 + Records::kFirstIndex), std::move(record));
  return true;
}

// The record of a message that names no position: it goes after the others.
template <class Records>
bool MessageApplier::Append(Records& records, std::string_view what) {
  if (records.GetRecordCount() >= kMaxCounted) {
    return Error("more than " + std::to_string(kMaxCounted) + " " + std::string(what) +
                 " since their last clear message");
  }
  typename Records::Item record{};
  if (!Fields(kRecordFieldInfos<typename Records::Item>, 0, record)) return false;
  records.Append(std::move(record));
  return true;
}

bool MessageApplier::Position(const CSS_MessageValue& value, std::int64_t max,
                              std::int64_t& position) {
  if (value.number < 1 || value.number > max) {
    return Error("<" + std::string(value.name) + "> " + std::to_string(value.number) +
                 " is outside 1.." + std::to_string(max));
  }
  position = value.number;
  return true;
}

bool MessageApplier::InputTime(CSDevice_InputTime& records) {
  std::int64_t position = 0;
  if (!Position(message.parameters[0], kMaxCounted, position)) return false;
  CSDevice_InputTimeItem record{};
  constexpr auto& fields = kRecordFieldInfos<CSDevice_InputTimeItem>;
  if (!Fields(fields, 1, record)) return false;
  // The list, then per level an object, its Level text and its Group.
  std::size_t at = 1 + fields.size() + 1;
  for (int level = 1; level <= CSDevice_InputTimeItem::kLevels; ++level, at += 3) {
    if (!LevelText(level, message.parameters[at + 1].text)) return false;
    record.LevelTG[static_cast<std::size_t>(level - 1)] =
        static_cast<std::int16_t>(message.parameters[at + 2].number);
  }
  records.Set(static_cast<int>(position - 1), record);
  return true;
}

// The zones of one block of a group replace those the group had in that block.
bool MessageApplier::TimeGroup(Controller& c) {
  const Values& v = message.parameters;
  std::int64_t group = 0;
  if (!Position(v[0], kMaxCounted, group)) return false;
  constexpr auto& fields = kRecordFieldInfos<CSDevice_TimeGroupZoneItem>;
  // A block holds one to eight zones; the decoder has seen to that.
  std::array<CSDevice_TimeGroupZoneItem, CSDevice_TimeGroupZone::kBlockSize> zones{};
  const std::size_t count = std::min<std::size_t>(v[1].count, zones.size());
  std::int64_t block = -1;
  for (std::size_t z = 0; z < count; ++z) {
    const std::size_t first = 2 + z * (1 + fields.size()) + 1;
    if (!Fields(fields, first, zones[z])) return false;
    zones[z].TimeGroupNo = static_cast<std::int16_t>(group);
    const std::int64_t zone = zones[z].ZoneNo;
    if (zone < 1)
      return Error("zone " + std::to_string(zone) + " is never sent: zones count from 1");
    const std::int64_t zoneBlock = (zone - 1) / CSDevice_TimeGroupZone::kBlockSize;
    if (block >= 0 && zoneBlock != block) {
      return Error("zones " + std::to_string(zones[0].ZoneNo) + " and " + std::to_string(zone) +
                   " do not lie in one block of eight");
    }
    block = zoneBlock;
  }
  if (c.groups.size() < static_cast<std::size_t>(group))
    c.groups.resize(static_cast<std::size_t>(group));
  std::optional<Zones>& kept = c.groups[static_cast<std::size_t>(group - 1)];
  if (!kept) kept.emplace();
  std::erase_if(*kept, [&](const CSDevice_TimeGroupZoneItem& zone) {
    return zone.ZoneNo >= 1 && (zone.ZoneNo - 1) / CSDevice_TimeGroupZone::kBlockSize == block;
  });
  kept->insert(kept->end(), zones.begin(), zones.begin() + static_cast<std::ptrdiff_t>(count));
  return true;
}

bool MessageApplier::NamePiece(Names& names) {
  const Values& v = message.parameters;
  std::int64_t position = 0;
  if (!Position(v[0], kMaxCounted, position)) return false;
  if (names.size() < static_cast<std::size_t>(position))
    names.resize(static_cast<std::size_t>(position));
  std::optional<Name>& name = names[static_cast<std::size_t>(position - 1)];
  if (!name) name.emplace();
  return Piece(*name, v[1], v[2].text);
}

// Column 0 is the first piece; every other column is the 1-based place of its piece.
bool MessageApplier::Piece(Name& name, const CSS_MessageValue& column, std::string_view piece) {
  if (column.number < 0) return Error("<Column> " + std::to_string(column.number) + " is below 0");
  // A piece goes where the name so far ends, or over it (a name sent again): never beyond
  // it, so that a name has any length its pieces give it while no column, however large,
  // makes the import hold more than the pieces it read.
  const auto place = static_cast<std::size_t>(column.number == 0 ? 0 : column.number - 1);
  if (place > name.text.size()) {
    return Error("a name piece at column " + std::to_string(column.number) +
                 " leaves a gap: the name so far ends at column " +
                 std::to_string(name.text.size()));
  }
  name.text.resize(place);
  name.text.append(piece);
  name.last = current;
  return true;
}

bool MessageApplier::Check(Controller& c) {
  std::int64_t position = 0;
  if (!Position(message.parameters[0], kMaxCounted, position)) return false;
  CSDevice_RdConfigurationItem record{};
  if (!Fields(kRdCheckSetup, 1, record)) return false;
  if (c.checks.size() < static_cast<std::size_t>(position))
    c.checks.resize(static_cast<std::size_t>(position));
  c.checks[static_cast<std::size_t>(position - 1)] =
      CheckSetup{record.CheckType, record.Percentage};
  return true;
}

// --- Enumeration texts ----------------------------------------------------------------------

std::optional<int> MessageApplier::ValueOf(const CSS_FieldInfo& field, std::string_view text) {
  Reverse& reverse = enums.reverses[static_cast<std::size_t>(field.enumeration)];
  const CSToolEnumBase& texts = *std::as_const(enums.service).Get(field.enumeration);
  if (!reverse.built) enums.BuildReverse(field.enumeration);
  if (const auto found = reverse.values.find(text); found != reverse.values.end()) {
    if (found->second >= field.min && found->second <= field.max) return found->second;
    // The lowest value with the text does not fit this field: the lowest that does.
    for (const int value : texts.Values()) {
      if (value >= field.min && value <= field.max && texts.EnumToString(value) == text) {
        return value;
      }
    }
  }
  if (const std::optional<std::string> unfit = UnfitForSite(text)) {
    Error("the text of <" + std::string(field.name) + "> " + *unfit +
          "; a site file cannot hold it");
    return std::nullopt;
  }
  if (shared) {
    deferred = true;
    return std::nullopt;
  }
  // The lowest value without a text: the empty text is what it already says; any other text
  // becomes its text.
  while (reverse.taken.contains(reverse.nextFree))
    ++reverse.nextFree;
  const int value = reverse.nextFree;
  if (value > field.max) {
    Error("no value of " + std::string(CSToolEnum::Name(field.enumeration)) +
          " is left for the text of <" + std::string(field.name) + ">");
    return std::nullopt;
  }
  reverse.taken.insert(value);
  reverse.values.emplace(std::string(text), value);
  if (!text.empty()) {
    enums.service.Get(field.enumeration)->SetText(value, text);
    enums.enumTexts.push_back({field.enumeration, value, std::string(text)});
  }
  return value;
}

// The text of level `level` as a message names it; the site file gives it that text.
bool MessageApplier::LevelText(int level, std::string_view text) {
  const auto i = static_cast<std::size_t>(level - 1);
  if (const std::optional<std::string> unfit = UnfitForSite(text))
    return Error("the text of <Level> " + *unfit + "; a site file cannot hold it");
  notes.any = true;
  notes.levels[i].See(seq, text, text != enums.firstLevelTexts[i]);
  return true;
}

// --- Errors ---------------------------------------------------------------------------------

bool MessageApplier::ErrorAt(const LineRef& ref, const std::string& reason, std::size_t column) {
  std::string error = sources[ref.source] + ":" + std::to_string(ref.line) + ":";
  if (column > 0) error += std::to_string(column) + ":";
  notes.any = true;
  notes.errors.Add(seq, error + " " + reason);
  return false;
}

// --- The controller as the site holds it ---------------------------------------------------

CSApplicationManagerStd& Controller::Finish() {
  CSApplicationManagerStd& s = store;
  SetNames(s.GetInputType(), inputNames);
  SetNames(s.GetOutputType(), outputNames);
  SetNames(s.GetRdConfiguration(), readerNames);
  CSDevice_RdConfiguration& readers = s.GetRdConfiguration();
  for (std::size_t i = 0; i < checks.size(); ++i) {
    if (!checks[i]) continue;
    const int index = static_cast<int>(i);
    const CSDevice_RdConfigurationItem* found = readers.Find(index);
    CSDevice_RdConfigurationItem record =
        found != nullptr ? *found : CSDevice_RdConfigurationItem{};
    record.CheckType = checks[i]->checkType;
    record.Percentage = checks[i]->percentage;
    readers.Set(index, std::move(record));
  }
  if (xtraName) s.GetConfig().Name = xtraName->text;
  std::int64_t highestZone = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (!groups[g]) continue;
    for (const CSDevice_TimeGroupZoneItem& zone : *groups[g])
      highestZone = std::max<std::int64_t>(highestZone, zone.ZoneNo);
    s.GetTimeGroupZone().SetGroup(static_cast<int>(g + 1), std::move(*groups[g]));
  }
  // Every record is sent: each count reaches the last record of its lists, as a site file
  // without counts gives them. The time-zone count also makes the blocks of the time groups reach
  // their highest zone.
  CSDevice_Resource& r = s.GetResource();
  for (const CSS_CountedList& counted : kCountedLists)
    (r.*counted.set)(static_cast<std::int16_t>(counted.length(s)));
  r.SetTimeZones(static_cast<std::int16_t>(std::max<std::int64_t>(r.GetTimeZones(), highestZone)));
  return s;
}

}  // namespace ssmsg::importing
