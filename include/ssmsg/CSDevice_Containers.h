#pragma once

/// \file
/// The lists of records that the configuration store holds for one controller: one list per kind
/// of record, in which a position may hold no record, and the time groups with their zones.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <ssmsg/CSDevice_Records.h>
#include <ssmsg/export.h>

namespace ssmsg {

/// A list of configuration records of one kind. Positions that hold no record are declined:
/// `GetItem2Send` answers false for them, and the builders skip them.
///
/// `FirstIndex` is the index by which the first position is asked for: 0 for every container but
/// the time-zone container, which is asked with 1-based indexes.
template <class Record, int FirstIndex = 0>
class CSDevice_Records {
 public:
  using Item = Record;                            ///< the kind of record
  static constexpr int kFirstIndex = FirstIndex;  ///< the index of the first position

  /// Copies the record at `index` into `item` and returns true, or returns false (leaving `item`
  /// as it was) when there is no record to send at that index.
  /// \param index the position, from kFirstIndex
  /// \param[out] item the record
  /// \return whether there is a record to send
  bool GetItem2Send(int index, Item& item) const {
    const std::optional<Item>* slot = Slot(index);
    if (slot == nullptr || !slot->has_value()) return false;
    item = **slot;
    return true;
  }

  /// \return the number of positions, declined ones included
  int GetRecordCount() const { return static_cast<int>(records_.size()); }

  /// The record at `index`.
  /// \param index the position, from kFirstIndex
  /// \return the record, or null when it is declined or out of range
  const Item* Find(int index) const {
    const std::optional<Item>* slot = Slot(index);
    return slot != nullptr && slot->has_value() ? &**slot : nullptr;
  }

  /// Stores `item` at `index`, growing the list with declined positions as needed.
  /// \param index the position, from kFirstIndex
  /// \param item the record
  void Set(int index, Item item) { SlotForWrite(index) = std::move(item); }
  /// Makes `index` a declined position (the list grows to hold it).
  /// \param index the position, from kFirstIndex
  void Decline(int index) { SlotForWrite(index).reset(); }
  /// Appends a record, or a declined position for an empty optional.
  /// \param item the record, or nothing
  void Append(std::optional<Item> item) { records_.push_back(std::move(item)); }

  /// Makes room for `count` positions without storing any.
  /// \param count the number of positions
  void Reserve(std::size_t count) { records_.reserve(count); }
  /// Removes every position.
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

/// The list of the field-LAN master table.
using CSDevice_FLanSetup = CSDevice_Records<CSDevice_FLanSetupItem>;
/// The list of the serial ports.
using CSDevice_Port = CSDevice_Records<CSDevice_PortItem>;
/// The list of the holidays.
using CSDevice_Holiday = CSDevice_Records<CSDevice_HolidayItem>;
/// The list of the time zones, asked for from 1.
using CSDevice_TimeZone = CSDevice_Records<CSDevice_TimeZoneItem, 1>;
/// The list of the input types.
using CSDevice_InputType = CSDevice_Records<CSDevice_InputTypeItem>;
/// The list of the input timing.
using CSDevice_InputTime = CSDevice_Records<CSDevice_InputTimeItem>;
/// The list of the input links.
using CSDevice_InputLink = CSDevice_Records<CSDevice_InputLinkItem>;
/// The list of the output types.
using CSDevice_OutputType = CSDevice_Records<CSDevice_OutputTypeItem>;
/// The list of the output timing.
using CSDevice_OutputTime = CSDevice_Records<CSDevice_OutputTimeItem>;
/// The list of the reader configurations.
using CSDevice_RdConfiguration = CSDevice_Records<CSDevice_RdConfigurationItem>;
/// The list of the readers' card control.
using CSDevice_RdCardControl = CSDevice_Records<CSDevice_RdCardControlItem>;
/// The list of the readers' card locations.
using CSDevice_RdCardLocation = CSDevice_Records<CSDevice_RdCardLocationItem>;
/// The list of the readers' card formats.
using CSDevice_RdCardStructure = CSDevice_Records<CSDevice_RdCardStructureItem>;
/// The list of the readers' access alarms.
using CSDevice_RdAccessAlarm = CSDevice_Records<CSDevice_RdAccessAlarmItem>;

/// The time groups of a controller, each a list of zones. Groups are numbered from 1; a group
/// that is declined hands out nothing.
class SSMSG_API CSDevice_TimeGroupZone {
 public:
  using Item = CSDevice_TimeGroupZoneItem;  ///< one zone of a group
  /// Borrowed pointers to the zones of one block; they stay valid until the store changes.
  using ItemList = std::vector<const Item*>;
  static constexpr int kBlockSize = 8;  ///< the zone numbers that one message covers

  /// The highest zone number that the time-group messages send for a controller with
  /// `timeZones` time zones: they cover the blocks of eight zone numbers from 1 that reach the
  /// last time zone.
  /// \param timeZones the controller's time-zone count
  /// \return the last zone number sent; 0 when none is
  static constexpr std::int64_t LastSentZone(int timeZones) {
    const std::int64_t zones = timeZones < 0 ? 0 : timeZones;
    return (zones + kBlockSize - 1) / kBlockSize * kBlockSize;
  }

  /// Appends to `out` the zones of group `timeGroupNo` whose zone numbers lie from `firstZoneNo`
  /// to `firstZoneNo + 7`, in the group's order. Returns false when the group is declined or does
  /// not exist.
  /// \param timeGroupNo the group, from 1
  /// \param firstZoneNo the first zone number of the block
  /// \param[out] out the list the zones are appended to
  /// \return whether the group exists and is not declined
  bool GetItems2Send(int timeGroupNo, int firstZoneNo, ItemList& out) const;

  /// \return the number of groups, declined ones included
  int GetRecordCount() const { return static_cast<int>(groups_.size()); }
  /// \return the group that the time-group builder is working on
  int GetCurrentTimeGroupNo() const { return currentTimeGroupNo_; }
  /// Sets the group that the time-group builder is working on.
  /// \param timeGroupNo the group, from 1
  void SetCurrentTimeGroupNo(int timeGroupNo) { currentTimeGroupNo_ = timeGroupNo; }

  /// The zones of group `timeGroupNo`.
  /// \param timeGroupNo the group, from 1
  /// \return the zones, or null when the group is declined or out of range
  const std::vector<Item>* FindGroup(int timeGroupNo) const;

  /// Stores the zones of group `timeGroupNo` (1-based), growing the list with declined groups.
  /// \param timeGroupNo the group, from 1
  /// \param zones its zones
  void SetGroup(int timeGroupNo, std::vector<Item> zones);
  /// Appends a group, or a declined group for an empty optional.
  /// \param zones the group's zones, or nothing
  void Append(std::optional<std::vector<Item>> zones) { groups_.push_back(std::move(zones)); }
  /// Removes every group.
  void Clear() {
    groups_.clear();
    currentTimeGroupNo_ = 0;
  }

 private:
  std::vector<std::optional<std::vector<Item>>> groups_;
  int currentTimeGroupNo_ = 0;
};

}  // namespace ssmsg
