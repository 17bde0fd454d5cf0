#pragma once

// Site files: the text of a JSON site file read into a site (see <ssmsg/Site.h>).

#include <string_view>

#include <ssmsg/Site.h>

#include "site/file/SiteText.h"

namespace ssmsg {

// Checks the site file whose bytes are `text`, controllers on `jobs` threads (0: one per core),
// and makes the site; errors name the file `fileName`. The site keeps the text and reads each
// controller from it again when it is loaded; with `keep`, it keeps instead the records that the
// check read (an image of each controller), which cost less memory than the text and nothing to
// load again: for a run that reads every controller once more anyway.
CSS_SiteLoadResult LoadSiteFileText(SiteText text, std::string_view fileName, unsigned jobs,
                                    bool keep = false);

}  // namespace ssmsg
