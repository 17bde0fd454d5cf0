#pragma once

// The record lists of a controller in the site file that a capability count bounds: the count's
// key in "Resource", the list's key, and how to reach both in a store. A count that the file does
// not give is the length of its list, and records beyond the count are never sent; the loader,
// the warnings and the writer all read this one table. A count given stays given, and is written
// back, even where it equals the length of its list.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include <ssmsg/CSApplicationManagerStd.h>

#include "site/StoreImage.h"

namespace ssmsg {

struct CSS_CountedList {
  std::string_view count;  // e.g. "Comms"
  std::string_view list;   // e.g. "Ports"
  std::int16_t (CSDevice_Resource::*get)() const;
  void (CSDevice_Resource::*set)(std::int16_t);
  bool (CSDevice_Resource::*given)() const;
  void (CSDevice_Resource::*setGiven)(bool);
  // The positions of the list in the site file, declined ones included (for inputs, outputs and
  // readers, as far as any of their records reaches), and whether `position` (0-based, as in the
  // file's array) holds a record.
  int (*length)(const CSApplicationManagerStd& store);
  bool (*has)(const CSApplicationManagerStd& store, int position);
};

namespace detail {
template <class Records>
bool HasRecord(const Records& records, int position) {
  return records.Find(position + Records::kFirstIndex) != nullptr;
}
}  // namespace detail

using CSS_Store = CSApplicationManagerStd;
inline constexpr CSS_CountedList kCountedLists[] = {
    {"Inputs", "Inputs", &CSDevice_Resource::GetInputs, &CSDevice_Resource::SetInputs,
     &CSDevice_Resource::IsInputsGiven, &CSDevice_Resource::SetInputsGiven,
     [](const CSS_Store& s) {
       return std::max({s.GetInputType().GetRecordCount(), s.GetInputTime().GetRecordCount(),
                        s.GetInputLink().GetRecordCount()});
     },
     [](const CSS_Store& s, int p) { return detail::HasRecord(s.GetInputType(), p); }},
    {"Outputs", "Outputs", &CSDevice_Resource::GetOutputs, &CSDevice_Resource::SetOutputs,
     &CSDevice_Resource::IsOutputsGiven, &CSDevice_Resource::SetOutputsGiven,
     [](const CSS_Store& s) {
       return std::max(s.GetOutputType().GetRecordCount(), s.GetOutputTime().GetRecordCount());
     },
     [](const CSS_Store& s, int p) { return detail::HasRecord(s.GetOutputType(), p); }},
    {"Readers", "Readers", &CSDevice_Resource::GetReaders, &CSDevice_Resource::SetReaders,
     &CSDevice_Resource::IsReadersGiven, &CSDevice_Resource::SetReadersGiven,
     [](const CSS_Store& s) {
       return std::max(
           {s.GetRdConfiguration().GetRecordCount(), s.GetRdCardControl().GetRecordCount(),
            s.GetRdCardLocation().GetRecordCount(), s.GetRdCardStructure().GetRecordCount(),
            s.GetRdAccessAlarm().GetRecordCount()});
     },
     [](const CSS_Store& s, int p) { return detail::HasRecord(s.GetRdConfiguration(), p); }},
    {"Comms", "Ports", &CSDevice_Resource::GetComms, &CSDevice_Resource::SetComms,
     &CSDevice_Resource::IsCommsGiven, &CSDevice_Resource::SetCommsGiven,
     [](const CSS_Store& s) { return s.GetPort().GetRecordCount(); },
     [](const CSS_Store& s, int p) { return detail::HasRecord(s.GetPort(), p); }},
    {"CommsFLAN", "FLAN", &CSDevice_Resource::GetCommsFLAN, &CSDevice_Resource::SetCommsFLAN,
     &CSDevice_Resource::IsCommsFLANGiven, &CSDevice_Resource::SetCommsFLANGiven,
     [](const CSS_Store& s) { return s.GetFLan_Setup().GetRecordCount(); },
     [](const CSS_Store& s, int p) { return detail::HasRecord(s.GetFLan_Setup(), p); }},
    {"TimeZones", "TimeZones", &CSDevice_Resource::GetTimeZones, &CSDevice_Resource::SetTimeZones,
     &CSDevice_Resource::IsTimeZonesGiven, &CSDevice_Resource::SetTimeZonesGiven,
     [](const CSS_Store& s) { return s.GetTimeZone().GetRecordCount(); },
     [](const CSS_Store& s, int p) { return detail::HasRecord(s.GetTimeZone(), p); }},
    {"TimeGroups", "TimeGroups", &CSDevice_Resource::GetTimeGroups,
     &CSDevice_Resource::SetTimeGroups, &CSDevice_Resource::IsTimeGroupsGiven,
     &CSDevice_Resource::SetTimeGroupsGiven,
     [](const CSS_Store& s) { return s.GetTimeGroupZone().GetRecordCount(); },
     [](const CSS_Store& s, int p) { return s.GetTimeGroupZone().FindGroup(p + 1) != nullptr; }},
};

// Whether the count of `list` in `store` is written: given, or other than its list's length.
inline bool CountWritten(const CSS_CountedList& list, const CSApplicationManagerStd& store) {
  const CSDevice_Resource& resource = store.GetResource();
  return (resource.*list.given)() || (resource.*list.get)() != list.length(store);
}

// The entry of kCountedLists for the list `list` ("Inputs").
constexpr const CSS_CountedList& FindCountedList(std::string_view list) {
  for (const CSS_CountedList& entry : kCountedLists) {
    if (entry.list == list) return entry;
  }
  return kCountedLists[0];
}

// The parts of a store (as an image holds them) that each list of a controller in the site file
// fills, by the list's key, in the file's order.
struct CSS_ListParts {
  std::string_view list;
  std::uint32_t parts;  // bit k: StorePart k
};

constexpr std::uint32_t PartBits(std::initializer_list<StorePart> parts) {
  std::uint32_t bits = 0;
  for (const StorePart part : parts)
    bits |= std::uint32_t{1} << static_cast<unsigned>(part);
  return bits;
}

inline constexpr CSS_ListParts kListParts[] = {
    {"Holidays", PartBits({StorePart::Holiday})},
    {"TimeZones", PartBits({StorePart::TimeZone})},
    {"TimeGroups", PartBits({StorePart::TimeGroupZone})},
    {"Ports", PartBits({StorePart::Port})},
    {"FLAN", PartBits({StorePart::FLan})},
    {"Inputs", PartBits({StorePart::InputType, StorePart::InputTime, StorePart::InputLink})},
    {"Outputs", PartBits({StorePart::OutputType, StorePart::OutputTime})},
    {"Readers",
     PartBits({StorePart::RdConfiguration, StorePart::RdCardControl, StorePart::RdCardLocation,
               StorePart::RdCardStructure, StorePart::RdAccessAlarm})},
};

// The parts that the list `list` ("Inputs") fills; none for a key that is no list.
constexpr std::uint32_t ListPartsOf(std::string_view list) {
  for (const CSS_ListParts& entry : kListParts) {
    if (entry.list == list) return entry.parts;
  }
  return 0;
}

}  // namespace ssmsg
