// The site-file loader. It reads the JSON as a stream of events and fills the records of each
// controller directly, checking every value against the schema below as it goes; no document
// tree of the file is ever built, so a large site costs little more memory than its records.
//
// The schema is data: one table of members per record kind, each member naming its key, the
// JSON type and range it accepts, the enumeration it belongs to (for the warnings of an unknown
// value) and where it is stored.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "site/CSS_SiteData.h"

namespace ssmsg {
namespace {

class SiteLoader;

enum class Kind : std::uint8_t { Integer, Boolean, Text, Object, Array };

// A scalar value as read: `integer` for integers, `flag` for booleans, `text` for strings;
// `position` is its index when it is an element of an array.
struct Scalar {
  std::int64_t integer = 0;
  bool flag = false;
  std::string_view text;
  std::int32_t position = -1;

  static Scalar Integer(std::int64_t value) {
    Scalar scalar;
    scalar.integer = value;
    return scalar;
  }
  static Scalar Flag(bool value) {
    Scalar scalar;
    scalar.flag = value;
    return scalar;
  }
  static Scalar Text(std::string_view value) {
    Scalar scalar;
    scalar.text = value;
    return scalar;
  }
};

struct Node;
struct Frame;

// One key of an object (or the element of an array) and what its value must be.
struct Member {
  std::string_view key;
  Kind kind;
  std::int64_t min = 0;  // Integer: accepted range
  std::int64_t max = 0;
  std::optional<CSToolEnumId> enumeration;  // Integer: the enumeration its values belong to
  void (*store)(SiteLoader&, const Scalar&) = nullptr;  // scalars
  const Node* node = nullptr;                           // Object and Array
  bool required = false;
};

enum class NodeKind : std::uint8_t { Root, Object, Array, EnumSet, EnumTexts };

using Hook = void (*)(SiteLoader&, const Frame&);

// An object or array of the schema.
struct Node {
  NodeKind kind;
  std::span<const Member> members;  // Object: its keys
  const Member* element = nullptr;  // Array (and Root): what each element is
  Hook open = nullptr;              // when the value starts
  Hook close = nullptr;             // when it ends
  // Array: called for a null element, which then stands for a declined record; null elements
  // are errors where this is not set.
  void (*declined)(SiteLoader&, std::int32_t position) = nullptr;
};

// One open object or array while reading.
struct Frame {
  Frame(const Node* node_, std::string_view name_, std::int32_t position_, std::int32_t record_)
      : node(node_), name(name_), position(position_), record(record_) {}

  const Node* node;
  std::string_view name;   // the key under which it sits in its parent object, if any
  std::int32_t position;   // its index in its parent array, or -1
  std::int32_t record;     // index of the list element it belongs to (inputs, readers, ...)
  std::int32_t count = 0;  // Array: elements read so far
  std::uint64_t seen = 0;  // Object: members read so far, by table position
  const Member* pending = nullptr;  // Object: the member whose value comes next
  std::string_view pendingKey;      // Object: the key just read
  std::size_t hint = 0;             // Object: where to start looking for the next key
};

// The records being filled for the list element being read.
struct Scratch {
  CSDevice_HolidayItem holiday;
  CSDevice_TimeZoneItem timeZone;
  CSDevice_TimeGroupZoneItem zone;
  std::vector<CSDevice_TimeGroupZoneItem> zones;
  CSDevice_PortItem port;
  CSDevice_FLanSetupItem flan;
  CSDevice_InputTypeItem inputType;
  CSDevice_InputTimeItem inputTime;
  CSDevice_InputLinkItem inputLink;
  CSDevice_OutputTypeItem outputType;
  CSDevice_OutputTimeItem outputTime;
  CSDevice_RdConfigurationItem reader;
  CSDevice_RdCardControlItem cardControl;
  CSDevice_RdCardLocationItem cardLocation;
  CSDevice_RdCardStructureItem cardStructure;
  CSDevice_RdAccessAlarmItem accessAlarm;
};

const Node& RootNode();

// The most errors reported for one file.
constexpr std::size_t kMaxErrors = 100;

// "file:line:column" of the byte at `at` of `text`.
std::string Where(std::string_view fileName, std::string_view text, std::size_t at) {
  const std::string_view before = text.substr(0, at);
  const std::size_t line =
      1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t lineStart = before.rfind('\n');
  const std::size_t column = at - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
  return std::string(fileName) + ":" + std::to_string(line) + ":" + std::to_string(column);
}

// The event handler of the JSON reader.
class SiteLoader {
 public:
  SiteLoader(std::string_view text, std::string_view fileName)
      : text_(text), site_(std::make_unique<CSS_SiteData>()) {
    site_->fileName = fileName;
    frames_.reserve(16);
    frames_.emplace_back(&RootNode(), std::string_view(), -1, -1);
  }

  CSS_SiteLoadResult Finish() && {
    CSS_SiteLoadResult result;
    if (errors_.empty()) {
      result.site = CSS_SiteAccess::Make(std::move(site_));
    } else {
      result.errors = std::move(errors_);
    }
    return result;
  }

  // The reader's events.
  bool null() { return OnScalar(Got::Null, {}, nullptr) && Going(); }
  bool boolean(bool value) {
    return OnScalar(Got::Boolean, Scalar::Flag(value), nullptr) && Going();
  }
  bool number_integer(std::int64_t value) {
    return OnScalar(Got::Integer, Scalar::Integer(value), nullptr) && Going();
  }
  bool number_unsigned(std::uint64_t value) {
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      const std::string text = std::to_string(value);
      return OnScalar(Got::HugeInteger, {}, &text) && Going();
    }
    return OnScalar(Got::Integer, Scalar::Integer(static_cast<std::int64_t>(value)), nullptr) &&
           Going();
  }
  bool number_float(double /*value*/, const std::string& text) {
    const bool integral = text.find_first_of(".eE") == std::string::npos;
    return OnScalar(integral ? Got::HugeInteger : Got::Fraction, {}, &text) && Going();
  }
  bool string(std::string& value) {
    return OnScalar(Got::String, Scalar::Text(value), nullptr) && Going();
  }
  bool binary(nlohmann::json::binary_t& /*value*/) { return true; }  // not in JSON text
  bool start_object(std::size_t /*elements*/) { return OnStart(Kind::Object) && Going(); }
  bool end_object() { return OnEnd() && Going(); }
  bool start_array(std::size_t /*elements*/) { return OnStart(Kind::Array) && Going(); }
  bool end_array() { return OnEnd() && Going(); }
  bool key(std::string& key) { return Key(key) && Going(); }
  bool parse_error(std::size_t position, const std::string& lastToken,
                   const nlohmann::json::exception& error);

