#pragma once

// A controller's records as compact bytes: what a site keeps of a controller that it cannot read
// again cheaply (a database's rows), and what two controllers are compared by. Only what a site
// gives a store is kept: the fields of the field tables, the positions that hold a record, the
// time groups' zones and the capability counts, with which of them were given.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>

#include "site/SiteData.h"

namespace ssmsg {

// The parts of a store, as an image holds them one after the other.
enum class StorePart : std::uint8_t {
  Config,  // and the XTRA unit's name
  Resource,
  Xtra,
  FLan,
  Port,
  Holiday,
  TimeZone,
  InputType,
  InputTime,
  InputLink,
  OutputType,
  OutputTime,
  RdConfiguration,
  RdCardControl,
  RdCardLocation,
  RdCardStructure,
  RdAccessAlarm,
  TimeGroupZone,
};
inline constexpr std::size_t kStorePartCount = 18;

// The layout of EncodeStore's bytes, counted up whenever they change: images that are kept outside
// the process (a site on a database server) name it.
inline constexpr int kImageLayout = 1;

// Appends the records of `store` to `out`.
void EncodeStore(const CSApplicationManagerStd& store, std::string& out);
// Appends the records of one part of `store` to `out`, as EncodeStore writes them.
void EncodeStorePart(const CSApplicationManagerStd& store, StorePart part, std::string& out);
// Replaces everything `store` holds with the records that EncodeStore wrote into `image`; false,
// with `store` left empty, when `image` is not something EncodeStore wrote of a site's records
// (it is cut short, has bytes after its end, or a text that no site may hold: not UTF-8, or with
// a control character but tab).
[[nodiscard]] bool DecodeStore(std::string_view image, CSApplicationManagerStd& store);

// Moves the records of `part` of `from` into `to`, in place of those `to` had there.
void MoveStorePart(StorePart part, CSApplicationManagerStd& from, CSApplicationManagerStd& to);

// An image with where each of its parts ends, so that two controllers are compared part by part.
struct StoreImage {
  std::string bytes;
  std::array<std::size_t, kStorePartCount> ends{};

  std::string_view Part(std::size_t part) const {
    const std::size_t begin = part == 0 ? 0 : ends[part - 1];
    return std::string_view(bytes).substr(begin, ends[part] - begin);
  }
};
StoreImage ImageOf(const CSApplicationManagerStd& store);
// The parts in which `a` and `b` differ.
std::bitset<kStorePartCount> ChangedParts(const StoreImage& a, const StoreImage& b);

// The records of a site kept as an image of each controller.
class ImageRecords final : public SiteRecords {
 public:
  explicit ImageRecords(std::vector<std::string> images) : images_(std::move(images)) {}
  void Load(std::size_t controller, CSApplicationManagerStd& store) const override {
    // Each image was made by this program, or checked as it was read.
    static_cast<void>(DecodeStore(images_.at(controller), store));
  }

 private:
  std::vector<std::string> images_;
};

}  // namespace ssmsg
