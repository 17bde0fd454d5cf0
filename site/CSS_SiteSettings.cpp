#include <ssmsg/CSS_SiteSettings.h>

#include <numeric>

#include "host/CSS_ThreadHost.h"
#include "manager/CSS_ManagerBuilders.h"

namespace ssmsg {

CSS_SettingsResult MakeSiteSettings(const CSS_Site& site, const CSS_SettingsOptions& options,
                                    const CSS_MessageSink& sink) {
  std::vector<std::size_t> controllers = options.controllers;
  if (controllers.empty()) {
    controllers.resize(site.ControllerCount());
    std::iota(controllers.begin(), controllers.end(), std::size_t{0});
  }
  const std::span<const ApplicationManagerTask> tasks =
      options.tasks.empty() ? std::span<const ApplicationManagerTask>(kSettingsTasks)
                            : std::span<const ApplicationManagerTask>(options.tasks);

  CSApplicationManagerStd store;
  CSToolEnum enums;
  site.LoadEnumTexts(enums);
  const CSS_ClockSource clock = options.time ? FixedClock(*options.time) : CSS_ClockSource();
  const CSS_ThreadHost host({&store, &enums, &clock});

  CSS_SettingsResult result;
  CSS_StringList messages;
  for (const std::size_t controller : controllers) {
    site.LoadController(controller, store);
    const CSS_ControllerAddress address = site.Address(controller);
    for (const ApplicationManagerTask task : tasks) {
      messages.clear();
      if (!CSS_Manager::Builders::Dispatch(task, address.interfaceId, address.node, messages)) {
        result.failures.push_back({address, task});
      }
      for (const std::string& text : messages) {
        if (!sink({address, task, text})) {
          result.stopped = true;
          return result;
        }
      }
    }
  }
  return result;
}

}  // namespace ssmsg