  // False once the error list is full: reading stops there, so that a file made of mistakes
  // costs no more memory than a valid one.
  bool Going() const { return errors_.size() <= kMaxErrors; }

  // What the schema's hooks and stores work on.
  Scratch scratch;
  CSS_SiteController& Controller() { return site_->controllers.back(); }
  CSApplicationManagerStd& Store() { return Controller().store; }
  int EnumValue() const { return enumValue_; }
  void AddEnumText(int value, std::string_view text) {
    site_->enumTexts.push_back({currentEnum_, value, std::string(text)});
  }
  // Notes that the value at `leaf` of the innermost object uses `value` of enumeration `id`.
  void NoteEnumUse(CSToolEnumId id, int value, std::string_view leaf);
  void Error(std::string_view path, std::string_view message);
  std::string PathTo(std::string_view leaf = {}, std::int32_t position = -1) const;
  void OpenController();
  void CloseController(const Frame& frame);
  void SetResourceGiven(std::uint64_t given) { resourceGiven_ = given; }

 private:
  enum class Got : std::uint8_t { Null, Boolean, Integer, HugeInteger, Fraction, String };

  bool OnScalar(Got got, Scalar value, const std::string* raw);
  // True the first time that `value` of enumeration `id` is seen.
  bool FirstUse(CSToolEnumId id, std::int64_t value);
  bool OnStart(Kind kind);
  bool OnEnd();
  bool Key(std::string& key);
  // The member whose value comes next, with its path and index; null when it is to be skipped.
  const Member* Expect(std::int32_t& position);
  // The path of the value about to be read in the innermost frame.
  std::string ValuePath(std::int32_t position) const;
  void ExpectedGot(const Member& member, std::string_view got, std::int32_t position);

  std::string_view text_;
  std::unique_ptr<CSS_SiteData> site_;
  std::vector<std::string> errors_;
  std::vector<Frame> frames_;
  int skipDepth_ = 0;  // > 0 while inside a value that is being skipped
  CSToolEnumId currentEnum_{};
  int enumValue_ = 0;
  std::string enumKey_;               // the key of the enumeration value being read
  std::size_t controllerErrors_ = 0;  // errors before the current controller began
  std::uint64_t resourceGiven_ = 0;
  std::unordered_map<std::uint64_t, std::size_t> addresses_;  // (interface, node) -> controller
  // Enumeration values seen so far: small values by bit, others in a set.
  std::array<std::bitset<256>, kToolEnumCount> seenSmall_{};
  std::unordered_set<std::uint64_t> seenOther_;
};

// ---------------------------------------------------------------------------------------------
// Building the schema tables.

template <class M>
struct MemberTraits;
template <class R, class T>
struct MemberTraits<T R::*> {
  using Record = R;
  using Type = T;
};

// Where the records of a table live: a scratch record or a record of the controller's store.
template <auto Field>
auto& ScratchOf(SiteLoader& loader) {
  return loader.scratch.*Field;
}
#define SSMSG_STORE_PART_OF(name, type)                        \
  [[maybe_unused]] type& StorePart##name(SiteLoader& loader) { \
    return loader.Store().Get##name();                         \
  }
SSMSG_STORE_PARTS(SSMSG_STORE_PART_OF)
#undef SSMSG_STORE_PART_OF
CSS_ControllerAddress& AddressOf(SiteLoader& loader) {
  return loader.Controller().address;
}

template <auto Record, auto Field>
void StoreNumber(SiteLoader& loader, const Scalar& value) {
  using T = typename MemberTraits<decltype(Field)>::Type;
  Record(loader).*Field = static_cast<T>(value.integer);
}
template <auto Record, auto Field>
void StoreFlag(SiteLoader& loader, const Scalar& value) {
  Record(loader).*Field = value.flag ? 1 : 0;
}
template <auto Record, auto Field>
void StoreText(SiteLoader& loader, const Scalar& value) {
  Record(loader).*Field = value.text;
}

// The members of one record kind: Fields<where the record lives>::Number<&Item::Field>(key).
template <auto Record>
struct Fields {
  // An integer of the field's own width, or from `min` up when given.
  template <auto Field>
  static constexpr Member Number(std::string_view key,
                                 std::optional<CSToolEnumId> enumeration = std::nullopt,
                                 std::optional<std::int64_t> min = std::nullopt) {
    using T = typename MemberTraits<decltype(Field)>::Type;
    return {key,
            Kind::Integer,
            min.value_or(std::numeric_limits<T>::min()),
            std::numeric_limits<T>::max(),
            enumeration,
            &StoreNumber<Record, Field>};
  }
  template <auto Field>
  static constexpr Member Flag(std::string_view key) {
    return {key, Kind::Boolean, 0, 0, std::nullopt, &StoreFlag<Record, Field>};
  }
  template <auto Field>
  static constexpr Member Text(std::string_view key) {
    return {key, Kind::Text, 0, 0, std::nullopt, &StoreText<Record, Field>};
  }
};

constexpr Member Required(Member member) {
  member.required = true;
  return member;
}
constexpr Member ObjectMember(std::string_view key, const Node& node, bool required = false) {
  return {key, Kind::Object, 0, 0, std::nullopt, nullptr, &node, required};
}
constexpr Member ArrayMember(std::string_view key, const Node& node, bool required = false) {
  return {key, Kind::Array, 0, 0, std::nullopt, nullptr, &node, required};
}
constexpr Node ObjectNode(std::span<const Member> members, Hook open = nullptr,
                          Hook close = nullptr) {
  return {NodeKind::Object, members, nullptr, open, close};
}

// A list of records: element k of the array is the record at container index k (k + 1 for the
// time zones, whose container counts from 1); a null element is a declined position.
template <auto Container>
void DeclineRecord(SiteLoader& loader, std::int32_t position) {
  auto& records = Container(loader);
  records.Decline(position + std::remove_reference_t<decltype(records)>::kFirstIndex);
}
template <auto Item>
void ClearRecord(SiteLoader& loader, const Frame& /*frame*/) {
  (loader.scratch.*Item).Clear();
}
template <auto Item, auto Container>
void StoreRecord(SiteLoader& loader, const Frame& frame) {
  auto& records = Container(loader);
  records.Set(frame.record + std::remove_reference_t<decltype(records)>::kFirstIndex,
              loader.scratch.*Item);
}
constexpr Member ListElement(const Node& node) {
  return {{}, Kind::Object, 0, 0, std::nullopt, nullptr, &node};
}

