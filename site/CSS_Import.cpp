#include <ssmsg/CSS_Import.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ssmsg/CSS_Json.h>
#include <ssmsg/CSS_Message.h>
#include <ssmsg/CSToolEnum.h>

#include "commands/CSS_MessageCatalog.h"
#include "host/CSDevice_Fields.h"
#include "site/CSS_OrderedJob.h"
#include "site/CSS_SiteData.h"
#include "site/CSS_SiteWriter.h"

namespace ssmsg {
namespace {

// The most records of a list that a capability count (16-bit) lets a controller send. Holidays
// are bounded by their list only; a number past this is taken for a mistake there too.
constexpr std::int64_t kMaxCounted = 32767;
// The longest name that pieces may build.
constexpr std::size_t kMaxNameLength = 65536;
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

}  // namespace

struct CSS_Import::Impl {
  explicit Impl(const CSS_ImportOptions& options) : jobs(options.jobs) {
    if (options.enumsFrom != nullptr) {
      options.enumsFrom->LoadEnumTexts(service);
      enumTexts = CSS_SiteAccess::Of(*options.enumsFrom).enumTexts;
    }
  }

  bool AddLine(std::string_view text, std::string_view source, std::size_t line) {
    if (TrimsToNothing(text)) return true;
    CSS_DecodeError error;
    const bool good = written || DecodeMessage(text, message, error);
    return Take(good, error, source, line);
  }

  // Applies the message of one line, decoded into `message` when `isMessage`, or the error that
  // decoding it gave.
  bool Take(bool isMessage, const CSS_DecodeError& error, std::string_view source,
            std::size_t line) {
    if (sources.empty() || sources.back() != source) sources.emplace_back(source);
    current = {sources.size() - 1, line};
    // The records have gone into the site file: nothing more can be applied to them.
    if (written) return ErrorAt(current, "comes after the site file was written", 0);
    if (!isMessage) return ErrorAt(current, error.reason, error.column);
    return Apply();
  }

  // The lines are decoded in parts on `jobs` threads (this one among them) and then applied in
  // order here, so that applying sees them exactly as AddLine would.
  bool AddLines(std::span<const std::string_view> lines, std::string_view source,
                std::size_t firstLine) {
    if (pending.size() < lines.size()) pending.resize(lines.size());
    std::exception_ptr failure;  // of a helper, thrown here once all have ended
    std::mutex failureMutex;
    const auto decodePart = [&](std::size_t begin, std::size_t end) {
      try {
        for (std::size_t i = begin; i < end; ++i) {
          Decoded& d = pending[i];
          d.blank = TrimsToNothing(lines[i]);
          d.good = !d.blank && !written && DecodeMessage(lines[i], d.message, d.error);
        }
      } catch (...) {
        const std::lock_guard lock(failureMutex);
        failure = std::current_exception();
      }
    };
    const unsigned threads = std::max(1u, JobThreads(jobs, lines.size() / kLinesPerThread));
    {
      std::vector<std::jthread> helpers;
      const std::size_t part = lines.size() / threads;
      for (unsigned t = 1; t < threads; ++t) {
        helpers.emplace_back(decodePart, t * part,
                             t + 1 == threads ? lines.size() : (t + 1) * part);
      }
      decodePart(0, threads > 1 ? part : lines.size());
    }
    if (failure) std::rethrow_exception(failure);
    bool good = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      Decoded& d = pending[i];
      if (d.blank) continue;
      std::swap(message, d.message);  // both keep their storage for the next lines
      good = Take(d.good, d.error, source, firstLine + i) && good;
      std::swap(message, d.message);
    }
    return good;
  }

  static bool TrimsToNothing(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
  }

  // --- Applying one message ---------------------------------------------------------------------

