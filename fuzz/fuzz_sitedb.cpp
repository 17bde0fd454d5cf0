// Fuzzes the site database reader: the input is the whole file of a database. Any bytes must give
// either errors naming the file (and then no site) or a site; every controller of a site loads
// into a store, and the site written as a site file loads again to the same site file: what the
// reader accepts is a valid site. Stops the process with a trap when something does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <ssmsg/Site.h>
#include "site/db/SiteDb.h"

#define SSMSG_FUZZ_CHECK(condition)                                                            \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "fuzz_sitedb: %s does not hold (line %d)\n", #condition, __LINE__); \
      __builtin_trap();                                                                        \
    }                                                                                          \
  } while (false)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ssmsg;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const CSS_SiteLoadResult result = LoadSiteDatabaseBytes(bytes, "fuzz.db");
  SSMSG_FUZZ_CHECK(result.site.has_value() == result.errors.empty());
  for (const std::string& error : result.errors) {
    SSMSG_FUZZ_CHECK(error.starts_with("fuzz.db: "));
  }
  if (!result.site) return 0;
  CSApplicationManagerStd store;
  for (std::size_t controller = 0; controller < result.site->ControllerCount(); ++controller)
    result.site->LoadController(controller, store);
  const std::string json = result.site->ToJson();
  const CSS_SiteLoadResult again = LoadSiteText(json, "fuzz.json");
  SSMSG_FUZZ_CHECK(again.errors.empty());
  SSMSG_FUZZ_CHECK(again.site->ToJson() == json);
  return 0;
}
