#pragma once

#include <algorithm>
#include <cstdint>

#include "core/CSS_Command.h"

namespace ssmsg {

// A command that sends one message per record of a store container. It holds its own copy of
// the record (cleared before every fetch) and the record's 1-based number (index + 1, counted
// from the container's first index), which messages that name a record by position carry.
template <class Group, class Container>
class CSS_RecordCommand : public Group {
 public:
  using Item = typename Container::Item;

  std::int32_t RecordNumber() const override { return number_; }

 protected:
  using Group::Group;

  // The record loop over the `count` indexes of `records`, one message per record. Always true:
  // a declined record or a message that cannot be made skips that index only.
  bool SendRecords(int interfaceId, int node, CSS_StringList& out, int count,
                   const Container& records) {
    ForEachRecord(count, records, [&] { this->AppendCommand(interfaceId, node, out); });
    return true;
  }

  // Walks the `count` indexes of `records` from the container's first index on: sets the record
  // number, clears the record copy and asks the container for the record; `send()` makes the
  // messages of each record that the container hands out. A count below 1 walks nothing.
  template <class Send>
  void ForEachRecord(int count, const Container& records, Send&& send) {
    constexpr int first = Container::kFirstIndex;
    this->ForEachFetched(
        first, first + std::max(count, 0),
        [&](int index) {
          number_ = index - first + 1;
          record_.Clear();
          return records.GetItem2Send(index, record_);
        },
        send);
  }

  std::int32_t number_ = 0;
  Item record_{};
};

}  // namespace ssmsg
