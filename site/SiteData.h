#pragma once

// What a site holds, for the library's own code: its controllers' addresses, its enumeration
// texts, what checking it found, and where each controller's records come from. Every kind of
// site (made in memory, read from a site file, read from a database) gives its records through
// one interface, SiteRecords; the jobs, the report and the writers know no other.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Site.h>

#include "site/Findings.h"

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

// An enumeration text that the site gives, replacing the built-in one.
struct CSS_SiteEnumText {
  CSToolEnumId id;
  int value;
  std::string text;
};

// Where the records of a site's controllers come from.
class SiteRecords {
 public:
  virtual ~SiteRecords() = default;
  // Replaces everything `store` holds with the records of controller `controller` (its position
  // in the site). Any number of threads may call it at once, each with a store of its own.
  virtual void Load(std::size_t controller, CSApplicationManagerStd& store) const = 0;
};

struct CSS_SiteData {
  std::string fileName;                          // as given to the loader
  std::vector<CSS_ControllerAddress> addresses;  // of the controllers, in site order
  std::vector<CSS_SiteEnumText> enumTexts;       // in the site's order
  SiteFindings findings;
  std::unique_ptr<SiteRecords> records;

  std::size_t Count() const { return addresses.size(); }
  CSS_ControllerAddress AddressOf(std::size_t controller) const { return addresses.at(controller); }
  void Load(std::size_t controller, CSApplicationManagerStd& store) const {
    records->Load(controller, store);
  }
};

struct CSS_SiteAccess {
  static CSS_Site Make(std::unique_ptr<CSS_SiteData> impl) { return CSS_Site(std::move(impl)); }
  static const CSS_SiteData& Of(const CSS_Site& site) { return *site.impl_; }
};

// LoadSite for a run that reads every controller once more (convert): the site keeps the
// records that its check read, and reading a controller again costs next to nothing.
CSS_SiteLoadResult LoadSiteKeepingRecords(const std::filesystem::path& file, unsigned jobs);

// A site of the controllers `controllers`, held in memory, with the texts `enumTexts`; its
// findings are those of its records.
CSS_Site MakeMemorySite(std::string fileName, std::vector<CSS_SiteController> controllers,
                        std::vector<CSS_SiteEnumText> enumTexts = {});

}  // namespace ssmsg
