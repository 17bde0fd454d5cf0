#pragma once

/// \file
/// JSON text as the library writes it (site files, decoded messages) and as the tool writes
/// messages.

#include <string>
#include <string_view>

#include <ssmsg/export.h>

namespace ssmsg {

/// Appends `text` to `out` as a JSON string, quotes included. Valid UTF-8 is copied as it is;
/// a byte that is not part of valid UTF-8 is written as `\u00XX`, the character of the same
/// number.
/// \param out the text the string is appended to
/// \param text the bytes to write
SSMSG_API void AppendJsonString(std::string& out, std::string_view text);

/// Whether `text` is valid UTF-8 throughout, so that AppendJsonString keeps every byte of it.
/// \param text the bytes to check
/// \return whether they are valid UTF-8
SSMSG_API bool IsUtf8(std::string_view text);

}  // namespace ssmsg
