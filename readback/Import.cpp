#include <ssmsg/Import.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Json.h>
#include <ssmsg/Message.h>

#include "commands/CSS_MessageCatalog.h"
#include "core/OrderedWork.h"
#include "host/CSDevice_Fields.h"
#include "site/SiteData.h"
#include "site/file/SiteFileWriter.h"

namespace ssmsg {
namespace {

// The most records of a list that a capability count (16-bit) lets a controller send. Holidays
// are bounded by their list only; a number past this is taken for a mistake there too.
constexpr std::int64_t kMaxCounted = 32767;
// The longest name that pieces may build.
constexpr std::size_t kMaxErrors = 100;
// Fewer lines than this are not worth a thread of their own.
constexpr std::size_t kLinesPerThread = 256;

using Values = std::vector<CSS_MessageValue>;

// Where a line came from, for errors found after it was read.
struct LineRef {
  std::size_t source = 0;  // index into Impl::sources
  std::size_t line = 0;
};

// A name being put together from its pieces.
struct Name {
  std::string text;
  LineRef last;  // the line of the last piece
};
using Names = std::vector<std::optional<Name>>;

struct CheckSetup {
  std::int16_t checkType = 0;
  std::int16_t percentage = 0;
};

using Zones = std::vector<CSDevice_TimeGroupZoneItem>;

// One controller as its messages have set it so far. Names and check setups are kept apart from
// the records they end up in, because the clear message of those records does not touch them.
struct Controller {
  CSS_ControllerAddress address;
  CSApplicationManagerStd store;
  std::vector<std::optional<Zones>> groups;  // group g at g - 1
  Names inputNames, outputNames, readerNames;
  std::optional<Name> xtraName;
  std::vector<std::optional<CheckSetup>> checks;  // reader n at n - 1
};

// A text of an enumeration back to its value.
struct TransparentHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>()(text);
  }
};
struct Reverse {
  bool built = false;
  std::unordered_map<std::string, int, TransparentHash, std::equal_to<>> values;
  std::unordered_set<int> taken;  // values that have a text, or stand for the empty text
  int nextFree = 0;
};

constexpr auto kDbMode = kDbModeFields.Infos();
constexpr auto kDbSize = kDbSizeFields.Infos();
constexpr auto kExpanders = kExpandersFields.Infos();
constexpr auto kInputType = kInputTypeFields.Infos();
constexpr auto kOutputType = kOutputTypeFields.Infos();
constexpr auto kRdConfiguration = kRdConfigurationFields.Infos();
constexpr auto kRdCheckSetup = kRdCheckSetupFields.Infos();

// An error of a line, kept with the line's place in the stream (its sequence number) until the
// errors of lines applied at once are put in order.
struct LineError {
  std::uint64_t seq = 0;
  std::string text;
};

// The first errors noted, and how many followed.
struct ErrorList {
  std::vector<LineError> kept;
  std::size_t more = 0;

  void Add(std::uint64_t seq, std::string text) {
    if (kept.size() < kMaxErrors) {
      kept.push_back({seq, std::move(text)});
    } else {
      ++more;
    }
  }
};

// The text that the messages gave a level of the input timing: whether any differed from the text
// the import began with, and the last one (by sequence number). The site file gives a level the
// last text when any differed: what applying the texts one by one in order would give.
struct LevelSeen {
  bool seen = false;
  bool differs = false;
  std::uint64_t seq = 0;
  std::string text;

  void See(std::uint64_t at, std::string_view given, bool differing) {
    differs = differs || differing;
    if (seen && at < seq) return;
    if (!seen || text != given) text.assign(given);
    seen = true;
    seq = at;
  }
};
using LevelsSeen = std::array<LevelSeen, CSDevice_InputTimeItem::kLevels>;

// Messages of a kind that were skipped: how many, and the first one's sequence number.
struct SkipSeen {
  std::size_t count = 0;
  std::uint64_t first = 0;
};
using SkipsSeen = std::array<SkipSeen, kMessageKindCount>;