  bool Apply() {
    using Kind = CSS_MessageKind;
    const Values& v = message.parameters;
    switch (message.kind) {
      case Kind::InterfaceStart:
      case Kind::InterfaceStop:
      case Kind::InterfaceSetNodes:
      case Kind::InterfacePoll:
      case Kind::AskSettings:
      case Kind::SetRTC:
        Skip(message.kind);
        return true;
      default:
        break;
    }
    Controller& c = ControllerAt({message.interfaceId, message.node.value_or(0)});
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

  Controller& ControllerAt(const CSS_ControllerAddress& address) {
    const std::uint64_t key =
        (std::uint64_t{static_cast<std::uint32_t>(address.interfaceId)} << 32) |
        static_cast<std::uint32_t>(address.node);
    const auto [found, added] = index.try_emplace(key, controllers.size());
    if (added) {
      controllers.push_back(std::make_unique<Controller>());
      controllers.back()->address = address;
    }
    return *controllers[found->second];
  }

  void Skip(CSS_MessageKind kind) {
    for (auto& [skipped, count] : skips) {
      if (skipped == kind) {
        ++count;
        return;
      }
    }
    skips.emplace_back(kind, 1);
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
    const auto place = static_cast<std::size_t>(column.number == 0 ? 0 : column.number - 1);
    if (place + piece.size() > kMaxNameLength) {
      return Error("a name piece at column " + std::to_string(column.number) +
                   " makes the name longer than " + std::to_string(kMaxNameLength) + " bytes");
    }
    name.text.resize(place, ' ');
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

  // --- Enumeration texts ------------------------------------------------------------------------

  std::optional<int> ValueOf(const CSS_FieldInfo& field, std::string_view text) {
    Reverse& reverse = reverses[static_cast<std::size_t>(field.enumeration)];
    const CSToolEnumBase& texts = *service.Get(field.enumeration);
    if (!reverse.built) {
      // Values() ascends, so the first value of each text is its lowest.
      for (const int value : texts.Values()) {
        reverse.values.try_emplace(std::string(texts.EnumToString(value)), value);
        reverse.taken.insert(value);
      }
      reverse.built = true;
    }
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
      service.Get(field.enumeration)->SetText(value, text);
      enumTexts.push_back({field.enumeration, value, std::string(text)});
    }
    return value;
  }

  // The text of level `level` as a message names it; the site file gives it that text.
  bool LevelText(int level, std::string_view text) {
    CSToolEnumBase& levels = *service.Get(CSToolEnumId::Level);
    if (levels.EnumToString(level) == text) return true;
    if (!IsUtf8(text))
      return Error("the text of <Level> is not valid UTF-8; a site file cannot hold it");
    levels.SetText(level, text);
    enumTexts.push_back({CSToolEnumId::Level, level, std::string(text)});
    return true;
  }

  // --- Errors -----------------------------------------------------------------------------------

  // Notes an error of the line being applied.
  bool Error(const std::string& reason) { return ErrorAt(current, reason); }
  // Notes an error of line `ref`, at `column` when it is not 0.
  bool ErrorAt(const LineRef& ref, const std::string& reason, std::size_t column = 0) {
    if (errors.size() < kMaxErrors) {
      std::string error = sources[ref.source] + ":" + std::to_string(ref.line) + ":";
      if (column > 0) error += std::to_string(column) + ":";
      errors.push_back(error + " " + reason);
    } else {
      ++moreErrors;
    }
    return false;
  }

  // --- Writing the site -------------------------------------------------------------------------

  // Names that a site file cannot hold.
  bool CheckNames() {
    bool good = true;
    const auto check = [&](const std::optional<Name>& name, std::string_view what) {
      if (name && !IsUtf8(name->text)) {
        good = ErrorAt(name->last, "the name of " + std::string(what) +
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

  // The store that the site file is to hold for `c`; what `c` kept apart goes into its records.
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

  bool WriteSite(const std::function<bool(std::string_view text)>& sink) {
    const bool namesGood = CheckNames();
    if (written || !namesGood || !errors.empty() || moreErrors > 0) return false;
    written = true;
    std::string text;
    CSS_SiteWriter writer(text);
    writer.Enums(enumTexts);
    // Controllers are finished and written on the jobs' threads, and handed on in order.
    CSS_OrderedJob<ControllerWriting> job(controllers, controllers.size(),
                                          JobThreads(jobs, controllers.size()));
    std::size_t next = 0;
    const bool going = job.Run([&](const std::string& controllerText) {
      writer.AppendController(controllerText);
      controllers[next++].reset();  // written: its records are no longer needed
      const bool taken = sink(text);
      text.clear();
      return taken;
    });
    if (!going) return false;
    writer.Finish();
    return sink(text);
  }

  // One thread's part of WriteSite: a controller's records finished and written as site-file text.
  struct ControllerWriting {
    using Context = std::vector<std::unique_ptr<Controller>>;
    using Output = std::string;
    explicit ControllerWriting(const Context& all) : controllers(all) {}
    void Build(std::size_t i, std::string& out) {
      out.clear();
      Controller& c = *controllers[i];
      CSS_SiteWriter::ControllerText(out, c.address, Finish(c));
    }
    const Context& controllers;
  };

  CSToolEnum service;  // the built-in texts, those of the enums-from site, and those added
  std::vector<CSS_SiteEnumText> enumTexts;  // the "Enums" of the site file
  std::array<Reverse, kToolEnumCount> reverses;

  std::vector<std::unique_ptr<Controller>> controllers;  // in the order of their first message
  std::unordered_map<std::uint64_t, std::size_t> index;  // (interface, node) -> controller
  std::vector<std::pair<CSS_MessageKind, std::size_t>> skips;

  std::vector<std::string> sources;
  LineRef current;      // the line being applied
  CSS_Message message;  // the message of that line
  // Lines decoded by AddLines, waiting to be applied.
  struct Decoded {
    CSS_Message message;
    CSS_DecodeError error;
    bool blank = false;
    bool good = false;
  };
  std::vector<Decoded> pending;
  unsigned jobs = 1;
  std::vector<std::string> errors;
  std::size_t moreErrors = 0;
  bool written = false;  // the records have gone into the site file
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
  for (const auto& [kind, count] : impl_->skips) {
    const CSS_MessageKindInfo& info = MessageKindInfo(kind);
    notes.push_back("skipped " + std::to_string(count) + " " + std::string(info.messageType) + " " +
                    std::string(info.action) +
                    (count == 1 ? " message, which carries" : " messages, which carry") +
                    " no configuration");
  }
  return notes;
}

bool CSS_Import::WriteSite(const std::function<bool(std::string_view text)>& sink) {
  return impl_->WriteSite(sink);
}

}  // namespace ssmsg
