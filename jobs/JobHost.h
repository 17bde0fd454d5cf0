#pragma once

// What one thread of a job builds a site's messages with: a store, an enumeration service (the
// built-in texts with the site's) and a clock, all its own. The settings job, the diff (one for
// each site) and the report each give every worker thread one.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSS_Manager.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/Site.h>

namespace ssmsg {

class JobHost {
 public:
  JobHost(const CSS_Site& site, const CSS_ClockSource& clock) : site_(site), clock_(clock) {
    site.LoadEnumTexts(enums_);
  }
  JobHost(const JobHost&) = delete;
  JobHost& operator=(const JobHost&) = delete;

  const CSS_Site& Site() const { return site_; }
  const CSApplicationManagerStd& Store() const { return store_; }
  const CSToolEnum& Enums() const { return enums_; }

  // Loads controller `controller` of the site into the store.
  void Load(std::size_t controller) { site_.LoadController(controller, store_); }
  // Appends the messages of `task` for the controller at `address` to `out`, made from the
  // store, the texts and the clock; with `records`, the number of the record each message is
  // for. Whether the task returned true.
  bool Build(ApplicationManagerTask task, const CSS_ControllerAddress& address, CSS_StringList& out,
             std::vector<std::int32_t>* records = nullptr);

 private:
  const CSS_Site& site_;
  const CSS_ClockSource& clock_;
  CSApplicationManagerStd store_;
  CSToolEnum enums_;
};

}  // namespace ssmsg
