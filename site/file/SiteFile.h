#pragma once

// Site files: the text of a JSON site file read into a site (see <ssmsg/Site.h>).

#include <string_view>

#include <ssmsg/Site.h>

#include "site/file/SiteText.h"

namespace ssmsg {

// Checks the site file whose bytes are `text`, controllers on `jobs` threads (0: one per core),
// and makes the site, which keeps the text; errors name the file `fileName`.
CSS_SiteLoadResult LoadSiteFileText(SiteText text, std::string_view fileName, unsigned jobs);

}  // namespace ssmsg
