// The site file's schema: which keys each object of a site file has and where their values go.
// Records take their keys, ranges and enumerations from the field tables of host/CSDevice_Fields.h;
// what is written here is only how the records of a controller hang together (lists, sub-records,
// time-group zones, the level time groups of an input), the controller's address, the capability
// counts and the enumeration texts. The schema-driven reader of json/JsonSchema.h checks every
// value and fills the records of each controller as it goes.

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
#include <utility>
#include <vector>

#include "core/OrderedWork.h"
#include "host/CSDevice_Fields.h"
#include "json/JsonDom.h"
#include "json/JsonParse.h"
#include "json/JsonSchema.h"
#include "site/SiteData.h"
#include "site/SiteLists.h"
#include "site/StoreImage.h"
#include "site/file/SiteFile.h"

namespace ssmsg {
namespace {

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

// Where a controller's object lies in the file's text. Its records are read again from there
// whenever it is loaded into a store.
struct Span {
  std::size_t begin = 0;
  std::size_t size = 0;
};

// What the schema's hooks and store functions fill: the records of one controller at a time, in
// `store`. Reading a whole document, `site` is the site being made, which gets each controller's
// place in the text, address and findings as it ends; reading one controller alone (to check it,
// or to load it into a store), `site` is null.
struct SiteBuilder {
  SiteBuilder(CSS_SiteData* site_, CSApplicationManagerStd& store_) : site(site_), store(&store_) {}

  CSApplicationManagerStd& Store() { return *store; }