// `T` as a type of this file alone: what the import's threads are made of stays out of the
// library's exported symbols, although the import is exported.
template <class T>
struct OfThisFile : T {
  using T::T;
};

// What applying lines noted besides the records: their errors, the level texts they gave and the
// kinds of message they skipped. `any` says whether there is anything to take.
struct Noted {
  ErrorList errors;
  LevelsSeen levels;
  SkipsSeen skips;
  bool any = false;
};

// Whether messages of `kind` carry no configuration and are skipped.
bool IsSkipped(CSS_MessageKind kind) {
  switch (kind) {
    case CSS_MessageKind::InterfaceStart:
    case CSS_MessageKind::InterfaceStop:
    case CSS_MessageKind::InterfaceSetNodes:
    case CSS_MessageKind::InterfacePoll:
    case CSS_MessageKind::AskSettings:
    case CSS_MessageKind::SetRTC:
      return true;
    default:
      return false;
  }
}

// The number from `at` in `text` up to `end`, which must follow it; advances `at` past `end`.
std::optional<std::int32_t> NumberUpTo(std::string_view text, std::size_t& at,
                                       std::string_view end) {
  const std::size_t stop = text.find('<', at);
  if (stop == std::string_view::npos || text.substr(stop, end.size()) != end) return std::nullopt;
  std::int32_t number = 0;
  const auto [ptr, error] = std::from_chars(text.data() + at, text.data() + stop, number);
  if (error != std::errc() || ptr != text.data() + stop) return std::nullopt;
  at = stop + end.size();
  return number;
}

// The key of the controller that the message `text` is for, found without decoding it; nothing
// when the text names no node the way a message does (a message without a node, or not a
// message at all). A message that decodes names the very controller found here.
std::optional<std::uint64_t> PeekAddress(std::string_view text) {
  constexpr std::string_view kStart = "<Command><InterfaceID>";
  constexpr std::string_view kAction = "</Action>";
  constexpr std::string_view kNode = "<Parameters><Node>";
  if (!text.starts_with(kStart)) return std::nullopt;
  std::size_t at = kStart.size();
  const std::optional<std::int32_t> interfaceId = NumberUpTo(text, at, "</InterfaceID>");
  if (!interfaceId) return std::nullopt;
  at = text.find(kAction, at);
  if (at == std::string_view::npos || text.substr(at + kAction.size(), kNode.size()) != kNode)
    return std::nullopt;
  at += kAction.size() + kNode.size();
  const std::optional<std::int32_t> node = NumberUpTo(text, at, "</Node>");
  if (!node) return std::nullopt;
  return AddressKey({*interfaceId, *node});
}

}  // namespace

struct CSS_Import::Impl {
  explicit Impl(const CSS_ImportOptions& options) : jobs(options.jobs), own(*this, false) {
    if (options.enumsFrom != nullptr) {
      options.enumsFrom->LoadEnumTexts(service);
      enumTexts = CSS_SiteAccess::Of(*options.enumsFrom).enumTexts;
    }
    const CSToolEnumBase& levelTexts = *service.Get(CSToolEnumId::Level);
    for (std::size_t i = 0; i < firstLevelTexts.size(); ++i)
      firstLevelTexts[i] = levelTexts.EnumToString(static_cast<int>(i + 1));
  }

  // What applies messages to controllers: the calling thread's one, or one of the threads that
  // apply the controllers of many lines at once. A shared one reads the enumeration texts only;
  // a message that needs a new value for a text is left, with every later message of its
  // controller, to the calling thread, which gives out values in the order of the lines.
  struct Applier {
    Applier(Impl& impl_, bool shared_) : impl(impl_), shared(shared_) {}

    // --- Applying one message -------------------------------------------------------------------