template <auto Setter>
void StoreCount(SiteLoader& loader, const Scalar& value) {
  (loader.Store().GetResource().*Setter)(static_cast<std::int16_t>(value.integer));
}
template <auto Setter>
constexpr Member Count(std::string_view key) {
  return {key,
          Kind::Integer,
          std::numeric_limits<std::int16_t>::min(),
          std::numeric_limits<std::int16_t>::max(),
          std::nullopt,
          &StoreCount<Setter>};
}

// A record list whose array is element-wise the store's container `Container`, each element an
// object of `Item`'s table.
template <auto Item, auto Container>
constexpr Node RecordNode(std::span<const Member> members) {
  return ObjectNode(members, &ClearRecord<Item>, &StoreRecord<Item, Container>);
}
template <auto Container>
constexpr Node ListNode(const Member& element) {
  return {NodeKind::Array, {}, &element, nullptr, nullptr, &DeclineRecord<Container>};
}

using Id = CSToolEnumId;

// --- Controller-wide records ------------------------------------------------------------------

// Capability counts; a count that is not given defaults to the length of its list (kCounts).
constexpr Member kResourceMembers[] = {
    Count<&CSDevice_Resource::SetInputs>("Inputs"),
    Count<&CSDevice_Resource::SetOutputs>("Outputs"),
    Count<&CSDevice_Resource::SetReaders>("Readers"),
    Count<&CSDevice_Resource::SetComms>("Comms"),
    Count<&CSDevice_Resource::SetCommsFLAN>("CommsFLAN"),
    Count<&CSDevice_Resource::SetTimeZones>("TimeZones"),
    Count<&CSDevice_Resource::SetTimeGroups>("TimeGroups"),
};

struct CountDefault {
  std::string_view key;
  void (CSDevice_Resource::*set)(std::int16_t);
  std::string_view list;
  int (*length)(const CSApplicationManagerStd&);
};
using Store = CSApplicationManagerStd;
constexpr CountDefault kCounts[] = {
    {"Inputs", &CSDevice_Resource::SetInputs, "Inputs",
     [](const Store& s) { return s.GetInputType().GetRecordCount(); }},
    {"Outputs", &CSDevice_Resource::SetOutputs, "Outputs",
     [](const Store& s) { return s.GetOutputType().GetRecordCount(); }},
    {"Readers", &CSDevice_Resource::SetReaders, "Readers",
     [](const Store& s) { return s.GetRdConfiguration().GetRecordCount(); }},
    {"Comms", &CSDevice_Resource::SetComms, "Ports",
     [](const Store& s) { return s.GetPort().GetRecordCount(); }},
    {"CommsFLAN", &CSDevice_Resource::SetCommsFLAN, "FLAN",
     [](const Store& s) { return s.GetFLan_Setup().GetRecordCount(); }},
    {"TimeZones", &CSDevice_Resource::SetTimeZones, "TimeZones",
     [](const Store& s) { return s.GetTimeZone().GetRecordCount(); }},
    {"TimeGroups", &CSDevice_Resource::SetTimeGroups, "TimeGroups",
     [](const Store& s) { return s.GetTimeGroupZone().GetRecordCount(); }},
};
static_assert([] {
  if (std::size(kCounts) != std::size(kResourceMembers)) return false;
  for (std::size_t i = 0; i < std::size(kCounts); ++i) {
    if (kCounts[i].key != kResourceMembers[i].key) return false;
  }
  return true;
}());

void CloseResource(SiteLoader& loader, const Frame& frame) {
  loader.SetResourceGiven(frame.seen);
}
constexpr Node kResource = ObjectNode(kResourceMembers, nullptr, &CloseResource);

using ConfigFields = Fields<&StorePartConfig>;
using Config = CSDevice_Config;
constexpr Member kConfigMembers[] = {
    ConfigFields::Number<&Config::DbMode>("DbMode", Id::ReaderDbMode),
    ConfigFields::Flag<&Config::TGEnabled>("TGEnabled"),
    ConfigFields::Flag<&Config::PINEnabled>("PINEnabled"),
    ConfigFields::Flag<&Config::RandomEnabled>("RandomEnabled"),
    ConfigFields::Flag<&Config::OutGroupEnabled>("OutGroupEnabled"),
    ConfigFields::Flag<&Config::VendEnabled>("VendEnabled"),
    ConfigFields::Flag<&Config::ExpireEnabled>("ExpireEnabled"),
    ConfigFields::Flag<&Config::PropertyEnabled>("PropertyEnabled"),
    ConfigFields::Number<&Config::DbSize>("DbSize"),
    ConfigFields::Number<&Config::LockSize>("LockSize"),
    ConfigFields::Number<&Config::In>("In"),
    ConfigFields::Number<&Config::Out>("Out"),
};
constexpr Node kConfig = ObjectNode(kConfigMembers);

using XtraFields = Fields<&StorePartXTRA>;
constexpr Member kXtraMembers[] = {
    XtraFields::Number<&CSDevice_XTRA::ApplicationNo>("ApplicationNo"),
    XtraFields::Number<&CSDevice_XTRA::Mode>("Mode", Id::XTRA_VORAN_Mode),
};
constexpr Node kXtra = ObjectNode(kXtraMembers);

// --- Schedules --------------------------------------------------------------------------------

using HolidayFields = Fields<&ScratchOf<&Scratch::holiday>>;
constexpr Member kHolidayMembers[] = {
    HolidayFields::Number<&CSDevice_HolidayItem::Month>("Month"),
    HolidayFields::Number<&CSDevice_HolidayItem::Day>("Day"),
};
constexpr Node kHoliday = RecordNode<&Scratch::holiday, &StorePartHoliday>(kHolidayMembers);
constexpr Member kHolidayElement = ListElement(kHoliday);
constexpr Node kHolidays = ListNode<&StorePartHoliday>(kHolidayElement);

using TimeZoneFields = Fields<&ScratchOf<&Scratch::timeZone>>;
using TimeZone = CSDevice_TimeZoneItem;
constexpr Member kTimeZoneMembers[] = {
    TimeZoneFields::Number<&TimeZone::ZoneNo>("ZoneNo"),
    TimeZoneFields::Number<&TimeZone::StartHour>("StartHour"),
    TimeZoneFields::Number<&TimeZone::StartMinute>("StartMinute"),
    TimeZoneFields::Number<&TimeZone::EndHour>("EndHour"),
    TimeZoneFields::Number<&TimeZone::EndMinute>("EndMinute"),
};
constexpr Node kTimeZone = RecordNode<&Scratch::timeZone, &StorePartTimeZone>(kTimeZoneMembers);
constexpr Member kTimeZoneElement = ListElement(kTimeZone);
constexpr Node kTimeZones = ListNode<&StorePartTimeZone>(kTimeZoneElement);