  CSS_SiteData* site;
  std::vector<Span>* spans = nullptr;          // with `site`: where each controller lies
  std::vector<std::string>* images = nullptr;  // with `site`, when it keeps its records
  CSApplicationManagerStd* store;
  CSS_ControllerAddress address;  // of the controller being read
  Scratch scratch;
  CSToolEnumId currentEnum{};        // the enumeration whose texts are being read
  int enumValue = 0;                 // the value whose text comes next
  std::size_t controllerErrors = 0;  // errors before the current controller began
  std::uint64_t countsGiven = 0;     // the counts that "Resource" gives, by kCountedLists position
  std::uint64_t listsSeen = 0;       // reading a patch of lists: those it sets, by kListMembers
  std::unordered_map<std::uint64_t, std::size_t> addresses;  // (interface, node) -> controller
  // Reading a document: where the last object began and where the last one ended, and where
  // the current controller began.
  std::size_t lastOpen = 0;
  std::size_t lastClose = 0;
  std::size_t controllerBegin = 0;
};

SiteBuilder& Builder(CSS_SchemaReader& reader) {
  return reader.Context<SiteBuilder>();
}

// --- Building members and nodes -----------------------------------------------------------------

constexpr CSS_SchemaMember ObjectMember(std::string_view key, const CSS_SchemaNode& node,
                                        bool required = false) {
  return {key, CSS_JsonKind::Object, 0, 0, nullptr, &node, required};
}
constexpr CSS_SchemaMember ArrayMember(std::string_view key, const CSS_SchemaNode& node,
                                       bool required = false) {
  return {key, CSS_JsonKind::Array, 0, 0, nullptr, &node, required};
}
constexpr CSS_SchemaNode ObjectNode(std::span<const CSS_SchemaMember> members,
                                    CSS_SchemaHook open = nullptr, CSS_SchemaHook close = nullptr) {
  return {CSS_SchemaNodeKind::Object, members, nullptr, open, close};
}

template <std::size_t N, std::size_t M>
constexpr std::array<CSS_SchemaMember, N + M> Join(const std::array<CSS_SchemaMember, N>& a,
                                                   const std::array<CSS_SchemaMember, M>& b) {
  std::array<CSS_SchemaMember, N + M> joined{};
  for (std::size_t i = 0; i < N; ++i)
    joined[i] = a[i];
  for (std::size_t i = 0; i < M; ++i)
    joined[N + i] = b[i];
  return joined;
}

// Stores the value of field `I` of `Table` into the record that `Locate` finds.
template <auto Locate, const auto& Table, std::size_t I>
void StoreField(CSS_SchemaReader& reader, const CSS_JsonScalar& value) {
  constexpr auto& field = std::get<I>(Table.fields);
  using Field = std::remove_cvref_t<decltype(field)>;
  auto& member = Field::Of(Locate(Builder(reader)));
  if constexpr (Field::kKind == CSS_FieldKind::Text) {
    member = value.text;
  } else if constexpr (Field::kKind == CSS_FieldKind::Flag) {
    member = value.flag ? 1 : 0;
  } else {
    member = static_cast<typename Field::Type>(value.integer);
  }
}

// The members of every field of `Table`, kept in the record that `Locate` finds.
template <auto Locate, const auto& Table>
constexpr auto FieldMembers() {
  return []<std::size_t... I>(std::index_sequence<I...>) {
    constexpr auto infos = Table.Infos();
    const auto member = [&infos](std::size_t i, auto store) {
      const CSS_FieldInfo& info = infos[i];
      switch (info.kind) {
        case CSS_FieldKind::Flag:
          return CSS_SchemaMember{info.name, CSS_JsonKind::Boolean, 0, 0, store};
        case CSS_FieldKind::Text:
          return CSS_SchemaMember{info.name, CSS_JsonKind::Text, 0, 0, store};
        default:
          return CSS_SchemaMember{info.name, CSS_JsonKind::Integer, info.min, info.max, store};
      }
    };
    return std::array<CSS_SchemaMember, sizeof...(I)>{member(I, &StoreField<Locate, Table, I>)...};
  }
  (std::make_index_sequence<std::remove_cvref_t<decltype(Table)>::kSize>());
}

// Where records live while they are read: a scratch record of the list element being read, or
// a record of the controller's store.
template <auto Item>
auto& ScratchOf(SiteBuilder& builder) {
  return builder.scratch.*Item;
}
CSDevice_Config& ConfigOf(SiteBuilder& builder) {
  return builder.Store().GetConfig();
}
CSDevice_XTRA& XtraOf(SiteBuilder& builder) {
  return builder.Store().GetXTRA();
}

// A list of records: element k of the array is the record at container index k (k + 1 for the
// time zones, whose container counts from 1); a null element is a declined position.
template <auto Part>
auto& PartOf(SiteBuilder& builder) {
  return (builder.Store().*Part)();
}
template <auto Part>
void DeclineRecord(CSS_SchemaReader& reader, std::int32_t position) {
  auto& records = PartOf<Part>(Builder(reader));
  records.Decline(position + std::remove_reference_t<decltype(records)>::kFirstIndex);
}
template <auto Item>
void ClearRecord(CSS_SchemaReader& reader, const CSS_SchemaFrame& /*frame*/) {
  ScratchOf<Item>(Builder(reader)).Clear();
}
template <auto Item, auto Part>
void StoreRecord(CSS_SchemaReader& reader, const CSS_SchemaFrame& frame) {
  auto& records = PartOf<Part>(Builder(reader));
  records.Set(frame.element + std::remove_reference_t<decltype(records)>::kFirstIndex,
              ScratchOf<Item>(Builder(reader)));
}
template <auto Item, auto Part>
constexpr CSS_SchemaNode RecordNode(std::span<const CSS_SchemaMember> members) {
  return ObjectNode(members, &ClearRecord<Item>, &StoreRecord<Item, Part>);
}
constexpr CSS_SchemaMember ListElement(const CSS_SchemaNode& node) {
  return ObjectMember({}, node);
}
template <auto Part>
constexpr CSS_SchemaNode ListNode(const CSS_SchemaMember& element) {
  return {CSS_SchemaNodeKind::Array, {}, &element, nullptr, nullptr, &DeclineRecord<Part>};
}

// The non-const getters of the store, for the templates above.
template <class T>
using Getter = T& (CSApplicationManagerStd::*)();
constexpr Getter<CSDevice_Holiday> kHolidays = &CSApplicationManagerStd::GetHoliday;
constexpr Getter<CSDevice_TimeZone> kTimeZones = &CSApplicationManagerStd::GetTimeZone;
constexpr Getter<CSDevice_Port> kPorts = &CSApplicationManagerStd::GetPort;
constexpr Getter<CSDevice_FLanSetup> kFLan = &CSApplicationManagerStd::GetFLan_Setup;
constexpr Getter<CSDevice_InputType> kInputTypes = &CSApplicationManagerStd::GetInputType;
constexpr Getter<CSDevice_InputTime> kInputTimes = &CSApplicationManagerStd::GetInputTime;
constexpr Getter<CSDevice_InputLink> kInputLinks = &CSApplicationManagerStd::GetInputLink;
constexpr Getter<CSDevice_OutputType> kOutputTypes = &CSApplicationManagerStd::GetOutputType;
constexpr Getter<CSDevice_OutputTime> kOutputTimes = &CSApplicationManagerStd::GetOutputTime;
constexpr Getter<CSDevice_RdConfiguration> kReaders = &CSApplicationManagerStd::GetRdConfiguration;
constexpr Getter<CSDevice_RdCardControl> kCardControls = &CSApplicationManagerStd::GetRdCardControl;
constexpr Getter<CSDevice_RdCardLocation> kCardLocations =
    &CSApplicationManagerStd::GetRdCardLocation;
constexpr Getter<CSDevice_RdCardStructure> kCardStructures =
    &CSApplicationManagerStd::GetRdCardStructure;
constexpr Getter<CSDevice_RdAccessAlarm> kAccessAlarms = &CSApplicationManagerStd::GetRdAccessAlarm;

// The members of a scratch record `Item`: the whole table of its record kind.
template <auto Item>
constexpr auto kRecordMembers =
    FieldMembers<&ScratchOf<Item>,
                 kRecordFields<std::remove_cvref_t<decltype(std::declval<Scratch>().*Item)>>>();
// A part of a record that holds only its fields ("CardControl").
template <auto Item, auto Part>
constexpr CSS_SchemaNode kFieldsRecord = RecordNode<Item, Part>(kRecordMembers<Item>);
// A list of records ("Holidays") whose members are `Members`: by default the fields alone.
template <auto Item, auto Part, const auto& Members = kRecordMembers<Item>>
struct RecordList {
  static constexpr CSS_SchemaNode record = RecordNode<Item, Part>(Members);
  static constexpr CSS_SchemaMember element = ListElement(record);
  static constexpr CSS_SchemaNode node = ListNode<Part>(element);
};

// --- Controller-wide records ---------------------------------------------------------------------

// Capability counts; a count that is not given defaults to the length of its list.
template <std::size_t I>
void StoreCount(CSS_SchemaReader& reader, const CSS_JsonScalar& value) {
  (Builder(reader).Store().GetResource().*
   kCountedLists[I].set)(static_cast<std::int16_t>(value.integer));
}
constexpr auto kResourceMembers = []<std::size_t... I>(std::index_sequence<I...>) {
  return std::array<CSS_SchemaMember, sizeof...(I)>{CSS_SchemaMember{
      kCountedLists[I].count, CSS_JsonKind::Integer, std::numeric_limits<std::int16_t>::min(),
      std::numeric_limits<std::int16_t>::max(), &StoreCount<I>}...};
}
(std::make_index_sequence<std::size(kCountedLists)>());
void CloseResource(CSS_SchemaReader& reader, const CSS_SchemaFrame& frame) {
  Builder(reader).countsGiven = frame.seen;
}
constexpr CSS_SchemaNode kResource = ObjectNode(kResourceMembers, nullptr, &CloseResource);

constexpr auto kConfigMembers = FieldMembers<&ConfigOf, kRecordFields<CSDevice_Config>>();
constexpr CSS_SchemaNode kConfig = ObjectNode(kConfigMembers);
constexpr auto kXtraMembers = FieldMembers<&XtraOf, kRecordFields<CSDevice_XTRA>>();
constexpr CSS_SchemaNode kXtra = ObjectNode(kXtraMembers);

// --- Schedules -----------------------------------------------------------------------------------

constexpr const CSS_SchemaNode& kHolidayList = RecordList<&Scratch::holiday, kHolidays>::node;

constexpr const CSS_SchemaNode& kTimeZoneList = RecordList<&Scratch::timeZone, kTimeZones>::node;

constexpr auto kZoneMembers = kRecordMembers<&Scratch::zone>;
void AddZone(CSS_SchemaReader& reader, const CSS_SchemaFrame& /*frame*/) {
  Scratch& scratch = Builder(reader).scratch;
  scratch.zones.push_back(scratch.zone);
}
constexpr CSS_SchemaNode kZone = ObjectNode(kZoneMembers, &ClearRecord<&Scratch::zone>, &AddZone);
constexpr CSS_SchemaMember kZoneElement = ListElement(kZone);
// A zone list has no declined positions: null is an error there.
constexpr CSS_SchemaNode kZones = {CSS_SchemaNodeKind::Array, {}, &kZoneElement};

constexpr CSS_SchemaMember kTimeGroupMembers[] = {ArrayMember("Zones", kZones)};
void OpenTimeGroup(CSS_SchemaReader& reader, const CSS_SchemaFrame& /*frame*/) {
  Builder(reader).scratch.zones.clear();
}
void CloseTimeGroup(CSS_SchemaReader& reader, const CSS_SchemaFrame& frame) {
  SiteBuilder& builder = Builder(reader);
  for (CSDevice_TimeGroupZoneItem& zone : builder.scratch.zones)
    zone.TimeGroupNo = static_cast<std::int16_t>(frame.element + 1);
  builder.Store().GetTimeGroupZone().Append(builder.scratch.zones);
}
void DeclineTimeGroup(CSS_SchemaReader& reader, std::int32_t /*position*/) {
  Builder(reader).Store().GetTimeGroupZone().Append(std::nullopt);
}
constexpr CSS_SchemaNode kTimeGroup =
    ObjectNode(kTimeGroupMembers, &OpenTimeGroup, &CloseTimeGroup);
constexpr CSS_SchemaMember kTimeGroupElement = ListElement(kTimeGroup);
constexpr CSS_SchemaNode kTimeGroupList = {
    CSS_SchemaNodeKind::Array, {}, &kTimeGroupElement, nullptr, nullptr, &DeclineTimeGroup};

// --- Ports and field-LAN nodes -------------------------------------------------------------------

constexpr const CSS_SchemaNode& kPortList = RecordList<&Scratch::port, kPorts>::node;

constexpr const CSS_SchemaNode& kFLanList = RecordList<&Scratch::flan, kFLan>::node;

// --- Inputs --------------------------------------------------------------------------------------

// The time groups of the five levels of an input, level 1 first.
void StoreLevelTG(CSS_SchemaReader& reader, const CSS_JsonScalar& value) {
  auto& levels = Builder(reader).scratch.inputTime.LevelTG;
  if (value.position < static_cast<std::int32_t>(levels.size())) {
    levels[static_cast<std::size_t>(value.position)] = static_cast<std::int16_t>(value.integer);
  }
}
constexpr CSS_SchemaMember kLevelTG = {{},
                                       CSS_JsonKind::Integer,
                                       std::numeric_limits<std::int16_t>::min(),
                                       std::numeric_limits<std::int16_t>::max(),
                                       &StoreLevelTG};
void CloseLevelTGs(CSS_SchemaReader& reader, const CSS_SchemaFrame& frame) {
  if (frame.count != CSDevice_InputTimeItem::kLevels) {
    reader.Error(reader.PathTo(), "expected five entries, got " + std::to_string(frame.count));
  }
}
constexpr CSS_SchemaNode kLevelTGs = {
    CSS_SchemaNodeKind::Array, {}, &kLevelTG, nullptr, &CloseLevelTGs};

constexpr auto kInputTimeMembers =
    Join(kRecordMembers<&Scratch::inputTime>, std::array{ArrayMember("LevelTGs", kLevelTGs)});
constexpr CSS_SchemaNode kInputTime =
    RecordNode<&Scratch::inputTime, kInputTimes>(kInputTimeMembers);

constexpr const CSS_SchemaNode& kInputLink = kFieldsRecord<&Scratch::inputLink, kInputLinks>;

constexpr auto kInputMembers =
    Join(kRecordMembers<&Scratch::inputType>,
         std::array{ObjectMember("Time", kInputTime), ObjectMember("Link", kInputLink)});
constexpr const CSS_SchemaNode& kInputList =
    RecordList<&Scratch::inputType, kInputTypes, kInputMembers>::node;

// --- Outputs -------------------------------------------------------------------------------------

constexpr const CSS_SchemaNode& kOutputTime = kFieldsRecord<&Scratch::outputTime, kOutputTimes>;

constexpr auto kOutputMembers =
    Join(kRecordMembers<&Scratch::outputType>, std::array{ObjectMember("Time", kOutputTime)});
constexpr const CSS_SchemaNode& kOutputList =
    RecordList<&Scratch::outputType, kOutputTypes, kOutputMembers>::node;

// --- Readers -------------------------------------------------------------------------------------

constexpr const CSS_SchemaNode& kCardControl = kFieldsRecord<&Scratch::cardControl, kCardControls>;
constexpr const CSS_SchemaNode& kCardLocation =
    kFieldsRecord<&Scratch::cardLocation, kCardLocations>;
constexpr const CSS_SchemaNode& kCardStructure =
    kFieldsRecord<&Scratch::cardStructure, kCardStructures>;
constexpr const CSS_SchemaNode& kAccessAlarm = kFieldsRecord<&Scratch::accessAlarm, kAccessAlarms>;

constexpr auto kReaderMembers =
    Join(kRecordMembers<&Scratch::reader>, std::array{ObjectMember("CardControl", kCardControl),
                                                      ObjectMember("CardLocation", kCardLocation),
                                                      ObjectMember("CardStructure", kCardStructure),
                                                      ObjectMember("AccessAlarm", kAccessAlarm)});
constexpr const CSS_SchemaNode& kReaderList =
    RecordList<&Scratch::reader, kReaders, kReaderMembers>::node;

// --- The controller and the file -----------------------------------------------------------------

template <auto Field, std::int64_t kMin>
void StoreAddress(CSS_SchemaReader& reader, const CSS_JsonScalar& value) {
  Builder(reader).address.*Field = static_cast<std::int32_t>(value.integer);
}
template <auto Field, std::int64_t kMin>
constexpr CSS_SchemaMember AddressMember(std::string_view key) {
  return {key,
          CSS_JsonKind::Integer,
          kMin,
          std::numeric_limits<std::int32_t>::max(),
          &StoreAddress<Field, kMin>,
          nullptr,
          true};
}

// The keys of a controller: its address, its XTRA name, its records and its lists, the lists
// in the order of their counts.
constexpr auto kControllerMembers =
    Join(Join(std::array{AddressMember<&CSS_ControllerAddress::interfaceId, 1>("Interface"),
                         AddressMember<&CSS_ControllerAddress::node, 0>("Node")},
              FieldMembers<&ConfigOf, kXtraNameField>()),
         std::array{ObjectMember("Resource", kResource), ObjectMember("Config", kConfig),
                    ObjectMember("XTRA", kXtra), ArrayMember("Holidays", kHolidayList),
                    ArrayMember("TimeZones", kTimeZoneList),
                    ArrayMember("TimeGroups", kTimeGroupList), ArrayMember("Ports", kPortList),
                    ArrayMember("FLAN", kFLanList), ArrayMember("Inputs", kInputList),
                    ArrayMember("Outputs", kOutputList), ArrayMember("Readers", kReaderList)});
constexpr std::uint64_t kAddressKeys = 0b11;  // Interface and Node, the first two members

void OpenController(CSS_SchemaReader& reader, const CSS_SchemaFrame& /*frame*/) {
  SiteBuilder& builder = Builder(reader);
  builder.store->Clear();
  builder.address = {};
  builder.countsGiven = 0;
  builder.controllerErrors = reader.ErrorCount();
  builder.controllerBegin = builder.lastOpen;
}

void CloseController(CSS_SchemaReader& reader, const CSS_SchemaFrame& frame) {
  SiteBuilder& builder = Builder(reader);
  // A count that is not given is the length of its list.
  CSApplicationManagerStd& store = builder.Store();
  for (std::size_t i = 0; i < std::size(kCountedLists); ++i) {
    const CSS_CountedList& list = kCountedLists[i];
    if ((builder.countsGiven >> i & 1) != 0) {
      (store.GetResource().*list.setGiven)(true);
      continue;
    }
    const int length = list.length(store);
    if (length > std::numeric_limits<std::int16_t>::max()) {
      reader.Error(reader.PathTo(list.list),
                   std::to_string(length) + " entries are more than a count can hold (32767)");
      continue;
    }
    (store.GetResource().*list.set)(static_cast<std::int16_t>(length));
  }
  if (builder.site == nullptr) return;
  const std::size_t index = builder.site->addresses.size();
  builder.site->addresses.push_back(builder.address);
  builder.spans->push_back({builder.controllerBegin, builder.lastClose - builder.controllerBegin});
  // Every address is used once; an address with an error of its own is not compared.
  if ((frame.seen & kAddressKeys) != kAddressKeys ||
      reader.ErrorCount() != builder.controllerErrors) {
    return;
  }
  builder.site->findings.AddController(index, store);
  if (builder.images != nullptr) EncodeStore(store, builder.images->emplace_back());
  const CSS_ControllerAddress& address = builder.address;
  const auto [it, added] = builder.addresses.emplace(AddressKey(address), index);
  if (!added) {
    reader.Error(reader.PathTo(), "Interface " + std::to_string(address.interfaceId) +
                                      " and Node " + std::to_string(address.node) +
                                      " are already used by Controllers[" +
                                      std::to_string(it->second) + "]");
  }
}
constexpr CSS_SchemaNode kController =
    ObjectNode(kControllerMembers, &OpenController, &CloseController);
constexpr CSS_SchemaMember kControllerElement = ListElement(kController);
constexpr CSS_SchemaNode kControllers = {CSS_SchemaNodeKind::Array, {}, &kControllerElement};

// "Enums": { "<enumeration>": { "<value>": "<text>", ... }, ... }.
void StoreEnumText(CSS_SchemaReader& reader, const CSS_JsonScalar& value) {
  SiteBuilder& builder = Builder(reader);
  builder.site->enumTexts.push_back(
      {builder.currentEnum, builder.enumValue, std::string(value.text)});
}
constexpr CSS_SchemaMember kEnumText = {{}, CSS_JsonKind::Text, 0, 0, &StoreEnumText};

// Reads a whole decimal integer ("-1", "0", "3") into `value`.
bool ParseDecimal(std::string_view text, std::int64_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first == last || *first == '+') return false;
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last;
}

const CSS_SchemaMember* EnumValueKey(CSS_SchemaReader& reader, std::string_view key) {
  std::int64_t value = 0;
  if (!ParseDecimal(key, value)) {
    reader.Error(reader.PathTo(key), "\"" + std::string(key) + "\" is not a decimal integer");
    return nullptr;
  }
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  if (value < kMin || value > kMax) {
    reader.Error(reader.PathTo(key), std::string(key) + " is outside " + std::to_string(kMin) +
                                         ".." + std::to_string(kMax));
    return nullptr;
  }
  Builder(reader).enumValue = static_cast<int>(value);
  return &kEnumText;
}
constexpr CSS_SchemaNode kEnumTexts = {
    CSS_SchemaNodeKind::Map, {}, nullptr, nullptr, nullptr, nullptr, &EnumValueKey};
constexpr CSS_SchemaMember kEnumTextsMember = ObjectMember({}, kEnumTexts);

const CSS_SchemaMember* EnumerationKey(CSS_SchemaReader& reader, std::string_view key) {
  const std::optional<CSToolEnumId> id = CSToolEnum::FindByName(key);
  if (!id) {
    reader.Error(reader.PathTo(key), "unknown enumeration");
    return nullptr;
  }
  Builder(reader).currentEnum = *id;
  return &kEnumTextsMember;
}
constexpr CSS_SchemaNode kEnums = {CSS_SchemaNodeKind::Map, {}, nullptr, nullptr, nullptr, nullptr,
                                   &EnumerationKey};

constexpr CSS_SchemaMember kTopMembers[] = {
    ObjectMember("Enums", kEnums),
    ArrayMember("Controllers", kControllers, true),
};
constexpr CSS_SchemaNode kTop = ObjectNode(kTopMembers);
constexpr CSS_SchemaMember kTopElement = ObjectMember({}, kTop);
constexpr CSS_SchemaNode kRoot = {CSS_SchemaNodeKind::Root, {}, &kTopElement};

// A controller alone, as the whole text: for checking and loading one controller at a time.
constexpr CSS_SchemaNode kControllerRoot = {CSS_SchemaNodeKind::Root, {}, &kControllerElement};

// A merge patch of a controller that sets nothing but whole lists: the controller's lists alone,
// none of them required, read into a store of their own.
constexpr std::size_t kListCount = [] {
  std::size_t lists = 0;
  for (const CSS_SchemaMember& member : kControllerMembers)
    lists += member.kind == CSS_JsonKind::Array ? 1 : 0;
  return lists;
}();
constexpr auto kListMembers = [] {
  std::array<CSS_SchemaMember, kListCount> lists{};
  std::size_t k = 0;
  for (const CSS_SchemaMember& member : kControllerMembers) {
    if (member.kind == CSS_JsonKind::Array) lists[k++] = member;
  }
  return lists;
}();
void OpenListPatch(CSS_SchemaReader& reader, const CSS_SchemaFrame& /*frame*/) {
  Builder(reader).store->Clear();
}
void CloseListPatch(CSS_SchemaReader& reader, const CSS_SchemaFrame& frame) {
  Builder(reader).listsSeen = frame.seen;
}
constexpr CSS_SchemaNode kListPatch = ObjectNode(kListMembers, &OpenListPatch, &CloseListPatch);
constexpr CSS_SchemaMember kListPatchElement = ListElement(kListPatch);
constexpr CSS_SchemaNode kListPatchRoot = {CSS_SchemaNodeKind::Root, {}, &kListPatchElement};

// Reading a whole document: notes where objects begin and end, so that each controller's place
// in the text is known when it closes.
class ControllerPlaces final : public CSS_JsonSplice {
 public:
  explicit ControllerPlaces(SiteBuilder& builder) : builder_(builder) {}
  std::size_t Object(std::size_t at) override {
    builder_.lastOpen = at;
    return kNotMine;
  }
  void Closed(std::size_t end) override { builder_.lastClose = end; }

