#pragma once

// The start of a command-line program, the same on every system. The program defines
// ProgramMain; the platform's own entry point calls it with the arguments as UTF-8 (on Windows
// taken from the wide command line, so that any file name comes through), with standard input,
// output and error carrying bytes as they are (no CR LF translation), and with a failed write
// reported as one instead of ending the process (a file-size limit).

namespace ssmsg {

// The program's body; `argv[argc]` is null.
int ProgramMain(int argc, char** argv);

}  // namespace ssmsg
