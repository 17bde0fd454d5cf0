#pragma once

// What the Windows sides of the platform layer share: names and texts cross the Windows API as
// UTF-16 and are UTF-8 everywhere else, and the API's error codes become the errno values that
// the rest of the system reports.

#include <string>
#include <string_view>

namespace ssmsg::win32 {

// `text` as UTF-16; false when it is not UTF-8.
bool Wide(std::string_view text, std::wstring& wide);
// `wide` as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8(std::wstring_view wide);
// The errno value nearest to the Windows error `code` (EIO for one without a near value).
int ErrnoOf(unsigned long code);
// ErrnoOf(GetLastError()).
int LastErrno();

}  // namespace ssmsg::win32
