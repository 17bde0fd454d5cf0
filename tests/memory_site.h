#pragma once

// A site made in memory, for tests that need one of records chosen record by record.

#include <string>
#include <utility>
#include <vector>

#include "site/SiteData.h"

namespace ssmsg::test {

struct MemorySite {
  std::vector<CSS_SiteController> controllers;
  std::vector<CSS_SiteEnumText> enumTexts;

  CSS_Site Make(std::string fileName = {}) const {
    return MakeMemorySite(std::move(fileName), controllers, enumTexts);
  }
  // The site file that holds it.
  std::string Json() const { return Make().ToJson(); }
};

}  // namespace ssmsg::test
