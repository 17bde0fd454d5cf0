#pragma once

#include <string_view>

namespace ssmsg::tool {

// The built-in demo site: the text of site/demo_site.json, compiled in.
extern const std::string_view kDemoSite;

}  // namespace ssmsg::tool