 private:
  SiteBuilder& builder_;
};

// What checking one controller on its own gives.
struct ControllerCheck {
  bool valid = false;
  CSS_ControllerAddress address;
  Span span;
  SiteFindings findings;
  std::string image;  // when the site keeps its records
};

// Checks controllers one at a time, each parsed by simdjson and read by a reader of its own;
// a controller that reads well gives its findings from the records it was read into.
class ControllerChecker {
 public:
  ControllerChecker(std::string_view text, bool keep)
      : text_(text), keep_(keep), builder_(nullptr, store_) {}

  void Check(std::size_t index, std::size_t begin, std::size_t end, ControllerCheck& check) {
    check.span = {begin, end - begin};
    check.findings = {};
    check.image.clear();
    CSS_SchemaReader reader({}, kControllerRoot, &builder_);
    check.valid = dom_.Read(text_.substr(begin, end - begin), reader) && reader.ErrorCount() == 0;
    check.address = builder_.address;
    if (!check.valid) return;
    check.findings.AddController(index, store_);
    if (keep_) EncodeStore(store_, check.image);
  }

 private:
  std::string_view text_;
  bool keep_;
  CSApplicationManagerStd store_;
  SiteBuilder builder_;
  CSS_JsonDom dom_;
};

// One thread's checks: controllers given by their place in the text, each checked on its own.
struct CheckWorker {
  struct Context {
    std::string_view text;
    bool keep = false;  // the site keeps its records: each controller's image is made
  };
  struct Input {
    std::size_t index = 0, begin = 0, end = 0;
  };
  using Output = ControllerCheck;

