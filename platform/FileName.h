#pragma once

// File names are UTF-8 text wherever the library and the tool hold them as strings, and a
// std::filesystem::path at the public interface. These two convert between them alike on every
// system: byte for byte where names are bytes (POSIX), UTF-8 to and from the system's UTF-16 on
// Windows. A path's own conversions from and to plain char do not agree on Windows (one takes the
// C locale's code page, the other UTF-8), so names never go through them.

#include <filesystem>
#include <string>
#include <string_view>

namespace ssmsg {

inline std::filesystem::path PathOfName(std::string_view name) {
  try {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(name.data()), name.size()));
  } catch (const std::filesystem::filesystem_error&) {
    // Not UTF-8 (only Windows checks): no file has that name, as opening it will say.
    return std::filesystem::path(name);
  }
}

inline std::string NameOfPath(const std::filesystem::path& path) {
  try {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
  } catch (const std::filesystem::filesystem_error&) {
    // A Windows name that is not UTF-16 (an unpaired surrogate): as the C library would spell it.
    return path.string();
  }
}

}  // namespace ssmsg