    // Applies `message` (one of a controller) to `c`; false when it cannot be applied, or when
    // it was left for later (`deferred`).
    bool Apply(Controller& c) {
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

    void Skip(CSS_MessageKind kind) {
      notes.any = true;
      SkipSeen& skip = notes.skips[static_cast<std::size_t>(kind)];
      if (skip.count++ == 0) skip.first = seq;
    }

    // The values of `fields` from value `first` on, into `record`. The catalog's elements of a
    // message are the rows of the same table, in the same order.
    template <std::size_t N, class Record>
    bool Fields(const std::array<CSS_FieldInfo, N>& fields, std::size_t first, Record& record) {
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
    template <class Records, std::size_t N = kRecordFieldInfos<typename Records::Item>.size()>
    bool SetRecord(Records& records, const std::array<CSS_FieldInfo, N>& fields =
                                         kRecordFieldInfos<typename Records::Item>) {
      std::int64_t position = 0;
      if (!Position(message.parameters[0], kMaxCounted, position)) return false;
      typename Records::Item record{};
      if (!Fields(fields, 1, record)) return false;
      records.Set(static_cast<int>(position - 1 + Records::kFirstIndex), std::move(record));
      return true;
    }

    // The record of a message that names no position: it goes after the others.
    template <class Records>
    bool Append(Records& records, std::string_view what) {
      if (records.GetRecordCount() >= kMaxCounted) {
        return Error("more than " + std::to_string(kMaxCounted) + " " + std::string(what) +
                     " since their last clear message");
      }
      typename Records::Item record{};
      if (!Fields(kRecordFieldInfos<typename Records::Item>, 0, record)) return false;
      records.Append(std::move(record));
      return true;
    }

    bool Position(const CSS_MessageValue& value, std::int64_t max, std::int64_t& position) {
      if (value.number < 1 || value.number > max) {
        return Error("<" + std::string(value.name) + "> " + std::to_string(value.number) +
                     " is outside 1.." + std::to_string(max));
      }
      position = value.number;
      return true;
    }

    bool InputTime(CSDevice_InputTime& records) {
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
    bool TimeGroup(Controller& c) {
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

    bool NamePiece(Names& names) {
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
    bool Piece(Name& name, const CSS_MessageValue& column, std::string_view piece) {
      if (column.number < 0)
        return Error("<Column> " + std::to_string(column.number) + " is below 0");
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

    bool Check(Controller& c) {
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

    std::optional<int> ValueOf(const CSS_FieldInfo& field, std::string_view text) {
      Reverse& reverse = impl.reverses[static_cast<std::size_t>(field.enumeration)];
      const CSToolEnumBase& texts = *std::as_const(impl.service).Get(field.enumeration);
      if (!reverse.built) impl.BuildReverse(field.enumeration);
      if (const auto found = reverse.values.find(text); found != reverse.values.end()) {
        if (found->second >= field.min && found->second <= field.max) return found->second;
        // The lowest value with the text does not fit this field: the lowest that does.
        for (const int value : texts.Values()) {
          if (value >= field.min && value <= field.max && texts.EnumToString(value) == text) {
            return value;
          }
        }
      }
      if (!IsUtf8(text)) {
        Error("the text of <" + std::string(field.name) +
              "> is not valid UTF-8; a site file cannot hold it");
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
        impl.service.Get(field.enumeration)->SetText(value, text);
        impl.enumTexts.push_back({field.enumeration, value, std::string(text)});
      }
      return value;
    }

    // The text of level `level` as a message names it; the site file gives it that text.
    bool LevelText(int level, std::string_view text) {
      const auto i = static_cast<std::size_t>(level - 1);
      if (!IsUtf8(text))
        return Error("the text of <Level> is not valid UTF-8; a site file cannot hold it");
      notes.any = true;
      notes.levels[i].See(seq, text, text != impl.firstLevelTexts[i]);
      return true;
    }

    // --- Errors ---------------------------------------------------------------------------------

    // Notes an error of the line being applied.
    bool Error(const std::string& reason) { return ErrorAt(current, reason); }
    // Notes an error of line `ref`, at `column` when it is not 0.
    bool ErrorAt(const LineRef& ref, const std::string& reason, std::size_t column = 0) {
      std::string error = impl.sources[ref.source] + ":" + std::to_string(ref.line) + ":";
      if (column > 0) error += std::to_string(column) + ":";
      notes.any = true;
      notes.errors.Add(seq, error + " " + reason);
      return false;
    }

    Impl& impl;
    const bool shared;
    CSS_Message message;    // the message being applied
    LineRef current;        // its line
    std::uint64_t seq = 0;  // its place in the stream
    bool deferred = false;  // it was left for the calling thread
    Noted notes;
  };

  void BuildReverse(CSToolEnumId id) {
    Reverse& reverse = reverses[static_cast<std::size_t>(id)];
    const CSToolEnumBase& texts = *std::as_const(service).Get(id);
    // Values() ascends, so the first value of each text is its lowest.
    for (const int value : texts.Values()) {
      reverse.values.try_emplace(std::string(texts.EnumToString(value)), value);
      reverse.taken.insert(value);
    }
    reverse.built = true;
  }

  // --- Lines one by one
  // ---------------------------------------------------------------------------

  bool AddLine(std::string_view text, std::string_view source, std::size_t line) {
    if (TrimsToNothing(text)) return true;
    NoteSource(source);
    own.current = {sources.size() - 1, line};
    own.seq = nextSeq++;
    bool good = false;
    CSS_DecodeError error;
    if (written) {
      own.ErrorAt(own.current, "comes after the site file was written");
    } else if (!DecodeMessage(text, own.message, error)) {
      own.ErrorAt(own.current, error.reason, error.column);
    } else if (IsSkipped(own.message.kind)) {
      own.Skip(own.message.kind);
      good = true;
    } else {
      good = own.Apply(ControllerAt({own.message.interfaceId, own.message.node.value_or(0)}));
    }
    Gather(own.notes);
    PutErrorsInOrder();
    return good;
  }

  void NoteSource(std::string_view source) {
    if (sources.empty() || sources.back() != source) sources.emplace_back(source);
  }

  static bool TrimsToNothing(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
  }

  Controller& ControllerAt(const CSS_ControllerAddress& address) {
    const auto [found, added] = index.try_emplace(AddressKey(address), controllers.size());
    if (added) {
      controllers.push_back(std::make_unique<Controller>());
      controllers.back()->address = address;
    }
    return *controllers[found->second];
  }

  // Takes what was noted: the errors into those of the lines being added, the level texts and the
  // skipped kinds into the import's. `notes` is left empty.
  void Gather(Noted& notes) {
    if (!notes.any) return;
    notes.any = false;
    for (LineError& error : notes.errors.kept)
      pendingErrors.push_back(std::move(error));
    notes.errors.kept.clear();
    moreErrors += std::exchange(notes.errors.more, 0);
    for (std::size_t i = 0; i < levels.size(); ++i) {
      LevelSeen& seen = notes.levels[i];
      if (seen.seen) levels[i].See(seen.seq, seen.text, seen.differs);
      seen.seen = seen.differs = false;
    }
    for (std::size_t k = 0; k < kMessageKindCount; ++k) {
      SkipSeen& skip = notes.skips[k];
      if (skip.count == 0) continue;
      SkipSeen& all = skipped[k];
      if (all.count == 0 || skip.first < all.first) all.first = skip.first;
      all.count += skip.count;
      skip.count = 0;
    }
  }

  // The errors of the lines just added, in the order of the lines, after those before them.
  void PutErrorsInOrder() {
    std::stable_sort(pendingErrors.begin(), pendingErrors.end(),
                     [](const LineError& a, const LineError& b) { return a.seq < b.seq; });
    for (LineError& error : pendingErrors) {
      if (errors.size() < kMaxErrors) {
        errors.push_back(std::move(error.text));
      } else {
        ++moreErrors;
      }
    }
    pendingErrors.clear();
  }

  // --- Many lines at once -----------------------------------------------------------------------

  // The lines of one controller among those being added (or of none: `key` kNoController).
  struct Group {
    std::uint64_t key = 0;
    Controller* controller = nullptr;  // null until its first message, when it is new
    std::vector<std::size_t> lines;    // indices into the lines being added
  };
  static constexpr std::uint64_t kNoController = ~std::uint64_t{0};  // no node is that large

  // The lines being added, as the threads that apply them see them.
  struct Batch {
    std::span<const std::string_view> lines;
    std::size_t source = 0;
    std::size_t firstLine = 0;
    std::uint64_t firstSeq = 0;
    std::vector<Group> groups;
  };

  // What applying one group gave.
  struct GroupResult {
    std::unique_ptr<Controller> made;  // the group's controller, when it is new
    std::uint64_t madeAt = 0;          // the sequence number of its first message
    std::size_t deferredFrom = 0;      // the group's lines from here on are left to this thread
    Noted notes;                       // what it noted
  };

  // One thread's applying of groups.
  struct GroupWorker {
    using Context = Impl*;
    using Input = std::size_t;
    using Output = GroupResult;

    explicit GroupWorker(Impl* impl_) : impl(*impl_), applier(impl, true) {}

    void Run(std::size_t g, GroupResult& out) {
      ApplyGroup(g, out);
      // What was noted goes with the result, as this applier goes on with another group while
      // the result waits; the notes it gets back were taken, and so are empty.
      std::swap(out.notes, applier.notes);
    }

    void ApplyGroup(std::size_t g, GroupResult& out) {
      const Batch& added = impl.batch;
      const Group& group = added.groups[g];
      out.made.reset();
      out.deferredFrom = group.lines.size();
      Controller* controller = group.controller;
      CSS_DecodeError error;
      for (std::size_t k = 0; k < group.lines.size(); ++k) {
        const std::size_t i = group.lines[k];
        applier.current = {added.source, added.firstLine + i};
        applier.seq = added.firstSeq + i;
        if (!DecodeMessage(added.lines[i], applier.message, error)) {
          applier.ErrorAt(applier.current, error.reason, error.column);
          continue;
        }
        if (IsSkipped(applier.message.kind)) {
          applier.Skip(applier.message.kind);
          continue;
        }
        const CSS_ControllerAddress address{applier.message.interfaceId,
                                            applier.message.node.value_or(0)};
        if (AddressKey(address) != group.key)
          throw std::logic_error("import: a message's controller was taken for another's");
        if (controller == nullptr) {
          out.made = std::make_unique<Controller>();
          out.made->address = address;
          out.madeAt = applier.seq;
          controller = out.made.get();
        }
        applier.Apply(*controller);
        if (applier.deferred) {
          applier.deferred = false;
          out.deferredFrom = k;
          return;
        }
      }
    }

    Impl& impl;
    Applier applier;
  };

  // The lines are applied per controller on `jobs` threads (this one among them), each
  // controller's in order; the outcome is that of AddLine for each line in order.
  bool AddLines(std::span<const std::string_view> lines, std::string_view source,
                std::size_t firstLine) {
    const unsigned threads = JobThreads(jobs, lines.size() / kLinesPerThread);
    if (threads <= 1 || written) {
      bool good = true;
      for (std::size_t i = 0; i < lines.size(); ++i)
        good = AddLine(lines[i], source, firstLine + i) && good;
      return good;
    }
    NoteSource(source);
    batch.lines = lines;
    batch.source = sources.size() - 1;
    batch.firstLine = firstLine;
    batch.firstSeq = nextSeq;
    nextSeq += lines.size();
    GroupLines();
    // Every value of an enumeration text is looked up from here on: the tables are made now.
    for (std::size_t id = 0; id < kToolEnumCount; ++id) {
      if (!reverses[id].built) BuildReverse(static_cast<CSToolEnumId>(id));
    }

    std::vector<std::pair<std::uint64_t, std::unique_ptr<Controller>>> made;
    std::vector<std::size_t> deferred;  // lines left to this thread
    const std::size_t errorsBefore = errors.size() + moreErrors;
    {
      Impl* const self = this;
      CSS_OrderedWork<OfThisFile<GroupWorker>> work(self, JobThreads(jobs, batch.groups.size()));
      std::size_t g = 0;
      const auto take = [&](GroupResult& result) {
        const Group& group = batch.groups[g++];
        Gather(result.notes);
        if (result.made) made.emplace_back(result.madeAt, std::move(result.made));
        deferred.insert(deferred.end(),
                        group.lines.begin() + static_cast<std::ptrdiff_t>(result.deferredFrom),
                        group.lines.end());
        return true;
      };
      for (std::size_t k = 0; k < batch.groups.size(); ++k)
        work.Submit(k, take);
      work.Finish(take);
    }
    // New controllers in the order of their first message.
    std::ranges::sort(made, {}, &std::pair<std::uint64_t, std::unique_ptr<Controller>>::first);
    for (auto& [at, controller] : made) {
      index.emplace(AddressKey(controller->address), controllers.size());
      controllers.push_back(std::move(controller));
    }
    // What needed a new value for a text, in the order of the lines.
    std::ranges::sort(deferred);
    for (const std::size_t i : deferred) {
      own.current = {batch.source, firstLine + i};
      own.seq = batch.firstSeq + i;
      CSS_DecodeError error;
      DecodeMessage(lines[i], own.message, error);  // it was decoded before
      own.Apply(ControllerAt({own.message.interfaceId, own.message.node.value_or(0)}));
    }
    Gather(own.notes);
    PutErrorsInOrder();
    return errors.size() + moreErrors == errorsBefore;
  }

  // Sorts the lines being added into groups by the controller they are for.
  void GroupLines() {
    for (Group& group : batch.groups)
      group.lines.clear();
    std::size_t used = 0;
    groupOf.clear();
    std::uint64_t lastKey = kNoController;
    std::size_t lastGroup = 0;
    for (std::size_t i = 0; i < batch.lines.size(); ++i) {
      if (TrimsToNothing(batch.lines[i])) continue;
      const std::uint64_t key = PeekAddress(batch.lines[i]).value_or(kNoController);
      if (used == 0 || key != lastKey) {
        const auto [found, added] = groupOf.try_emplace(key, used);
        if (added) {
          if (batch.groups.size() == used) batch.groups.emplace_back();
          Group& group = batch.groups[used++];
          group.key = key;
          const auto existing = index.find(key);
          group.controller =
              existing != index.end() ? controllers[existing->second].get() : nullptr;
        }
        lastKey = key;
        lastGroup = found->second;
      }
      batch.groups[lastGroup].lines.push_back(i);
    }
    batch.groups.resize(used);
  }

  // --- Making the site --------------------------------------------------------------------------

  // Names that a site file cannot hold.
  bool CheckNames() {
    bool good = true;
    const auto check = [&](const std::optional<Name>& name, std::string_view what) {
      if (name && !IsUtf8(name->text)) {
        own.seq = nextSeq;
        good = own.ErrorAt(name->last, "the name of " + std::string(what) +
                                           " is not valid UTF-8; a site file cannot hold it") &&
               good;
      }
    };
    for (const auto& c : controllers) {
      for (std::size_t i = 0; i < c->inputNames.size(); ++i)
        check(c->inputNames[i], "input " + std::to_string(i + 1));
      for (std::size_t i = 0; i < c->outputNames.size(); ++i)
        check(c->outputNames[i], "output " + std::to_string(i + 1));
      for (std::size_t i = 0; i < c->readerNames.size(); ++i)
        check(c->readerNames[i], "reader " + std::to_string(i + 1));
      check(c->xtraName, "the XTRA unit");
    }
    Gather(own.notes);
    PutErrorsInOrder();
    return good;
  }

  template <class Records>
  static void SetNames(Records& records, const Names& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!names[i] || names[i]->text.empty()) continue;
      const int index = static_cast<int>(i);
      const typename Records::Item* found = records.Find(index);
      typename Records::Item record = found != nullptr ? *found : typename Records::Item{};
      record.Name = names[i]->text;
      records.Set(index, std::move(record));
    }
  }

  // The store that the site is to hold for `c`; what `c` kept apart goes into its records.
  static CSApplicationManagerStd& Finish(Controller& c) {
    CSApplicationManagerStd& s = c.store;
    SetNames(s.GetInputType(), c.inputNames);
    SetNames(s.GetOutputType(), c.outputNames);
    SetNames(s.GetRdConfiguration(), c.readerNames);
    CSDevice_RdConfiguration& readers = s.GetRdConfiguration();
    for (std::size_t i = 0; i < c.checks.size(); ++i) {
      if (!c.checks[i]) continue;
      const int index = static_cast<int>(i);
      const CSDevice_RdConfigurationItem* found = readers.Find(index);
      CSDevice_RdConfigurationItem record =
          found != nullptr ? *found : CSDevice_RdConfigurationItem{};
      record.CheckType = c.checks[i]->checkType;
      record.Percentage = c.checks[i]->percentage;
      readers.Set(index, std::move(record));
    }
    if (c.xtraName) s.GetConfig().Name = c.xtraName->text;
    std::int64_t highestZone = 0;
    for (std::size_t g = 0; g < c.groups.size(); ++g) {
      if (!c.groups[g]) continue;
      for (const CSDevice_TimeGroupZoneItem& zone : *c.groups[g])
        highestZone = std::max<std::int64_t>(highestZone, zone.ZoneNo);
      s.GetTimeGroupZone().SetGroup(static_cast<int>(g + 1), std::move(*c.groups[g]));
    }
    // Every record is sent: each count reaches the last record of its lists. The time-zone count
    // also makes the blocks of the time groups reach their highest zone.
    CSDevice_Resource& r = s.GetResource();
    const auto count = [](std::int64_t n) { return static_cast<std::int16_t>(n); };
    r.SetInputs(
        count(std::max({s.GetInputType().GetRecordCount(), s.GetInputTime().GetRecordCount(),
                        s.GetInputLink().GetRecordCount()})));
    r.SetOutputs(
        count(std::max(s.GetOutputType().GetRecordCount(), s.GetOutputTime().GetRecordCount())));
    r.SetReaders(count(
        std::max({readers.GetRecordCount(), s.GetRdCardControl().GetRecordCount(),
                  s.GetRdCardLocation().GetRecordCount(), s.GetRdCardStructure().GetRecordCount(),
                  s.GetRdAccessAlarm().GetRecordCount()})));
    r.SetComms(count(s.GetPort().GetRecordCount()));
    r.SetCommsFLAN(count(s.GetFLan_Setup().GetRecordCount()));
    r.SetTimeZones(count(std::max<std::int64_t>(s.GetTimeZone().GetRecordCount(), highestZone)));
    r.SetTimeGroups(count(s.GetTimeGroupZone().GetRecordCount()));
    return s;
  }

  std::optional<CSS_Site> MakeSite(std::string_view name) {
    const bool namesGood = CheckNames();
    if (written || !namesGood || !errors.empty() || moreErrors > 0) return std::nullopt;
    written = true;
    std::vector<CSS_SiteEnumText> texts = std::move(enumTexts);
    for (std::size_t i = 0; i < levels.size(); ++i) {
      if (levels[i].differs)
        texts.push_back({CSToolEnumId::Level, static_cast<int>(i + 1), levels[i].text});
    }
    std::vector<CSS_SiteController> made;
    made.reserve(controllers.size());
    for (std::unique_ptr<Controller>& c : controllers) {
      made.push_back({c->address, std::move(Finish(*c))});
      c.reset();
    }
    controllers.clear();
    index.clear();
    return MakeMemorySite(std::string(name), std::move(made), std::move(texts));
  }

  CSToolEnum service;  // the built-in texts, those of the enums-from site, and those added
  std::vector<CSS_SiteEnumText> enumTexts;  // the "Enums" of the site, but for the levels
  std::array<Reverse, kToolEnumCount> reverses;
  std::array<std::string, CSDevice_InputTimeItem::kLevels> firstLevelTexts;
  LevelsSeen levels;

  std::vector<std::unique_ptr<Controller>> controllers;  // in the order of their first message
  std::unordered_map<std::uint64_t, std::size_t> index;  // (interface, node) -> controller
  SkipsSeen skipped;

  std::vector<std::string> sources;
  std::uint64_t nextSeq = 0;  // the place in the stream of the next line
  unsigned jobs = 1;
  Applier own;                                             // this thread's
  Batch batch;                                             // the lines being added many at once
  std::unordered_map<std::uint64_t, std::size_t> groupOf;  // (interface, node) -> group
  std::vector<LineError> pendingErrors;                    // of the lines being added
  std::vector<std::string> errors;
  std::size_t moreErrors = 0;
  bool written = false;  // the records have gone into the site
};

CSS_Import::CSS_Import(const CSS_ImportOptions& options) : impl_(std::make_unique<Impl>(options)) {}
CSS_Import::CSS_Import(CSS_Import&&) noexcept = default;
CSS_Import& CSS_Import::operator=(CSS_Import&&) noexcept = default;
CSS_Import::~CSS_Import() = default;

bool CSS_Import::AddLine(std::string_view text, std::string_view source, std::size_t line) {
  return impl_->AddLine(text, source, line);
}

bool CSS_Import::AddLines(std::span<const std::string_view> lines, std::string_view source,
                          std::size_t firstLine) {
  return impl_->AddLines(lines, source, firstLine);
}

std::vector<std::string> CSS_Import::Errors() const {
  std::vector<std::string> errors = impl_->errors;
  if (impl_->moreErrors > 0) {
    errors.push_back("and " + std::to_string(impl_->moreErrors) + " more errors");
  }
  return errors;
}

std::vector<std::string> CSS_Import::Notes() const {
  std::vector<std::string> notes;
  // In the order of each kind's first message.
  std::vector<std::pair<std::uint64_t, CSS_MessageKind>> kinds;
  for (std::size_t k = 0; k < kMessageKindCount; ++k) {
    if (impl_->skipped[k].count > 0)
      kinds.emplace_back(impl_->skipped[k].first, static_cast<CSS_MessageKind>(k));
  }
  std::ranges::sort(kinds);
  for (const auto& [first, kind] : kinds) {
    const std::size_t count = impl_->skipped[static_cast<std::size_t>(kind)].count;
    const CSS_MessageKindInfo& info = MessageKindInfo(kind);
    notes.push_back("skipped " + std::to_string(count) + " " + std::string(info.messageType) + " " +
                    std::string(info.action) +
                    (count == 1 ? " message, which carries" : " messages, which carry") +
                    " no configuration");
  }
  return notes;
}

std::optional<CSS_Site> CSS_Import::TakeSite(std::string_view fileName) {
  return impl_->MakeSite(fileName);
}

bool CSS_Import::WriteSite(const std::function<bool(std::string_view text)>& sink) {
  const std::optional<CSS_Site> site = impl_->MakeSite({});
  return site && site->WriteJson(sink, impl_->jobs);
}

}  // namespace ssmsg