using ZoneFields = Fields<&ScratchOf<&Scratch::zone>>;
using Zone = CSDevice_TimeGroupZoneItem;
constexpr Member kZoneMembers[] = {
    ZoneFields::Number<&Zone::ZoneNo>("ZoneNo"),   ZoneFields::Flag<&Zone::Monday>("Monday"),
    ZoneFields::Flag<&Zone::Tuesday>("Tuesday"),   ZoneFields::Flag<&Zone::Wednesday>("Wednesday"),
    ZoneFields::Flag<&Zone::Thursday>("Thursday"), ZoneFields::Flag<&Zone::Friday>("Friday"),
    ZoneFields::Flag<&Zone::Saturday>("Saturday"), ZoneFields::Flag<&Zone::Sunday>("Sunday"),
    ZoneFields::Flag<&Zone::Holiday>("Holiday"),
};
void AddZone(SiteLoader& loader, const Frame& /*frame*/) {
  loader.scratch.zones.push_back(loader.scratch.zone);
}
constexpr Node kZone = ObjectNode(kZoneMembers, &ClearRecord<&Scratch::zone>, &AddZone);
constexpr Member kZoneElement = ListElement(kZone);
// A zone list has no declined positions: null is an error there.
constexpr Node kZones = {NodeKind::Array, {}, &kZoneElement};

constexpr Member kTimeGroupMembers[] = {ArrayMember("Zones", kZones)};
void OpenTimeGroup(SiteLoader& loader, const Frame& /*frame*/) {
  loader.scratch.zones.clear();
}
void CloseTimeGroup(SiteLoader& loader, const Frame& frame) {
  for (Zone& zone : loader.scratch.zones)
    zone.TimeGroupNo = static_cast<std::int16_t>(frame.record + 1);
  loader.Store().GetTimeGroupZone().Append(loader.scratch.zones);
}
void DeclineTimeGroup(SiteLoader& loader, std::int32_t /*position*/) {
  loader.Store().GetTimeGroupZone().Append(std::nullopt);
}
constexpr Node kTimeGroup = ObjectNode(kTimeGroupMembers, &OpenTimeGroup, &CloseTimeGroup);
constexpr Member kTimeGroupElement = ListElement(kTimeGroup);
constexpr Node kTimeGroups = {NodeKind::Array, {},      &kTimeGroupElement,
                              nullptr,         nullptr, &DeclineTimeGroup};

// --- Ports and field-LAN nodes ----------------------------------------------------------------

using PortFields = Fields<&ScratchOf<&Scratch::port>>;
using Port = CSDevice_PortItem;
constexpr Member kPortMembers[] = {
    PortFields::Number<&Port::SerialPort>("SerialPort"),
    PortFields::Number<&Port::Type>("Type", Id::DCP_PortType),
    PortFields::Number<&Port::SubType>("SubType"),
    PortFields::Number<&Port::TypeRef>("TypeRef"),
    PortFields::Number<&Port::BaudRate>("BaudRate", Id::DCP_BaudRate),
    PortFields::Number<&Port::Bits>("Bits", Id::DCP_PortBits),
    PortFields::Number<&Port::Parity>("Parity", Id::DCP_PortParity),
    PortFields::Number<&Port::PeripheralType>("PeripheralType", Id::DCP_PeripheralType),
    PortFields::Number<&Port::AdditionalEvent>("AdditionalEvent"),
};
constexpr Node kPort = RecordNode<&Scratch::port, &StorePartPort>(kPortMembers);
constexpr Member kPortElement = ListElement(kPort);
constexpr Node kPorts = ListNode<&StorePartPort>(kPortElement);

using FLanFields = Fields<&ScratchOf<&Scratch::flan>>;
constexpr Member kFLanMembers[] = {
    FLanFields::Number<&CSDevice_FLanSetupItem::FLAN_Node>("FLAN_Node"),
    FLanFields::Number<&CSDevice_FLanSetupItem::Type>("Type", Id::DCP_FLanType),
};
constexpr Node kFLanNode = RecordNode<&Scratch::flan, &StorePartFLan_Setup>(kFLanMembers);
constexpr Member kFLanElement = ListElement(kFLanNode);
constexpr Node kFLan = ListNode<&StorePartFLan_Setup>(kFLanElement);

// --- Inputs -----------------------------------------------------------------------------------

void StoreLevelTG(SiteLoader& loader, const Scalar& value) {
  auto& levels = loader.scratch.inputTime.LevelTG;
  if (value.position < static_cast<std::int32_t>(levels.size())) {
    levels[static_cast<std::size_t>(value.position)] = static_cast<std::int16_t>(value.integer);
  }
}
constexpr Member kLevelTG = {{},
                             Kind::Integer,
                             std::numeric_limits<std::int16_t>::min(),
                             std::numeric_limits<std::int16_t>::max(),
                             std::nullopt,
                             &StoreLevelTG};
void CloseLevelTGs(SiteLoader& loader, const Frame& frame) {
  if (frame.count != CSDevice_InputTimeItem::kLevels) {
    loader.Error(loader.PathTo(), "expected five entries, got " + std::to_string(frame.count));
  }
}
constexpr Node kLevelTGs = {NodeKind::Array, {}, &kLevelTG, nullptr, &CloseLevelTGs};

using InputTimeFields = Fields<&ScratchOf<&Scratch::inputTime>>;
using InputTime = CSDevice_InputTimeItem;
constexpr Member kInputTimeMembers[] = {
    InputTimeFields::Number<&InputTime::BounceTick>("BounceTick", Id::Tick),
    InputTimeFields::Number<&InputTime::Debounce>("Debounce"),
    InputTimeFields::Number<&InputTime::TickResolution>("TickResolution", Id::Tick),
    InputTimeFields::Number<&InputTime::Timeout>("Timeout"),
    ArrayMember("LevelTGs", kLevelTGs),
};
// The input-timing message names each level 1 to 5 by its Level text.
void CloseInputTime(SiteLoader& loader, const Frame& frame) {
  StoreRecord<&Scratch::inputTime, &StorePartInputTime>(loader, frame);
  for (int level = 1; level <= InputTime::kLevels; ++level) {
    loader.NoteEnumUse(Id::Level, level, "LevelTGs");
  }
}
constexpr Node kInputTime =
    ObjectNode(kInputTimeMembers, &ClearRecord<&Scratch::inputTime>, &CloseInputTime);

