#pragma once

// Site files: the text of a JSON site file read into a site (see <ssmsg/Site.h>).

#include <string_view>

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/Site.h>

#include "core/Result.h"
#include "site/file/SiteText.h"

namespace ssmsg {

// Checks the site file whose bytes are `text`, controllers on `jobs` threads (0: one per core),
// and makes the site; errors name the file `fileName`. The site keeps the text and reads each
// controller from it again when it is loaded; with `keep`, it keeps instead the records that the
// check read (an image of each controller), which cost less memory than the text and nothing to
// load again: for a run that reads every controller once more anyway.
CSS_SiteLoadResult LoadSiteFileText(SiteText text, std::string_view fileName, unsigned jobs,
                                    bool keep = false);
// The same, with the errors as values.
Result<CSS_Site> ReadSiteFileText(SiteText text, std::string_view fileName, unsigned jobs,
                                  bool keep = false);

// Checks one controller's object of a site file, `json`, as the reader checks each controller of
// a file, and puts its records into `records`: its address, or the errors found, each with its
// path from the controller on ("Inputs[2].Type"; empty: the controller itself) and no file.
Result<CSS_ControllerAddress> ReadControllerText(std::string_view json,
                                                 CSApplicationManagerStd& records);

// Reads `patch`, a merge patch (RFC 7396) of the controller whose records are `records`, onto
// them where it sets nothing but whole lists ({"Inputs": [...], "Outputs": [...]}): true, and
// `records` as reading the patched controller would leave them. False, with `records` as they
// were, for any other patch (another key, a value that is not a list) and for any patch with a
// mistake: what is wrong is then for ReadControllerText of the patched text to say, in its words.
bool ReadListPatch(std::string_view patch, CSApplicationManagerStd& records);

}  // namespace ssmsg
