#include "site/Findings.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "host/CSDevice_Fields.h"
#include "site/SiteLists.h"

namespace ssmsg {
namespace {

std::string Plural(int n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// A list's sub-records: its key in the site file ("Time") and its container.
template <class Records>
struct Part {
  std::string_view key;
  const Records& records;
};
// Spelt out for compilers without deduction for aggregates (clang before 17).
template <class Records>
Part(std::string_view, const Records&) -> Part<Records>;

}  // namespace

void SitePath::TooLong(std::string_view key) const {
  throw std::length_error("SitePath: " + Text() + " then " + std::string(key) +
                          " takes more than " + std::to_string(kMaxSteps) + " steps");
}

std::string SitePath::Text() const {
  std::string text;
  for (std::size_t i = 0; i < size_; ++i) {
    const Step& step = steps_[i];
    if (step.index >= 0) {
      text += "[" + std::to_string(step.index) + "]";
    } else {
      if (!text.empty()) text += '.';
      text += step.key;
    }
  }
  return text;
}

std::string SiteWarning::List() const {
  if (path.size() == 0) return {};
  std::string list(path[0].key);
  // A part of a record: "Inputs[3].Time.LevelTGs", "TimeGroups[1].Zones[0].ZoneNo".
  if (path.size() > 3 && path[1].index >= 0 && path[2].index < 0) {
    list += '.';
    list += path[2].key;
  }
  return list;
}

int SiteWarning::Position() const {
  return path.size() > 1 ? path[1].index : -1;
}

std::string SiteWarning::Line(std::string_view fileName) const {
  return std::string(fileName) + ": Controllers[" + std::to_string(controller) + "]." +
         path.Text() + ": " + what;
}

bool EnumValuesSeen::First(CSToolEnumId id, std::int64_t value) {
  const auto index = static_cast<std::size_t>(id);
  if (value >= 0 && value < 256) {
    auto&& seen = small_[index][static_cast<std::size_t>(value)];
    const bool first = !seen;
    seen = true;
    return first;
  }
  return other_.insert((std::uint64_t{index} << 32) | static_cast<std::uint32_t>(value)).second;
}

void SiteFindings::Note(CSToolEnumId id, std::int64_t value, std::size_t controller,
                        const SitePath& path) {
  if (seen_.First(id, value)) uses_.push_back({id, static_cast<int>(value), controller, path});
}

template <class Record>
void SiteFindings::NoteRecord(const Record& record, std::size_t controller, const SitePath& path) {
  for (const CSS_FieldInfo& info : kRecordFieldInfos<Record>) {
    if (info.kind == CSS_FieldKind::Enum) {
      Note(info.enumeration, info.get(&record), controller, path.Then(info.name));
    } else if (info.kind == CSS_FieldKind::Number && !info.meaning.empty()) {
      const std::int64_t value = info.get(&record);
      if (value >= info.low && value <= info.high) continue;
      found_.push_back({SiteWarning::Kind::Meaningless, controller, path.Then(info.name),
                        std::to_string(value) + " is not " + std::string(info.meaning) + " (" +
                            std::to_string(info.low) + ".." + std::to_string(info.high) + ")"});
    }
  }
  if constexpr (std::is_same_v<Record, CSDevice_HolidayItem>) {
    // The messages carry no year: 29 February is a day of a month.
    if (record.Month < 1 || record.Month > 12 || record.Day < 1) return;
    const int days = kMonthDays[static_cast<std::size_t>(record.Month - 1)];
    if (record.Day <= days || record.Day > 31) return;
    found_.push_back({SiteWarning::Kind::Meaningless, controller, path.Then("Day"),
                      std::to_string(record.Day) + " is past the end of month " +
                          std::to_string(record.Month) + " (" + std::to_string(days) + " days)"});
  }
}

void SiteFindings::AddController(std::size_t controller, const CSApplicationManagerStd& store) {
  // The enumeration values, in the order of the site file's keys: each record's fields, then
  // its parts, element by element.
  NoteRecord(store.GetConfig(), controller, SitePath("Config"));
  NoteRecord(store.GetXTRA(), controller, SitePath("XTRA"));
  const auto list = [&](std::string_view key, const auto& records, const auto&... parts) {
    using Records = std::remove_cvref_t<decltype(records)>;
    const int length = std::max({records.GetRecordCount(), parts.records.GetRecordCount()...});
    for (int p = 0; p < length; ++p) {
      const SitePath element(key, p);
      if (const auto* record = records.Find(p + Records::kFirstIndex))
        NoteRecord(*record, controller, element);
      (
          [&] {
            const auto* sub = parts.records.Find(p);
            if (sub == nullptr) return;
            const SitePath at = element.Then(parts.key);
            NoteRecord(*sub, controller, at);
            // The input-timing message names each level by its text.
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(*sub)>,
                                         CSDevice_InputTimeItem>) {
              for (int level = 1; level <= CSDevice_InputTimeItem::kLevels; ++level)
                Note(CSToolEnumId::Level, level, controller, at.Then("LevelTGs"));
            }
          }(),
          ...);
    }
  };
  list("Holidays", store.GetHoliday());
  list("TimeZones", store.GetTimeZone());
  list("Ports", store.GetPort());
  list("FLAN", store.GetFLan_Setup());
  list("Inputs", store.GetInputType(), Part{"Time", store.GetInputTime()},
       Part{"Link", store.GetInputLink()});
  list("Outputs", store.GetOutputType(), Part{"Time", store.GetOutputTime()});
  list("Readers", store.GetRdConfiguration(), Part{"CardControl", store.GetRdCardControl()},
       Part{"CardLocation", store.GetRdCardLocation()},
       Part{"CardStructure", store.GetRdCardStructure()},
       Part{"AccessAlarm", store.GetRdAccessAlarm()});