using InputLinkFields = Fields<&ScratchOf<&Scratch::inputLink>>;
using InputLink = CSDevice_InputLinkItem;
constexpr Member kInputLinkMembers[] = {
    InputLinkFields::Number<&InputLink::EnabledInputPort>("EnabledInputPort"),
    InputLinkFields::Number<&InputLink::EnabledInputLevel>("EnabledLevelInput"),
    InputLinkFields::Number<&InputLink::EnabledOutputPort>("EnabledOutputPort"),
    InputLinkFields::Number<&InputLink::EnabledOutputLevel>("EnabledLevelOutput"),
    InputLinkFields::Number<&InputLink::AlarmDis>("AlarmDis", Id::Alarm),
    InputLinkFields::Number<&InputLink::AlarmEna>("AlarmEna", Id::Alarm),
    InputLinkFields::Number<&InputLink::AlarmNear>("AlarmNear", Id::Alarm),
    InputLinkFields::Number<&InputLink::AlarmIn>("AlarmIn", Id::Alarm),
    InputLinkFields::Number<&InputLink::AlarmSleep>("AlarmSleep", Id::Alarm),
    InputLinkFields::Number<&InputLink::AlarmDisRef>("AlarmDisRef"),
    InputLinkFields::Number<&InputLink::AlarmEnaRef>("AlarmEnaRef"),
    InputLinkFields::Number<&InputLink::AlarmNearRef>("AlarmNearRef"),
    InputLinkFields::Number<&InputLink::AlarmInRef>("AlarmInRef"),
    InputLinkFields::Number<&InputLink::AlarmSleepRef>("AlarmSleepRef"),
};
constexpr Node kInputLink = RecordNode<&Scratch::inputLink, &StorePartInputLink>(kInputLinkMembers);

using InputFields = Fields<&ScratchOf<&Scratch::inputType>>;
using Input = CSDevice_InputTypeItem;
constexpr Member kInputMembers[] = {
    InputFields::Text<&Input::Name>("Name"),
    InputFields::Number<&Input::DLan>("DLan"),
    InputFields::Number<&Input::DNode>("DNode"),
    InputFields::Number<&Input::DPort>("DPort"),
    InputFields::Number<&Input::Type>("Type", Id::InputType),
    InputFields::Number<&Input::TypeRef>("TypeRef"),
    InputFields::Number<&Input::CountDelay>("CountDelay"),
    InputFields::Flag<&Input::EOL>("EOL"),
    InputFields::Flag<&Input::Polarity>("Polarity"),
    InputFields::Number<&Input::CountValue>("CountValue"),
    ObjectMember("Time", kInputTime),
    ObjectMember("Link", kInputLink),
};
constexpr Node kInput = RecordNode<&Scratch::inputType, &StorePartInputType>(kInputMembers);
constexpr Member kInputElement = ListElement(kInput);
constexpr Node kInputs = ListNode<&StorePartInputType>(kInputElement);

// --- Outputs ----------------------------------------------------------------------------------

using OutputTimeFields = Fields<&ScratchOf<&Scratch::outputTime>>;
using OutputTime = CSDevice_OutputTimeItem;
constexpr Member kOutputTimeMembers[] = {
    OutputTimeFields::Number<&OutputTime::TTickResolution>("TTickResolution", Id::Tick),
    OutputTimeFields::Number<&OutputTime::TTimeout>("TTimeout"),
    OutputTimeFields::Number<&OutputTime::PTickResolution>("PTickResolution", Id::Tick),
    OutputTimeFields::Number<&OutputTime::Pulse>("Pulse"),
    OutputTimeFields::Number<&OutputTime::TgControlled>("TgControlled"),
    OutputTimeFields::Number<&OutputTime::TgEnabled>("TgEnabled"),
    OutputTimeFields::Number<&OutputTime::TgReport>("TgReport"),
};
constexpr Node kOutputTime =
    RecordNode<&Scratch::outputTime, &StorePartOutputTime>(kOutputTimeMembers);

using OutputFields = Fields<&ScratchOf<&Scratch::outputType>>;
using Output = CSDevice_OutputTypeItem;
constexpr Member kOutputMembers[] = {
    OutputFields::Text<&Output::Name>("Name"),
    OutputFields::Number<&Output::DLan>("DLan"),
    OutputFields::Number<&Output::DNode>("DNode"),
    OutputFields::Number<&Output::DPort>("DPort"),
    OutputFields::Number<&Output::Type>("Type", Id::OutputType),
    OutputFields::Number<&Output::TypeRef>("TypeRef"),
    OutputFields::Number<&Output::Polarity>("Polarity", Id::OutputPolarity),
    OutputFields::Number<&Output::EnabledInputPort>("EnableIn"),
    OutputFields::Number<&Output::EnabledOutputPort>("EnableOut"),
    OutputFields::Number<&Output::ControlInput>("ControlIn"),
    OutputFields::Number<&Output::ControlOutput>("ControlOut"),
    OutputFields::Number<&Output::EnabledInputLevel>("EnableIn_L"),
    OutputFields::Number<&Output::EnabledOutputLevel>("EnableOut_L"),
    OutputFields::Number<&Output::ControlInputLevel>("ControlIn_L"),
    OutputFields::Number<&Output::ControlOutputLevel>("ControlOut_L"),
    ObjectMember("Time", kOutputTime),
};
constexpr Node kOutput = RecordNode<&Scratch::outputType, &StorePartOutputType>(kOutputMembers);
constexpr Member kOutputElement = ListElement(kOutput);
constexpr Node kOutputs = ListNode<&StorePartOutputType>(kOutputElement);

// --- Readers ----------------------------------------------------------------------------------

using CardControlFields = Fields<&ScratchOf<&Scratch::cardControl>>;
using CardControl = CSDevice_RdCardControlItem;
constexpr Member kCardControlMembers[] = {
    CardControlFields::Number<&CardControl::APBTo>("APBTo"),
    CardControlFields::Number<&CardControl::APBFrom>("APBFrom"),
    CardControlFields::Number<&CardControl::APBOffline>("APBOffline"),
    CardControlFields::Number<&CardControl::APBReset>("APBReset"),
    CardControlFields::Number<&CardControl::ATBMinutes>("ATBMinutes"),
    CardControlFields::Number<&CardControl::ATBLink>("ATBLink"),
    CardControlFields::Number<&CardControl::Capture>("Capture", Id::ReaderCapture),
    CardControlFields::Number<&CardControl::Attempts>("Attempts"),
    CardControlFields::Number<&CardControl::DisableSeconds>("DisableSeconds"),
    CardControlFields::Number<&CardControl::DualBadge>("DualBadge"),
    CardControlFields::Number<&CardControl::BadgeTimeout>("BadgeTimeout"),
    CardControlFields::Number<&CardControl::BadgeOutG>("BadgeOutG"),
};
constexpr Node kCardControl =
    RecordNode<&Scratch::cardControl, &StorePartRdCardControl>(kCardControlMembers);

