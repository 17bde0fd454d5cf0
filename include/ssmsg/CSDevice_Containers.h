#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <ssmsg/CSDevice_Records.h>
#include <ssmsg/export.h>

namespace ssmsg {

// A list of configuration records of one kind. Positions that hold no record are declined:
// `GetItem2Send` answers false for them, and the builders skip them.
//
// `FirstIndex` is the index by which the first position is asked for: 0 for every container but
// the time-zone container, which is asked with 1-based indexes.
template <class Record, int FirstIndex = 0>
class CSDevice_Records {
 public:
  using Item = Record;
  static constexpr int kFirstIndex = FirstIndex;

  // Copies the record at `index` into `item` and returns true, or returns false (leaving `item`
  // as it was) when there is no record to send at that index.
  bool GetItem2Send(int index, Item& item) const {
    const std::optional<Item>* slot = Slot(index);
    if (slot == nullptr || !slot->has_value()) return false;
    item = **slot;
    return true;
  }

  // The number of positions, declined ones included.
  int GetRecordCount() const { return static_cast<int>(records_.size()); }

  // The record at `index`, or null when it is declined or out of range.
  const Item* Find(int index) const {
    const std::optional<Item>* slot = Slot(index);
    return slot != nullptr && slot->has_value() ? &**slot : nullptr;
  }

  // Stores `item` at `index`, growing the list with declined positions as needed.
  void Set(int index, Item item) { SlotForWrite(index) = std::move(item); }
  // Makes `index` a declined position (the list grows to hold it).
  void Decline(int index) { SlotForWrite(index).reset(); }
  // Appends a record, or a declined position for an empty optional.
  void Append(std::optional<Item> item) { records_.push_back(std::move(item)); }

  void Reserve(std::size_t count) { records_.reserve(count); }
  void Clear() { records_.clear(); }

 private:
  const std::optional<Item>* Slot(int index) const {
    const std::int64_t position = std::int64_t{index} - FirstIndex;
    if (position < 0 || position >= static_cast<std::int64_t>(records_.size())) return nullptr;
    return &records_[static_cast<std::size_t>(position)];
  }

  std::optional<Item>& SlotForWrite(int index) {
    const std::int64_t position = std::int64_t{index} - FirstIndex;
    const auto at = static_cast<std::size_t>(position < 0 ? 0 : position);
    if (at >= records_.size()) records_.resize(at + 1);
    return records_[at];
  }

  std::vector<std::optional<Item>> records_;
};

using CSDevice_FLanSetup = CSDevice_Records<CSDevice_FLanSetupItem>;
using CSDevice_Port = CSDevice_Records<CSDevice_PortItem>;
using CSDevice_Holiday = CSDevice_Records<CSDevice_HolidayItem>;
using CSDevice_TimeZone = CSDevice_Records<CSDevice_TimeZoneItem, 1>;
using CSDevice_InputType = CSDevice_Records<CSDevice_InputTypeItem>;
using CSDevice_InputTime = CSDevice_Records<CSDevice_InputTimeItem>;
using CSDevice_InputLink = CSDevice_Records<CSDevice_InputLinkItem>;
using CSDevice_OutputType = CSDevice_Records<CSDevice_OutputTypeItem>;
using CSDevice_OutputTime = CSDevice_Records<CSDevice_OutputTimeItem>;
using CSDevice_RdConfiguration = CSDevice_Records<CSDevice_RdConfigurationItem>;
using CSDevice_RdCardControl = CSDevice_Records<CSDevice_RdCardControlItem>;
using CSDevice_RdCardLocation = CSDevice_Records<CSDevice_RdCardLocationItem>;
using CSDevice_RdCardStructure = CSDevice_Records<CSDevice_RdCardStructureItem>;
using CSDevice_RdAccessAlarm = CSDevice_Records<CSDevice_RdAccessAlarmItem>;

// The time groups of a controller, each a list of zones. Groups are numbered from 1; a group
// that is declined hands out nothing.
class SSMSG_API CSDevice_TimeGroupZone {
 public:
  using Item = CSDevice_TimeGroupZoneItem;
  // Borrowed pointers to the zones of one block; they stay valid until the store changes.
  using ItemList = std::vector<const Item*>;
  static constexpr int kBlockSize = 8;

  // Appends to `out` the zones of group `timeGroupNo` whose zone numbers lie from `firstZoneNo`
  // to `firstZoneNo + 7`, in the group's order. Returns false when the group is declined or does
  // not exist.
  bool GetItems2Send(int timeGroupNo, int firstZoneNo, ItemList& out) const;

  // The number of groups, declined ones included.
  int GetRecordCount() const { return static_cast<int>(groups_.size()); }
  int GetCurrentTimeGroupNo() const { return currentTimeGroupNo_; }
  void SetCurrentTimeGroupNo(int timeGroupNo) { currentTimeGroupNo_ = timeGroupNo; }

  // The zones of group `timeGroupNo`, or null when it is declined or out of range.
  const std::vector<Item>* FindGroup(int timeGroupNo) const;

  // Stores the zones of group `timeGroupNo` (1-based), growing the list with declined groups.
  void SetGroup(int timeGroupNo, std::vector<Item> zones);
  // Appends a group, or a declined group for an empty optional.
  void Append(std::optional<std::vector<Item>> zones) { groups_.push_back(std::move(zones)); }
  void Clear() {
    groups_.clear();
    currentTimeGroupNo_ = 0;
  }

 private:
  std::vector<std::optional<std::vector<Item>>> groups_;
  int currentTimeGroupNo_ = 0;
};

}  // namespace ssmsg
