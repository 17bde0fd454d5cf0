#pragma once

// What a site holds, for the library's own code (the loader, the warnings, the jobs).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>
#include <ssmsg/CSToolEnum.h>

#include "json/JsonParse.h"

namespace ssmsg {

// The key under which a controller is found by its address: interface and node in one number.
inline std::uint64_t AddressKey(const CSS_ControllerAddress& address) {
  return (std::uint64_t{static_cast<std::uint32_t>(address.interfaceId)} << 32) |
         static_cast<std::uint32_t>(address.node);
}

// One controller of a site made in memory: its address and every record the store is to hold.
struct CSS_SiteController {
  CSS_ControllerAddress address;
  CSApplicationManagerStd store;
};

// One controller of a loaded site: its address and where its object lies in the file's text.
// Its records are read again from there whenever it is loaded into a store.
struct CSS_SiteSpan {
  CSS_ControllerAddress address;
  std::size_t begin = 0;
  std::size_t size = 0;
};

// The bytes of a site file, followed by the padding that the fast JSON parser reads past the end.
class CSS_SiteText {
 public:
  CSS_SiteText() = default;
  explicit CSS_SiteText(std::size_t size);
  char* data() { return bytes_.get(); }
  std::string_view view() const { return {bytes_.get(), size_}; }
  // Keeps only the first `size` bytes (after a short read) and pads them again.
  void Shrink(std::size_t size);
  // Where the first NUL byte is (npos: nowhere), as the reader found it while the bytes were in
  // the cache; kNulUnknown when they were not read that way.
  std::size_t firstNul = kNulUnknown;

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
};

// An enumeration text that the site file gives, replacing the built-in one.
struct CSS_SiteEnumText {
  CSToolEnumId id;
  int value;
  std::string text;
};

// An enumeration value that some record of the site uses, with where it is first used.
struct CSS_SiteEnumUse {
  CSToolEnumId id;
  int value;
  std::string path;  // e.g. "Controllers[0].Inputs[3].Type"
};

// Where a loaded site reads its controllers' records from when they are not in a site file's
// text: a site database.
class CSS_SiteRecords {
 public:
  virtual ~CSS_SiteRecords() = default;
  // Replaces everything `store` holds with the records of `controller` (as CSS_SiteData::Load).
  virtual void Load(std::size_t controller, CSApplicationManagerStd& store) const = 0;
};

struct CSS_SiteData {
  std::string fileName;  // as given to the loader
  // A site holds either its controllers' records (made in memory) or its file's text with the
  // place of each controller in it (loaded), in file order; a site read from a database has the
  // addresses in `spans` and reads records through `records`.
  std::vector<CSS_SiteController> controllers;
  CSS_SiteText text;
  std::vector<CSS_SiteSpan> spans;
  std::vector<CSS_SiteEnumText> enumTexts;  // in file order
  std::vector<CSS_SiteEnumUse> enumUses;    // each value once, in order of first use
  std::unique_ptr<CSS_SiteRecords> records;

  std::size_t Count() const { return spans.empty() ? controllers.size() : spans.size(); }
  CSS_ControllerAddress AddressOf(std::size_t controller) const {
    return spans.empty() ? controllers.at(controller).address : spans.at(controller).address;
  }
  // Replaces everything `store` holds with the records of `controller`.
  void Load(std::size_t controller, CSApplicationManagerStd& store) const;
};

struct CSS_SiteAccess {
  static CSS_Site Make(std::unique_ptr<CSS_SiteData> impl) { return CSS_Site(std::move(impl)); }
  static const CSS_SiteData& Of(const CSS_Site& site) { return *site.impl_; }
};

// Appends to `warnings` one line for each list of the controller in `store` that holds records
// beyond its capability count, and for each zone of a time group outside the blocks of time
// zones that are sent; each line starts with `where` ("site.json: Controllers[0]").
void CheckCapacity(const CSApplicationManagerStd& store, const std::string& where,
                   std::vector<std::string>& warnings);

// Loads the site file whose bytes are `text`, checking controllers on `jobs` threads (0: one per
// core); errors name it `fileName`.
CSS_SiteLoadResult LoadSiteBytes(CSS_SiteText text, std::string_view fileName, unsigned jobs);

}  // namespace ssmsg
