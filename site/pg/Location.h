#pragma once

// Where a site on a PostgreSQL server is: a libpq connection URI that names the site too,
// "postgresql://[user@]host[:port]/dbname?site=NAME". The URI goes to libpq as it is, less the
// site; everything else in it (and the PG* variables) means what libpq says.

#include <string>
#include <string_view>

#include "core/Result.h"

namespace ssmsg::pg {

struct Location {
  std::string conninfo;  // for libpq: the URI without "site="
  std::string site;      // the site's name; empty when the URI names none
  std::string name;      // the URI as errors show it: without a password
};

// Whether `text` is a PostgreSQL connection URI rather than a file's name.
bool IsLocation(std::string_view text);

// The location `text` is, or why it is none. A site's name is given at most once, percent-encoded
// as URIs are; it is not empty, at most kMaxSiteName bytes of UTF-8, and has no control character.
Result<Location, std::string> ParseLocation(std::string_view text);

inline constexpr std::size_t kMaxSiteName = 200;

}  // namespace ssmsg::pg
