#pragma once

// What a valid site may still get wrong, found while each controller is checked: enumeration
// values that may have no text; records that lie beyond a capability count (or zones beyond the
// blocks of the time zones) and so are never sent; values that mean nothing to a controller (an
// hour 25, 30 February); and time zones and time groups named where the controller has none. Each
// finding is a value: the controller, the place in it and what is wrong. `validate` prints them as
// lines; the report places each under the record it concerns.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>

namespace ssmsg {

// A place in one controller, as the site file spells it: "Inputs[3].Time.LevelTGs". Its keys are
// the site file's own, which live as long as the program.
class SitePath {
 public:
  struct Step {
    std::string_view key;  // empty for an index
    int index = -1;
  };
  static constexpr std::size_t kMaxSteps = 6;

  SitePath() = default;
  // `key`, then `key[index]` for an index of 0 or more.
  SitePath(std::string_view key, int index = -1) { Add(key, index); }

  // The keys and indexes of the site file nest five steps deep at the most
  // ("TimeGroups[1].Zones[0].ZoneNo"); a path that would take more than kMaxSteps is a fault of
  // the caller, and throws std::length_error before anything is written.
  SitePath& Add(std::string_view key, int index = -1) {
    if (kMaxSteps - size_ < (index >= 0 ? 2u : 1u)) TooLong(key);
    steps_[size_++] = {key, -1};
    if (index >= 0) steps_[size_++] = {{}, index};
    return *this;
  }
  SitePath Then(std::string_view key, int index = -1) const {
    SitePath path = *this;
    return path.Add(key, index);
  }

  std::size_t size() const { return size_; }
  const Step& operator[](std::size_t i) const { return steps_[i]; }
  // "Inputs[3].Time.LevelTGs"
  std::string Text() const;

 private:
  [[noreturn]] void TooLong(std::string_view key) const;

  std::array<Step, kMaxSteps> steps_{};
  std::size_t size_ = 0;
};

// One thing that a site may get wrong, in controller `controller` (its position in the site) at
// `path`.
struct SiteWarning {
  enum class Kind : std::uint8_t { NoText, BeyondCount, OutsideBlocks, Meaningless, Dangling };
  Kind kind;
  std::size_t controller;
  SitePath path;
  std::string what;  // e.g. "InputType value 9 has no text"

  // The list the record is in ("Inputs"), with the part of the record after a dot
  // ("Inputs.Time"); and the record's position in the list (-1: none).
  std::string List() const;
  int Position() const;
  // "FILE: Controllers[0].Inputs[3].Type: InputType value 9 has no text"
  std::string Line(std::string_view fileName) const;
};

// The time zones that `store`'s controller is sent (those within Resource.TimeZones), by zone
// number, the first of each number first: what a time group's zone names.
std::vector<std::pair<int, const CSDevice_TimeZoneItem*>> SentZones(
    const CSApplicationManagerStd& store);

// The time groups that `store`'s controller is sent (those within Resource.TimeGroups that it
// holds), by number from 1: what a level's or an output's time group names (0 names none).
std::vector<int> SentTimeGroups(const CSApplicationManagerStd& store);

// Appends to `out` a warning for each list of `store` (controller `controller` of its site) with
// records beyond its capability count, which are never sent. With `before`, a record counts only
// where `before` has none at its place: those that changing `before` into `store` adds.
void RecordsBeyondCounts(const CSApplicationManagerStd& store, std::size_t controller,
                         const CSApplicationManagerStd* before, std::vector<SiteWarning>& out);

// Enumeration values seen so far: small values by bit, others in a set.
class EnumValuesSeen {
 public:
  // Whether `value` of `id` is new, noting it.
  bool First(CSToolEnumId id, std::int64_t value);

 private:
  std::array<std::bitset<256>, kToolEnumCount> small_{};
  std::unordered_set<std::uint64_t> other_;
};

// The findings of the controllers checked so far, in site order: each enumeration value where it
// is first used, and the records that are never sent.
class SiteFindings {
 public:
  // Notes what the records of controller `controller`, held in `store`, give rise to.
  void AddController(std::size_t controller, const CSApplicationManagerStd& store);
  // Takes the findings of controllers that come after those already here (a worker's).
  void Append(const SiteFindings& later);
  // Every finding: first the values of `service` without text, in order of first use, then the
  // others, controller by controller.
  std::vector<SiteWarning> Warnings(const CSToolEnum& service) const;

 private:
  struct Use {
    CSToolEnumId id;
    int value;
    std::size_t controller;
    SitePath path;
  };
  void Note(CSToolEnumId id, std::int64_t value, std::size_t controller, const SitePath& path);
  template <class Record>
  void NoteRecord(const Record& record, std::size_t controller, const SitePath& path);

  EnumValuesSeen seen_;
  std::vector<Use> uses_;
  std::vector<SiteWarning> found_;  // all but those of uses_
};

}  // namespace ssmsg
