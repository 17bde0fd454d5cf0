#pragma once

// Shell commands run with their output collected, for the tests that drive the tool as a process.
// The harness is a POSIX program even where the tool it drives is not.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "support.h"

namespace ssmsg::test {

// Whether the tool is the Windows one (run under Wine): what only POSIX has is not asked of it.
inline constexpr bool kToolOnWindows = SSMSG_TOOL_ON_WINDOWS;

// Every settings task but the clock's (152): what import reads back, as --task takes it.
inline constexpr const char* kTasksButClock =
    "177,151,153,154,155,156,157,158,159,160,161,162,163,164,165,166,167,168,169,170,171,172,173,"
    "174,175,176";

// What shell commands did: their exit status (-1 when a signal ended them) and their output.
struct ShellResult {
  int status;
  std::string out;
  std::string err;
};

// Runs the shell commands `script` in `folder`, their output kept in the files `out` and `err`.
// Commands that write without end are stopped at 1 GiB of output (the shell counts 512-byte
// blocks) instead of filling the disk; where the limit is lower already, it stays. The two files
// are removed once read.
inline ShellResult RunShell(const std::string& script, const std::filesystem::path& folder,
                            const std::filesystem::path& out, const std::filesystem::path& err) {
  const std::string command = "ulimit -f 2097152 2>/dev/null; cd '" + folder.string() + "' && { " +
                              script + "\n} >'" + out.string() + "' 2>'" + err.string() + "'";
  const int status = std::system(command.c_str());
  ShellResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  std::error_code ignored;
  std::filesystem::remove(out, ignored);
  std::filesystem::remove(err, ignored);
  return result;
}

}  // namespace ssmsg::test
