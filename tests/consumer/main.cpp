// Loads a one-controller site and prints the input messages it gives.

#include "manager/CSS_Manager.h"
#include "site/CSS_Site.h"

#include <cstdio>

int main() {
  const auto result = ssmsg::LoadSiteText(
      R"({"Controllers": [{"Interface": 1, "Node": 2, "Inputs": [{"Type": 1}]}]})", "consumer");
  if (!result.site) return 1;
  ssmsg::LoadController(result.site->controllers[0], *ssmsg::gl_GetApplicationManagerStd());
  ssmsg::CSS_Manager manager;
  ssmsg::CSS_StringList out;
  if (!manager.MakeSendSettings(static_cast<ssmsg::ApplicationManagerTask>(161), 1, 2, out)) {
    return 1;
  }
  for (const auto& message : out)
    std::printf("%s\n", message.c_str());
  return out.size() == 2 ? 0 : 1;
}