  explicit CheckWorker(const Context& context) : checker(context.text, context.keep) {}

  void Run(const Input& job, ControllerCheck& out) {
    try {
      checker.Check(job.index, job.begin, job.end, out);
    } catch (...) {
      out.valid = false;  // the thorough way runs and meets the failure itself
    }
  }

  ControllerChecker checker;
};

// The fast way through a valid site file: every controller's object is found by a scan of its
// brackets and checked on its own (on `jobs` threads), while the rest of the document (the
// enumeration texts and the frame around the controllers) goes through ParseJson. It gives up at
// the first mistake of any kind, and at anything simdjson does not read as ParseJson does; the
// file is then read again the thorough way, which finds the mistakes in document order. The
// checks are taken in file order: addresses used twice, and the first use of each enumeration
// value, come out as the thorough way finds them.
class FastControllers final : public CSS_JsonSplice {
 public:
  FastControllers(std::string_view text, const CSS_SchemaReader& document, CSS_SiteData& site,
                  std::vector<Span>& spans, std::vector<std::string>* images, unsigned jobs)
      : text_(text),
        document_(document),
        site_(site),
        spans_(spans),
        images_(images),
        context_{text, images != nullptr},
        checks_(context_, jobs, 4 * std::size_t{JobThreads(jobs)}) {}

