#pragma once

// What a loaded site holds, for the library's own code (the loader, the warnings, the jobs).

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Site.h>
#include <ssmsg/CSToolEnum.h>

namespace ssmsg {

// One controller of a site: its address and every record the store is to hold for it.
struct CSS_SiteController {
  CSS_ControllerAddress address;
  CSApplicationManagerStd store;
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

struct CSS_SiteData {
  std::string fileName;                         // as given to the loader
  std::vector<CSS_SiteController> controllers;  // in file order
  std::vector<CSS_SiteEnumText> enumTexts;      // in file order
  std::vector<CSS_SiteEnumUse> enumUses;        // each value once, in order of first use
};

struct CSS_SiteAccess {
  static CSS_Site Make(std::unique_ptr<CSS_SiteData> impl) { return CSS_Site(std::move(impl)); }
  static const CSS_SiteData& Of(const CSS_Site& site) { return *site.impl_; }
};

}  // namespace ssmsg
