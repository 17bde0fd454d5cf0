#pragma once

// How the import applies one decoded message to the controller it is for: the records, names,
// check setups and time groups the message sets, the enumeration texts it looks up (or gives
// values), and what it notes besides (errors, level texts, messages skipped) for the import to
// gather in the order of the lines.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Message.h>
#include <ssmsg/Site.h>

#include "core/ErrorCap.h"
#include "host/CSDevice_Fields.h"
#include "site/SiteData.h"

namespace ssmsg::importing {

// The most records of a list that a capability count (16-bit) lets a controller send. Holidays
// are bounded by their list only; a number past this is taken for a mistake there too.
constexpr std::int64_t kMaxCounted = 32767;
// The most errors kept; those past them are counted.

// Why a site file cannot hold the text `text` ("is not valid UTF-8", "holds the control
// character U+000A"), or nothing.
std::optional<std::string> UnfitForSite(std::string_view text);

// Where a line came from, for errors found after it was read.
struct LineRef {
  std::size_t source = 0;  // index into the import's sources
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

  // The store that the site is to hold for this controller; what was kept apart goes into its
  // records.
  CSApplicationManagerStd& Finish();
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

// The enumeration texts of the import: the built-in ones, those of the site it started from, and
// those that messages added, with each text's value.
struct EnumTexts {
  explicit EnumTexts(const CSS_Site* from);

  // Makes the table of the texts of `id` back to their values.
  void BuildReverse(CSToolEnumId id);

  CSToolEnum service;
  std::vector<CSS_SiteEnumText> enumTexts;  // the "Enums" of the site, but for the levels
  std::array<Reverse, kToolEnumCount> reverses;
  std::array<std::string, CSDevice_InputTimeItem::kLevels> firstLevelTexts;
};

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

  void Add(std::uint64_t seq, std::string text) { KeepError(kept, more, {seq, std::move(text)}); }
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

// What applying lines noted besides the records: their errors, the level texts they gave and the
// kinds of message they skipped. `any` says whether there is anything to take.
struct Noted {
  ErrorList errors;
  LevelsSeen levels;
  SkipsSeen skips;
  bool any = false;
};

// Applies messages to controllers: the calling thread's applier, or one of the threads that
// apply the controllers of many lines at once. A shared one reads the enumeration texts only; a
// message that needs a new value for a text is left, with every later message of its
// controller, to the calling thread, which gives out values in the order of the lines.
struct MessageApplier {
  MessageApplier(EnumTexts& enums_, const std::vector<std::string>& sources_, bool shared_)
      : enums(enums_), sources(sources_), shared(shared_) {}

  // Applies `message` (one of a controller) to `c`; false when it cannot be applied, or when it
  // was left for later (`deferred`).
  bool Apply(Controller& c);
  // Notes that `message`, of `kind`, was skipped.
  void Skip(CSS_MessageKind kind);
  // Notes an error of line `ref`, at `column` when it is not 0; false.
  bool ErrorAt(const LineRef& ref, const std::string& reason, std::size_t column = 0);

  EnumTexts& enums;
  const std::vector<std::string>& sources;  // the names of the inputs the lines came from
  const bool shared;
  CSS_Message message;    // the message being applied
  LineRef current;        // its line
  std::uint64_t seq = 0;  // its place in the stream
  bool deferred = false;  // it was left for the calling thread
  Noted notes;

 private:
  template <std::size_t N, class Record>
  bool Fields(const std::array<CSS_FieldInfo, N>& fields, std::size_t first, Record& record);
  template <class Records, std::size_t N = kRecordFieldInfos<typename Records::Item>.size()>
  bool SetRecord(Records& records, const std::array<CSS_FieldInfo, N>& fields =
                                       kRecordFieldInfos<typename Records::Item>);
  template <class Records>
  bool Append(Records& records, std::string_view what);
  bool Position(const CSS_MessageValue& value, std::int64_t max, std::int64_t& position);
  bool InputTime(CSDevice_InputTime& records);
  bool TimeGroup(Controller& c);
  bool NamePiece(Names& names);
  bool Piece(Name& name, const CSS_MessageValue& column, std::string_view piece);
  bool Check(Controller& c);
  std::optional<int> ValueOf(const CSS_FieldInfo& field, std::string_view text);
  bool LevelText(int level, std::string_view text);
  bool Error(const std::string& reason) { return ErrorAt(current, reason); }
};

}  // namespace ssmsg::importing
