#include "platform/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ssmsg {

std::unique_ptr<InputFile> InputFile::Open(const std::string& name, int& error) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::unique_ptr<InputFile>(new InputFile(fd, true));
}

std::unique_ptr<InputFile> InputFile::StandardInput() {
  return std::unique_ptr<InputFile>(new InputFile(0, false));
}

InputFile::~InputFile() {
  if (owned_) ::close(fd_);
}

std::optional<std::uint64_t> InputFile::Size() const {
  struct stat status {};
  if (!owned_ || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

std::int64_t InputFile::ReadAt(char* data, std::size_t size, std::uint64_t offset) const {
  for (;;) {
    const ssize_t got = ::pread(fd_, data, size, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno != EINTR) return -errno;
  }
}

std::int64_t InputFile::Read(char* data, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd_, data, size);
    if (got >= 0) return got;
    if (errno != EINTR) return -errno;
  }
}

}  // namespace ssmsg