using CardLocationFields = Fields<&ScratchOf<&Scratch::cardLocation>>;
using CardLocation = CSDevice_RdCardLocationItem;
constexpr Member kCardLocationMembers[] = {
    CardLocationFields::Number<&CardLocation::FacilityStart>("FacilityStart"),
    CardLocationFields::Number<&CardLocation::FacilityEnd>("FacilityEnd"),
    CardLocationFields::Number<&CardLocation::FacilityDigits>("FacilityDigits"),
    CardLocationFields::Number<&CardLocation::CardStart>("CardStart"),
    CardLocationFields::Number<&CardLocation::CardEnd>("CardEnd"),
    CardLocationFields::Number<&CardLocation::CardDigits>("CardDigits"),
    CardLocationFields::Number<&CardLocation::AltStart>("AltStart"),
    CardLocationFields::Number<&CardLocation::AltEnd>("AltEnd"),
};
constexpr Node kCardLocation =
    RecordNode<&Scratch::cardLocation, &StorePartRdCardLocation>(kCardLocationMembers);

using CardStructureFields = Fields<&ScratchOf<&Scratch::cardStructure>>;
using CardStructure = CSDevice_RdCardStructureItem;
constexpr Member kCardStructureMembers[] = {
    CardStructureFields::Number<&CardStructure::CardType>("CardType"),
    CardStructureFields::Number<&CardStructure::SiteCode>("SiteCode"),
    CardStructureFields::Number<&CardStructure::ExactBits>("ExactBits"),
    CardStructureFields::Number<&CardStructure::Duress>("Duress"),
    CardStructureFields::Number<&CardStructure::DeleteOffset>("DeleteOffset"),
    CardStructureFields::Number<&CardStructure::ClientCode>("ClientCode"),
    CardStructureFields::Flag<&CardStructure::ParityCheck>("ParityCheck"),
    CardStructureFields::Flag<&CardStructure::Frame>("Frame"),
};
constexpr Node kCardStructure =
    RecordNode<&Scratch::cardStructure, &StorePartRdCardStructure>(kCardStructureMembers);

using AccessAlarmFields = Fields<&ScratchOf<&Scratch::accessAlarm>>;
using AccessAlarm = CSDevice_RdAccessAlarmItem;
constexpr Member kAccessAlarmMembers[] = {
    AccessAlarmFields::Number<&AccessAlarm::AlarmOK>("OK", Id::Alarm),
    AccessAlarmFields::Number<&AccessAlarm::AlarmFail>("Fail", Id::Alarm),
    AccessAlarmFields::Number<&AccessAlarm::AlarmRandom>("Random", Id::Alarm),
    AccessAlarmFields::Number<&AccessAlarm::AlarmIllegal>("Illegal", Id::Alarm),
    AccessAlarmFields::Number<&AccessAlarm::AlarmDuress>("Duress", Id::Alarm),
    AccessAlarmFields::Number<&AccessAlarm::AlarmOK_Ref>("OKRef"),
    AccessAlarmFields::Number<&AccessAlarm::AlarmFail_Ref>("FailRef"),
    AccessAlarmFields::Number<&AccessAlarm::AlarmRandom_Ref>("RandomRef"),
    AccessAlarmFields::Number<&AccessAlarm::AlarmIllegal_Ref>("IllegalRef"),
    AccessAlarmFields::Number<&AccessAlarm::AlarmDuress_Ref>("DuressRef"),
};
constexpr Node kAccessAlarm =
    RecordNode<&Scratch::accessAlarm, &StorePartRdAccessAlarm>(kAccessAlarmMembers);

using ReaderFields = Fields<&ScratchOf<&Scratch::reader>>;
using Reader = CSDevice_RdConfigurationItem;
constexpr Member kReaderMembers[] = {
    ReaderFields::Text<&Reader::Name>("Name"),
    ReaderFields::Number<&Reader::DLan>("DLan"),
    ReaderFields::Number<&Reader::DNode>("DNode"),
    ReaderFields::Number<&Reader::DPort>("DPort"),
    ReaderFields::Number<&Reader::App>("App", Id::ReaderApp),
    ReaderFields::Number<&Reader::Type>("Type", Id::ReaderType),
    ReaderFields::Number<&Reader::LED>("LED", Id::ReaderLED),
    ReaderFields::Number<&Reader::LCD>("LCD"),
    ReaderFields::Number<&Reader::CardLCD>("CardLCD"),
    ReaderFields::Number<&Reader::Complete>("Complete", Id::ReaderCompleteMode),
    ReaderFields::Number<&Reader::BoothMode>("BoothMode", Id::ReaderBoothMode),
    ReaderFields::Number<&Reader::LinkRef>("LinkRef"),
    ReaderFields::Number<&Reader::Power>("Power", Id::ReaderPower),
    ReaderFields::Number<&Reader::CheckType>("CheckType", Id::ReaderCheckType),
    ReaderFields::Number<&Reader::Percentage>("Percentage"),
    ReaderFields::Flag<&Reader::ClkPolarity>("ClkPolarity"),
    ObjectMember("CardControl", kCardControl),
    ObjectMember("CardLocation", kCardLocation),
    ObjectMember("CardStructure", kCardStructure),
    ObjectMember("AccessAlarm", kAccessAlarm),
};
constexpr Node kReader = RecordNode<&Scratch::reader, &StorePartRdConfiguration>(kReaderMembers);
constexpr Member kReaderElement = ListElement(kReader);
constexpr Node kReaders = ListNode<&StorePartRdConfiguration>(kReaderElement);

// --- The controller and the file --------------------------------------------------------------

using ControllerFields = Fields<&AddressOf>;
constexpr Member kControllerMembers[] = {
    Required(ControllerFields::Number<&CSS_ControllerAddress::interfaceId>("Interface",
                                                                           std::nullopt, 1)),
    Required(ControllerFields::Number<&CSS_ControllerAddress::node>("Node", std::nullopt, 0)),
    ConfigFields::Text<&Config::Name>("Name"),
    ObjectMember("Resource", kResource),
    ObjectMember("Config", kConfig),
    ObjectMember("XTRA", kXtra),
    ArrayMember("Holidays", kHolidays),
    ArrayMember("TimeZones", kTimeZones),
    ArrayMember("TimeGroups", kTimeGroups),
    ArrayMember("Ports", kPorts),
    ArrayMember("FLAN", kFLan),
    ArrayMember("Inputs", kInputs),
    ArrayMember("Outputs", kOutputs),
    ArrayMember("Readers", kReaders),
};
constexpr std::uint64_t kAddressKeys = 0b11;  // Interface and Node, the first two members

