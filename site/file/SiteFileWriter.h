#pragma once

// Writes site files: the text of `ssmsg demo-site` and of `ssmsg import`. The form is fixed, so
// that equal sites give equal text: enumeration texts by enumeration and value, every field of
// every record in the order of its field table (empty names left out), a record per line (long
// ones wrapped at 100 columns), "Config" and "XTRA" only when they hold something, and a
// capability count only where it differs from the length of its list. Loading what the writer
// wrote gives the same stores and enumeration texts back.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>

#include "site/SiteData.h"
#include "site/StoreImage.h"

namespace ssmsg {

// The keys of a controller's object, in the order the writer writes them.
enum class CSS_ControllerKey : std::uint8_t {
  Interface,
  Node,
  Name,
  Resource,
  Config,
  Xtra,
  Holidays,
  TimeZones,
  TimeGroups,
  Ports,
  FLan,
  Inputs,
  Outputs,
  Readers,
};
inline constexpr std::size_t kControllerKeyCount = 14;

// Where the text of each key of a controller's compact text ends (counted from its opening
// brace), the comma before it included; a key left out ends where the one before it does.
using CSS_ControllerLayout = std::array<std::size_t, kControllerKeyCount>;

// A controller's compact text as written before, with its layout, and the parts of its records
// (StorePart) that changed since.
struct CSS_ControllerText {
  std::string_view text;
  const CSS_ControllerLayout& layout;
  std::bitset<kStorePartCount> changed;
};

class CSS_SiteWriter {
 public:
  // Appends to `out`; a caller that writes a large site may take what is in `out` after each
  // controller and empty it.
  explicit CSS_SiteWriter(std::string& out) : out_(out) {}

  // The enumeration texts, before the first controller; a value given twice keeps its last text.
  void Enums(std::span<const CSS_SiteEnumText> texts);
  void Controller(const CSS_ControllerAddress& address, const CSApplicationManagerStd& store);
  // The same in two steps, so that controllers may be written on several threads: the text of
  // one controller, appended to `out` on any thread, and then that text added in its place.
  // With `compact`, without a blank between its tokens (as the site editor serves it).
  static void ControllerText(std::string& out, const CSS_ControllerAddress& address,
                             const CSApplicationManagerStd& store, bool compact = false);
  // The compact text, and where each of its keys ends. With `was` (what this wrote for the same
  // address before), the keys whose parts did not change are copied from there rather than
  // written again: the same text, for the cost of the keys that changed.
  static CSS_ControllerLayout CompactControllerText(std::string& out,
                                                    const CSS_ControllerAddress& address,
                                                    const CSApplicationManagerStd& store,
                                                    const CSS_ControllerText* was = nullptr);
  void AppendController(std::string_view text);
  // Closes the document.
  void Finish();

 private:
  void StartControllers();
  void BeforeController();  // what goes before each controller

  std::string& out_;
  bool started_ = false;     // the document's opening brace is written
  std::size_t written_ = 0;  // controllers written
};

// The whole text of `site`.
std::string WriteSite(const CSS_SiteData& site);
// The same, handed to `sink` in pieces, one controller at a time, the controllers written on
// `jobs` threads at once; false when `sink` returned false.
bool WriteSite(const CSS_SiteData& site, const std::function<bool(std::string_view)>& sink,
               unsigned jobs);

}  // namespace ssmsg