  std::size_t Object(std::size_t at) override {
    if (document_.NextNode() != &kController) return kNotMine;
    const std::size_t end = FindValueEnd(text_, at);
    if (end == std::string_view::npos) return kGiveUp;
    checks_.Submit({submitted_++, at, end}, [this](ControllerCheck& check) { return Take(check); });
    return valid_ ? end : kGiveUp;
  }

  // Waits for every check; whether all of them passed.
  bool Finish() {
    return checks_.Finish([this](ControllerCheck& check) { return Take(check); }) && valid_;
  }

 private:
  // Takes a check into the site, in file order; false at the first that fails.
  bool Take(ControllerCheck& check) {
    const std::size_t index = site_.addresses.size();
    if (!check.valid || !addresses_.emplace(AddressKey(check.address), index).second) {
      valid_ = false;
      return false;
    }
    site_.findings.Append(check.findings);
    site_.addresses.push_back(check.address);
    spans_.push_back(check.span);
    if (images_ != nullptr) images_->push_back(std::move(check.image));
    return true;
  }

  std::string_view text_;
  const CSS_SchemaReader& document_;
  CSS_SiteData& site_;
  std::vector<Span>& spans_;
  std::vector<std::string>* images_;
  std::unordered_map<std::uint64_t, std::size_t> addresses_;  // (interface, node) -> controller
  std::size_t submitted_ = 0;                                 // controllers handed to the checks
  bool valid_ = true;
  CheckWorker::Context context_;
  CSS_OrderedWork<CheckWorker> checks_;
};

// The records of a site read from a site file: each controller's object is parsed again from the
// file's text whenever it is loaded.
class FileRecords final : public SiteRecords {
 public:
  FileRecords(SiteText text, std::vector<Span> spans)
      : text_(std::move(text)), spans_(std::move(spans)) {}

