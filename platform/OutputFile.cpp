// What the outputs of every system share: standard output, the temporary files' names, and
// looking through each folder for abandoned ones once.

#include "platform/OutputFile.h"

#include <mutex>
#include <set>

namespace ssmsg {

std::unique_ptr<OutputFile> OutputFile::StandardOutput() {
  std::unique_ptr<OutputFile> file(new OutputFile);
  file->fd_ = 1;
  file->stream_ = true;
  file->target_ = file->writePath_ = "-";
  return file;
}

bool OutputFile::IsTemporaryName(std::string_view name) {
  const std::size_t mark = name.rfind(kTemporaryMark);
  return mark != std::string_view::npos && mark > 0 &&
         name.size() == mark + kTemporaryMark.size() + 6;
}

bool OutputFile::FirstLookInto(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> done;
  const std::lock_guard lock(mutex);
  return done.insert(folder).second;
}

}  // namespace ssmsg