void OpenController(SiteLoader& loader, const Frame& /*frame*/) {
  loader.OpenController();
}
void CloseController(SiteLoader& loader, const Frame& frame) {
  loader.CloseController(frame);
}
constexpr Node kController = ObjectNode(kControllerMembers, &OpenController, &CloseController);
constexpr Member kControllerElement = ListElement(kController);
constexpr Node kControllers = {NodeKind::Array, {}, &kControllerElement};

// "Enums": { "<enumeration>": { "<value>": "<text>", ... }, ... }; the keys are checked by
// SiteLoader::key.
void StoreEnumText(SiteLoader& loader, const Scalar& value);
constexpr Member kEnumText = {{}, Kind::Text, 0, 0, std::nullopt, &StoreEnumText};
constexpr Node kEnumTexts = {NodeKind::EnumTexts, {}, nullptr};
constexpr Member kEnumTextsMember = ObjectMember({}, kEnumTexts);
constexpr Node kEnums = {NodeKind::EnumSet, {}, nullptr};

constexpr Member kTopMembers[] = {
    ObjectMember("Enums", kEnums),
    ArrayMember("Controllers", kControllers, true),
};
constexpr Node kTop = ObjectNode(kTopMembers);
constexpr Member kTopElement = ObjectMember({}, kTop);
constexpr Node kRoot = {NodeKind::Root, {}, &kTopElement};

const Node& RootNode() {
  return kRoot;
}

// ---------------------------------------------------------------------------------------------
// The handler.

std::string_view ExpectedName(Kind kind) {
  switch (kind) {
    case Kind::Integer:
      return "an integer";
    case Kind::Boolean:
      return "a boolean";
    case Kind::Text:
      return "a string";
    case Kind::Object:
      return "an object";
    case Kind::Array:
      return "an array";
  }
  return {};
}

std::string Range(std::int64_t min, std::int64_t max) {
  return std::to_string(min) + ".." + std::to_string(max);
}

// Reads a whole decimal integer ("-1", "0", "3") into `value`.
bool ParseDecimal(std::string_view text, std::int64_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first == last || *first == '+') return false;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last;
}

void StoreEnumText(SiteLoader& loader, const Scalar& value) {
  loader.AddEnumText(loader.EnumValue(), value.text);
}

std::string SiteLoader::PathTo(std::string_view leaf, std::int32_t position) const {
  std::string path;
  const auto addName = [&path](std::string_view name) {
    if (!path.empty()) path += '.';
    path += name;
  };
  const auto addPosition = [&path](std::int32_t at) {
    path += '[';
    path += std::to_string(at);
    path += ']';
  };
  for (std::size_t i = 1; i < frames_.size(); ++i) {
    const Frame& frame = frames_[i];
    if (frame.position >= 0) {
      addPosition(frame.position);
    } else if (!frame.name.empty()) {
      addName(frame.name);
    }
  }
  if (position >= 0) addPosition(position);
  if (!leaf.empty()) addName(leaf);
  return path;
}

std::string SiteLoader::ValuePath(std::int32_t position) const {
  const Frame& frame = frames_.back();
  switch (frame.node->kind) {
    case NodeKind::Root:
      return {};
    case NodeKind::Array:
      return PathTo({}, position);
    default:
      return PathTo(frame.pendingKey);
  }
}

void SiteLoader::Error(std::string_view path, std::string_view message) {
  if (errors_.size() >= kMaxErrors) {
    if (errors_.size() == kMaxErrors) {
      errors_.push_back(site_->fileName + ": more than " + std::to_string(kMaxErrors) +
                        " errors, the rest of the file is not checked");
    }
    return;
  }
  std::string line = site_->fileName;
  line += ": ";
  if (!path.empty()) line.append(path).append(": ");
  line += message;
  errors_.push_back(std::move(line));
}

void SiteLoader::ExpectedGot(const Member& member, std::string_view got, std::int32_t position) {
  std::string message = "expected ";
  message.append(ExpectedName(member.kind)).append(", got ").append(got);
  Error(ValuePath(position), message);
}

const Member* SiteLoader::Expect(std::int32_t& position) {
  Frame& frame = frames_.back();
  if (frame.node->kind == NodeKind::Array || frame.node->kind == NodeKind::Root) {
    position = frame.count++;
    return frame.node->element;
  }
  position = -1;
  const Member* member = frame.pending;
  frame.pending = nullptr;
  return member;
}

bool SiteLoader::FirstUse(CSToolEnumId id, std::int64_t value) {
  const auto index = static_cast<std::size_t>(id);
  if (value >= 0 && value < 256) {
    auto&& seen = seenSmall_[index][static_cast<std::size_t>(value)];
    if (seen) return false;
    seen = true;
    return true;
  }
  return seenOther_.insert((std::uint64_t{index} << 32) | static_cast<std::uint32_t>(value)).second;
}

void SiteLoader::NoteEnumUse(CSToolEnumId id, int value, std::string_view leaf) {
  if (FirstUse(id, value)) site_->enumUses.push_back({id, value, PathTo(leaf)});
}

bool SiteLoader::OnScalar(Got got, Scalar value, const std::string* raw) {
  if (skipDepth_ > 0) return true;
  std::int32_t position = -1;
  const Member* member = Expect(position);
  if (member == nullptr) return true;
  const Node& node = *frames_.back().node;
  value.position = position;
  if (got == Got::Null && node.declined != nullptr) {
    node.declined(*this, position);
    return true;
  }
  switch (member->kind) {
    case Kind::Integer:
      if (got == Got::Integer) {
        if (value.integer < member->min || value.integer > member->max) {
          Error(ValuePath(position),
                std::to_string(value.integer) + " is outside " + Range(member->min, member->max));
          return true;
        }
        member->store(*this, value);
        if (member->enumeration && FirstUse(*member->enumeration, value.integer)) {
          site_->enumUses.push_back(
              {*member->enumeration, static_cast<int>(value.integer), ValuePath(position)});
        }
        return true;
      }
      if (got == Got::HugeInteger) {
        Error(ValuePath(position), *raw + " is outside " + Range(member->min, member->max));
        return true;
      }
      if (got == Got::Fraction) {
        Error(ValuePath(position), *raw + " is not an integer");
        return true;
      }
      break;
    case Kind::Boolean:
      if (got == Got::Boolean) {
        member->store(*this, value);
        return true;
      }
      break;
    case Kind::Text:
      if (got == Got::String) {
        member->store(*this, value);
        return true;
      }
      break;
    case Kind::Object:
    case Kind::Array:
      break;
  }
  std::string_view gotName = "a number";
  if (got == Got::Null) gotName = "null";
  if (got == Got::Boolean) gotName = "a boolean";
  if (got == Got::String) gotName = "a string";
  ExpectedGot(*member, gotName, position);
  return true;
}

