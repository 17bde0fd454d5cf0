#pragma once

/// \file
/// The lists that the facade takes and gives: the caller's list of finished messages, and node
/// lists.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ssmsg {

/// The caller's list of finished messages. The library only ever appends to it.
using CSS_StringList = std::vector<std::string>;

/// A read-only list of unsigned 32-bit numbers (node lists of the interface commands).
using CSS_NumberList = std::span<const std::uint32_t>;

}  // namespace ssmsg
