#pragma once

// Site files: a JSON description of the controllers of one site and, optionally, of enumeration
// texts. LoadSite reads and checks a whole file; a host then loads one controller at a time into
// the configuration store and asks the manager for that controller's messages.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/CSApplicationManagerStd.h"
#include "host/CSToolEnum.h"

namespace ssmsg {

// One controller of a site: its address and every record the store is to hold for it.
struct CSS_SiteController {
  std::int32_t interfaceId = 0;
  std::int32_t node = 0;
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

// A checked site file.
struct CSS_Site {
  std::string fileName;  // as given to the loader; names the file in warnings
  std::vector<CSS_SiteController> controllers;  // in file order
  std::vector<CSS_SiteEnumText> enumTexts;      // in file order
  std::vector<CSS_SiteEnumUse> enumUses;        // each value once, in order of first use
};

// What loading a site file gives: the site when the file is valid, otherwise every error found.
// Each error is one line naming the file and the path to the offending value, e.g.
// "site.json: Controllers[0].Inputs[3].Time.Debounce: 70000 is outside -32768..32767", or for
// malformed JSON the line and column, e.g. "site.json:4:7: syntax error ...".
struct CSS_SiteLoadResult {
  std::optional<CSS_Site> site;
  std::vector<std::string> errors;
};

// Reads and checks the site file `file`; errors name it as `file` was spelled.
CSS_SiteLoadResult LoadSite(const std::filesystem::path& file);

// Checks the site file text `text`; errors name it `fileName`.
CSS_SiteLoadResult LoadSiteText(std::string_view text, std::string_view fileName);

// Replaces everything `store` holds with the records of `controller`.
void LoadController(const CSS_SiteController& controller, CSApplicationManagerStd& store);

// Gives `service` the enumeration texts of the site (other texts stay as they were).
void LoadEnumTexts(const CSS_Site& site, CSToolEnum& service);

// What a valid site may still get wrong: enumeration values that `service` has no text for, and
// records that lie beyond a controller's capability count or block of time zones and so are
// never sent. One line each, e.g. "site.json: Controllers[0].Inputs[3].Type: InputType value 9
// has no text".
std::vector<std::string> SiteWarnings(const CSS_Site& site, const CSToolEnum& service);

}  // namespace ssmsg
