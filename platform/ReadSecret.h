#pragma once

// Reading a password from standard input: on a terminal it is asked for on standard error and
// not echoed; from a pipe or file it is the first line.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ssmsg {

// Whether standard input is a terminal (someone types the password).
bool InputIsTerminal();

// The next line of standard input, without its line end (LF or CR LF); nothing at the end of the
// input or when it cannot be read. When standard input is a terminal, `prompt` is written to
// standard error first and the terminal does not echo what is typed. At most `limit` bytes are
// kept: a longer line is refused (nothing).
std::optional<std::string> ReadSecret(std::string_view prompt, std::size_t limit = 4096);

}  // namespace ssmsg