  void Load(std::size_t controller, CSApplicationManagerStd& store) const override {
    const Span& span = spans_.at(controller);
    const std::string_view value = text_.view().substr(span.begin, span.size);
    // The value was checked when the site was loaded, so simdjson reads it; should it ever
    // decline text that the site's own reader took, that reader loads it.
    thread_local CSS_JsonDom dom;
    SiteBuilder builder(nullptr, store);
    {
      CSS_SchemaReader reader({}, kControllerRoot, &builder);
      if (dom.Read(value, reader)) return;
    }
    CSS_SchemaReader reader({}, kControllerRoot, &builder);
    ParseJson(value, {}, reader);
  }

 private:
  SiteText text_;
  std::vector<Span> spans_;
};

}  // namespace

Result<CSS_Site> ReadSiteFileText(SiteText text, std::string_view fileName, unsigned jobs,
                                  bool keep) {
  const std::string_view bytes = text.view();
  std::vector<std::string> images;
  std::vector<std::string>* kept = keep ? &images : nullptr;
  const auto made = [&](std::unique_ptr<CSS_SiteData> site, std::vector<Span> spans) {
    site->fileName = fileName;
    if (keep) {
      site->records = std::make_unique<ImageRecords>(std::move(images));
    } else {
      site->records = std::make_unique<FileRecords>(std::move(text), std::move(spans));
    }
    return CSS_SiteAccess::Make(std::move(site));
  };
  {
    auto site = std::make_unique<CSS_SiteData>();
    std::vector<Span> spans;
    CSApplicationManagerStd store;
    SiteBuilder builder(site.get(), store);
    builder.spans = &spans;
    CSS_SchemaReader document(fileName, kRoot, &builder);
    FastControllers controllers(bytes, document, *site, spans, kept, jobs);
    if (ParseJson(bytes, fileName, document, &controllers, text.firstNul) == CSS_JsonEnd::Read &&
        controllers.Finish() && document.ErrorCount() == 0) {
      return made(std::move(site), std::move(spans));
    }
  }
  images.clear();
  auto site = std::make_unique<CSS_SiteData>();
  std::vector<Span> spans;
  CSApplicationManagerStd store;
  SiteBuilder builder(site.get(), store);
  builder.spans = &spans;
  builder.images = kept;
  CSS_SchemaReader document(fileName, kRoot, &builder);
  ControllerPlaces places(builder);
  ParseJson(bytes, fileName, document, &places, text.firstNul);
  if (SiteErrors errors = std::move(document).TakeErrors(); !errors.empty()) {
    return Failure{std::move(errors)};
  }
  return made(std::move(site), std::move(spans));
}