  RecordsBeyondCounts(store, controller, nullptr, found_);
  const CSDevice_Resource& resource = store.GetResource();

  // The zones that the controller is sent, by their numbers, and its time groups.
  const int zoneCount = resource.GetTimeZones();
  const auto sentZones = SentZones(store);
  const auto isZone = [&](int zoneNo) {
    return std::binary_search(sentZones.begin(), sentZones.end(), std::pair{zoneNo, nullptr},
                              [](const auto& x, const auto& y) { return x.first < y.first; });
  };
  const std::vector<int> groups = SentTimeGroups(store);
  const auto isGroup = [&](int group) {
    return std::binary_search(groups.begin(), groups.end(), group);
  };

  // Zones outside the blocks of zone numbers that the time zones' count reaches, and zones of no
  // time zone.
  for (const int group : groups) {
    const auto* zones = store.GetTimeGroupZone().FindGroup(group);
    for (std::size_t i = 0; i < zones->size(); ++i) {
      const int zoneNo = (*zones)[i].ZoneNo;
      const SitePath at =
          SitePath("TimeGroups", group - 1).Add("Zones", static_cast<int>(i)).Add("ZoneNo");
      if (zoneNo < 1 || zoneNo > CSDevice_TimeGroupZone::LastSentZone(zoneCount)) {
        found_.push_back({SiteWarning::Kind::OutsideBlocks, controller, at,
                          "zone " + std::to_string(zoneNo) +
                              " lies outside the blocks of Resource.TimeZones (" +
                              std::to_string(zoneCount) + ") and is never sent"});
      } else if (!isZone(zoneNo)) {
        found_.push_back(
            {SiteWarning::Kind::Dangling, controller, at,
             "zone " + std::to_string(zoneNo) + " is not a time zone of the controller"});
      }
    }
  }

  // The time groups of each input's levels (0: none).
  const CSDevice_InputTime& times = store.GetInputTime();
  for (int p = 0; p < times.GetRecordCount(); ++p) {
    const CSDevice_InputTimeItem* time = times.Find(p);
    if (time == nullptr) continue;
    for (int level = 0; level < CSDevice_InputTimeItem::kLevels; ++level) {
      const int group = time->LevelTG[static_cast<std::size_t>(level)];
      if (group == 0 || isGroup(group)) continue;
      found_.push_back(
          {SiteWarning::Kind::Dangling, controller,
           SitePath("Inputs", p).Add("Time").Add("LevelTGs", level),
           "time group " + std::to_string(group) + " is not a time group of the controller"});
    }
  }
}

std::vector<std::pair<int, const CSDevice_TimeZoneItem*>> SentZones(
    const CSApplicationManagerStd& store) {
  std::vector<std::pair<int, const CSDevice_TimeZoneItem*>> zones;
  const CSDevice_TimeZone& records = store.GetTimeZone();
  const int count = std::min<int>(store.GetResource().GetTimeZones(), records.GetRecordCount());
  for (int index = 1; index <= count; ++index) {
    if (const CSDevice_TimeZoneItem* zone = records.Find(index))
      zones.emplace_back(zone->ZoneNo, zone);
  }
  std::stable_sort(zones.begin(), zones.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return zones;
}

std::vector<int> SentTimeGroups(const CSApplicationManagerStd& store) {
  std::vector<int> groups;
  const int count =
      std::min<int>(store.GetResource().GetTimeGroups(), store.GetTimeGroupZone().GetRecordCount());
  for (int group = 1; group <= count; ++group) {
    if (store.GetTimeGroupZone().FindGroup(group) != nullptr) groups.push_back(group);
  }
  return groups;
}

void RecordsBeyondCounts(const CSApplicationManagerStd& store, std::size_t controller,
                         const CSApplicationManagerStd* before, std::vector<SiteWarning>& out) {
  const CSDevice_Resource& resource = store.GetResource();
  for (const CSS_CountedList& counted : kCountedLists) {
    const int count = std::max<int>((resource.*counted.get)(), 0);
    const int length = counted.length(store);
    int first = -1;
    int beyond = 0;
    for (int position = count; position < length; ++position) {
      if (!counted.has(store, position)) continue;
      if (before != nullptr && counted.has(*before, position)) continue;
      if (first < 0) first = position;
      ++beyond;
    }
    if (beyond == 0) continue;
    out.push_back({SiteWarning::Kind::BeyondCount, controller, SitePath(counted.list, first),
                   Plural(beyond, "record lies", "records from here on lie") + " beyond Resource." +
                       std::string(counted.count) + " (" +
                       std::to_string((resource.*counted.get)()) +
                       (beyond == 1 ? ") and is never sent" : ") and are never sent")});
  }
}

void SiteFindings::Append(const SiteFindings& later) {
  for (const Use& use : later.uses_) {
    if (seen_.First(use.id, use.value)) uses_.push_back(use);
  }
  found_.insert(found_.end(), later.found_.begin(), later.found_.end());
}

std::vector<SiteWarning> SiteFindings::Warnings(const CSToolEnum& service) const {
  std::vector<SiteWarning> warnings;
  for (const Use& use : uses_) {
    if (!service.Get(use.id)->EnumToString(use.value).empty()) continue;
    warnings.push_back({SiteWarning::Kind::NoText, use.controller, use.path,
                        std::string(CSToolEnum::Name(use.id)) + " value " +
                            std::to_string(use.value) + " has no text"});
  }
  warnings.insert(warnings.end(), found_.begin(), found_.end());
  return warnings;
}

}  // namespace ssmsg
