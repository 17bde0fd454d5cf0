#include "platform/Program.h"

#include <csignal>

int main(int argc, char** argv) {
  // A file-size limit then fails the write (EFBIG), which is reported like any other failed
  // write, instead of killing the program. SIGPIPE keeps its default: a reader that stops reading
  // ends the program quietly.
  std::signal(SIGXFSZ, SIG_IGN);
  return ssmsg::ProgramMain(argc, argv);
}