CSS_SiteLoadResult LoadSiteFileText(SiteText text, std::string_view fileName, unsigned jobs,
                                    bool keep) {
  Result<CSS_Site> site = ReadSiteFileText(std::move(text), fileName, jobs, keep);
  CSS_SiteLoadResult result;
  if (site) {
    result.site = std::move(*site);
  } else {
    result.errors = ErrorLines(site.error());
  }
  return result;
}

Result<CSS_ControllerAddress> ReadControllerText(std::string_view json,
                                                 CSApplicationManagerStd& records) {
  const SiteText text(json);
  const auto read = [&](auto&& parse) {
    SiteBuilder builder(nullptr, records);
    CSS_SchemaReader reader({}, kControllerRoot, &builder);
    const bool parsed = parse(reader);
    SiteErrors errors = std::move(reader).TakeErrors();
    if (parsed && errors.empty()) return Result<CSS_ControllerAddress>(builder.address);
    if (errors.empty()) errors.push_back({{}, {}, "not a controller"});
    return Result<CSS_ControllerAddress>(Failure{std::move(errors)});
  };
  // simdjson first, as for a site file's controllers; what it declines, the site's own reader
  // reads, and finds the mistakes in document order.
  thread_local CSS_JsonDom dom;
  Result<CSS_ControllerAddress> fast =
      read([&](CSS_SchemaReader& reader) { return dom.Read(text.view(), reader); });
  if (fast) return fast;
  return read([&](CSS_SchemaReader& reader) {
    return ParseJson(text.view(), {}, reader) == CSS_JsonEnd::Read;
  });
}

