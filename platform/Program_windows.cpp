#include "platform/Program.h"

#include <fcntl.h>
#include <io.h>

#include <string>
#include <vector>

#include "platform/Win32.h"

// Built with -municode: the C runtime calls wmain with the command line's own wide arguments.
int wmain(int argc, wchar_t** argv) {
  for (const int fd : {0, 1, 2})
    ::_setmode(fd, _O_BINARY);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i)
    arguments.push_back(ssmsg::win32::Utf8(argv[i]));
  std::vector<char*> pointers;
  for (std::string& argument : arguments)
    pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return ssmsg::ProgramMain(argc, pointers.data());
}