bool SiteLoader::OnStart(Kind kind) {
  if (skipDepth_ > 0) {
    ++skipDepth_;
    return true;
  }
  std::int32_t position = -1;
  const Member* member = Expect(position);
  if (member == nullptr || member->kind != kind) {
    if (member != nullptr) ExpectedGot(*member, ExpectedName(kind), position);
    skipDepth_ = 1;
    return true;
  }
  const Frame& parent = frames_.back();
  const bool inObject = parent.node->kind != NodeKind::Array;
  const bool atTop = parent.node->kind == NodeKind::Root;
  frames_.emplace_back(member->node, inObject ? parent.pendingKey : std::string_view(),
                       atTop ? -1 : position, inObject ? parent.record : position);
  if (member->node->open != nullptr) member->node->open(*this, frames_.back());
  return true;
}

bool SiteLoader::OnEnd() {
  if (skipDepth_ > 0) {
    --skipDepth_;
    return true;
  }
  const Frame& frame = frames_.back();
  const auto& members = frame.node->members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].required && (frame.seen >> i & 1) == 0) {
      Error(PathTo(), "missing required key \"" + std::string(members[i].key) + "\"");
    }
  }
  if (frame.node->close != nullptr) frame.node->close(*this, frame);
  frames_.pop_back();
  return true;
}

bool SiteLoader::Key(std::string& key) {
  if (skipDepth_ > 0) return true;
  Frame& frame = frames_.back();
  frame.pending = nullptr;
  frame.pendingKey = {};
  switch (frame.node->kind) {
    case NodeKind::EnumSet: {
      const std::optional<CSToolEnumId> id = CSToolEnum::FindByName(key);
      if (!id) {
        Error(PathTo(key), "unknown enumeration");
        return true;
      }
      currentEnum_ = *id;
      frame.pending = &kEnumTextsMember;
      frame.pendingKey = CSToolEnum::Name(*id);
      return true;
    }
    case NodeKind::EnumTexts: {
      std::int64_t value = 0;
      if (!ParseDecimal(key, value)) {
        Error(PathTo(key), "\"" + key + "\" is not a decimal integer");
        return true;
      }
      if (value < std::numeric_limits<std::int32_t>::min() ||
          value > std::numeric_limits<std::int32_t>::max()) {
        Error(PathTo(key), key + " is outside " +
                               Range(std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max()));
        return true;
      }
      enumValue_ = static_cast<int>(value);
      enumKey_ = key;
      frame.pending = &kEnumText;
      frame.pendingKey = enumKey_;
      return true;
    }
    default:
      break;
  }
  // Keys mostly come in table order, so the search starts after the last one found.
  const auto& members = frame.node->members;
  const std::size_t count = members.size();
  for (std::size_t n = 0; n < count; ++n) {
    std::size_t i = frame.hint + n;
    if (i >= count) i -= count;
    if (members[i].key != key) continue;
    frame.hint = i + 1;
    if ((frame.seen >> i & 1) != 0) {
      Error(PathTo(key), "appears more than once");
      return true;
    }
    frame.seen |= std::uint64_t{1} << i;
    frame.pending = &members[i];
    frame.pendingKey = members[i].key;
    return true;
  }
  Error(PathTo(key), "unknown key");
  return true;
}

bool SiteLoader::parse_error(std::size_t position, const std::string& /*lastToken*/,
                             const nlohmann::json::exception& error) {
  // `position` counts the bytes read, the offending one included.
  const std::size_t at = std::min(position > 0 ? position - 1 : 0, text_.size());
  // The reader's message starts with its own prefix and position: keep what follows them.
  std::string_view message = error.what();
  const std::size_t prefix = message.find("parse error");
  if (prefix != std::string_view::npos) {
    const std::size_t colon = message.find(": ", prefix);
    if (colon != std::string_view::npos) message.remove_prefix(colon + 2);
  }
  errors_.push_back(Where(site_->fileName, text_, at) + ": " + std::string(message));
  return false;
}

void SiteLoader::OpenController() {
  site_->controllers.emplace_back();
  resourceGiven_ = 0;
  controllerErrors_ = errors_.size();
}

void SiteLoader::CloseController(const Frame& frame) {
  CSS_SiteController& controller = Controller();
  // A count that is not given is the length of its list.
  CSApplicationManagerStd& store = controller.store;
  for (std::size_t i = 0; i < std::size(kCounts); ++i) {
    if ((resourceGiven_ >> i & 1) != 0) continue;
    const CountDefault& count = kCounts[i];
    const int length = count.length(store);
    if (length > std::numeric_limits<std::int16_t>::max()) {
      Error(PathTo(count.list),
            std::to_string(length) + " entries are more than a count can hold (32767)");
      continue;
    }
    (store.GetResource().*count.set)(static_cast<std::int16_t>(length));
  }
  // Every address is used once; an address with an error of its own is not compared.
  if ((frame.seen & kAddressKeys) != kAddressKeys || errors_.size() != controllerErrors_) return;
  const std::uint64_t address =
      (std::uint64_t{static_cast<std::uint32_t>(controller.address.interfaceId)} << 32) |
      static_cast<std::uint32_t>(controller.address.node);
  const std::size_t index = site_->controllers.size() - 1;
  const auto [it, added] = addresses_.emplace(address, index);
  if (!added) {
    Error(PathTo(), "Interface " + std::to_string(controller.address.interfaceId) + " and Node " +
                        std::to_string(controller.address.node) +
                        " are already used by Controllers[" + std::to_string(it->second) + "]");
  }
}

}  // namespace

CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName) {
  // The JSON reader takes a NUL byte for the end of the text and would accept whatever follows.
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    CSS_SiteLoadResult result;
    result.errors.push_back(Where(fileName, text, nul) + ": syntax error - a NUL byte");
    return result;
  }
  SiteLoader loader(text, fileName);
  nlohmann::json::sax_parse(text.data(), text.data() + text.size(), &loader);
  return std::move(loader).Finish();
}

}  // namespace ssmsg