bool ReadListPatch(std::string_view patch, CSApplicationManagerStd& records) {
  thread_local CSApplicationManagerStd lists;
  thread_local CSS_JsonDom dom;
  SiteBuilder builder(nullptr, lists);
  CSS_SchemaReader reader({}, kListPatchRoot, &builder);
  const SiteText text(patch);
  if (!dom.Read(text.view(), reader) || reader.ErrorCount() != 0) return false;
  // The counts that are not given follow the lengths of their lists, as a controller's reading
  // makes them; one that no count can hold is for the whole reading to report.
  std::uint32_t parts = 0;
  for (std::size_t k = 0; k < kListCount; ++k) {
    if ((builder.listsSeen >> k & 1) != 0) parts |= ListPartsOf(kListMembers[k].key);
  }
  CSDevice_Resource& resource = records.GetResource();
  for (const CSS_CountedList& list : kCountedLists) {
    if ((ListPartsOf(list.list) & parts) != 0 && !(resource.*list.given)() &&
        list.length(lists) > std::numeric_limits<std::int16_t>::max()) {
      return false;
    }
  }
  for (std::size_t part = 0; part < kStorePartCount; ++part) {
    if ((parts >> part & 1) != 0) MoveStorePart(static_cast<StorePart>(part), lists, records);
  }
  for (const CSS_CountedList& list : kCountedLists) {
    if (!(resource.*list.given)())
      (resource.*list.set)(static_cast<std::int16_t>(list.length(records)));
  }
  return true;
}

}  // namespace ssmsg
