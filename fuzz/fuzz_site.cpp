// Fuzzes the site loader: the input is a site file. Any bytes must give either errors (and then
// no site) or a site without errors. For every controller of a site that loads, the controller is
// put into a fresh store and the site's enumeration texts into a fresh enumeration service, and
// every settings task runs for the controller's address; the messages must not be empty and a
// false result must append nothing. Stops the process with a trap when something does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Site.h>
#include "store_filler.h"

#define SSMSG_FUZZ_CHECK(condition)                                                          \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "fuzz_site: %s does not hold (line %d)\n", #condition, __LINE__); \
      __builtin_trap();                                                                      \
    }                                                                                        \
  } while (false)

namespace {
// Time-setting messages need a clock; any fixed time will do.
const std::tm kSiteTime = [] {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 4;
  time.tm_mday = 17;
  time.tm_hour = 9;
  return time;
}();
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ssmsg;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CSS_SiteLoadResult result = LoadSiteText(text, "fuzz.json");
  SSMSG_FUZZ_CHECK(result.site.has_value() == result.errors.empty());
  for (const std::string& error : result.errors) {
    SSMSG_FUZZ_CHECK(error.starts_with("fuzz.json"));
  }
  if (!result.site) return 0;

  const CSS_Site& site = *result.site;
  CSS_Manager manager;
  for (std::size_t controller = 0; controller < site.ControllerCount(); ++controller) {
    CSApplicationManagerStd store;
    CSToolEnum service;
    site.LoadController(controller, store);
    site.LoadEnumTexts(service);
    const test::InstalledHost host(store, service, test::ClockFrom(kSiteTime));
    static_cast<void>(site.Warnings(service));
    const CSS_ControllerAddress address = site.Address(controller);
    for (const ApplicationManagerTask task : kSettingsTasks) {
      CSS_StringList out;
      const bool sent = manager.MakeSendSettings(task, address.interfaceId, address.node, out);
      if (!sent) SSMSG_FUZZ_CHECK(out.empty());
      for (const std::string& message : out) {
        SSMSG_FUZZ_CHECK(!message.empty());
      }
    }
  }
  return 0;
}
