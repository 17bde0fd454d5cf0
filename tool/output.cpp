#include "output.h"

#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSS_Json.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

namespace ssmsg::tool {
namespace {

constexpr std::size_t kFlushSize = 1 << 16;

}  // namespace

int ReadStandardInput(std::string& text) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t read = ::read(0, buffer, sizeof buffer);
    if (read > 0) {
      text.append(buffer, static_cast<std::size_t>(read));
    } else if (read == 0) {
      return 0;
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

Output::~Output() {
  if (temporary_.empty()) return;
  ::close(fd_);
  ::unlink(temporary_.c_str());
}

bool Output::OpenFile(const std::string& file) {
  std::string name = file + ".XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  // Kept above the standard descriptors: when standard output was closed before the tool
  // started, closing it at the end must not close this file.
  if (fd <= 2) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    if (moved < 0) {
      error_ = errno;
      ::unlink(name.c_str());
      return false;
    }
    fd = moved;
  }
  fd_ = fd;
  file_ = file;
  temporary_ = std::move(name);
  struct stat existing {};
  mode_t mode = 0;
  if (::stat(file.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 0777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(fd_, mode) != 0) error_ = errno;
  return error_ == 0;
}

bool Output::Write(std::string_view text) {
  while (error_ == 0 && !text.empty()) {
    const ssize_t written = ::write(fd_, text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
    } else if (written == 0) {
      error_ = EIO;  // a device that takes nothing would have us loop forever
    } else if (errno != EINTR) {
      error_ = errno;
    }
  }
  return error_ == 0;
}

void Output::Close(bool keep) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (error_ == 0 && (!flushed || std::ferror(stdout))) error_ = errno != 0 ? errno : EIO;
  // EBADF: standard output was closed before the tool started; that is only a loss when
  // something was left to write, which the flush above has already reported.
  if (std::fclose(stdout) != 0 && error_ == 0 && errno != EBADF) error_ = errno;
  CloseFile(keep);
}

void Output::CloseFile(bool keep, bool sync) {
  if (temporary_.empty()) return;
  keep = keep && error_ == 0;
  if (keep && sync && ::fsync(fd_) != 0) error_ = errno;
  if (::close(fd_) != 0 && keep && error_ == 0) error_ = errno;
  if (keep && error_ == 0 && ::rename(temporary_.c_str(), file_.c_str()) != 0) error_ = errno;
  if (!keep || error_ != 0) ::unlink(temporary_.c_str());
  temporary_.clear();
}

bool MessageWriter::Write(std::int32_t interfaceId, std::int32_t node, std::int32_t task,
                          std::string_view message) {
  if (output_.Error() != 0) return false;
  if (format_ == Format::Lines) {
    buffer_.append(message);
    buffer_ += '\n';
  } else {
    buffer_ += written_ == 0 ? "[\n" : ",\n";
    buffer_ += "{\"interface\": ";
    buffer_ += std::to_string(interfaceId);
    if (node >= 0) {
      buffer_ += ", \"node\": ";
      buffer_ += std::to_string(node);
    }
    if (task >= 0) {
      buffer_ += ", \"task\": ";
      buffer_ += std::to_string(task);
    }
    buffer_ += ", \"message\": ";
    AppendJsonString(buffer_, message);
    buffer_ += '}';
  }
  ++written_;
  if (buffer_.size() >= kFlushSize) Flush();
  return output_.Error() == 0;
}

void MessageWriter::Finish() {
  if (format_ == Format::Json) buffer_ += written_ == 0 ? "[]\n" : "\n]\n";
  Flush();
}

void MessageWriter::Flush() {
  output_.Write(buffer_);
  buffer_.clear();
}

std::optional<std::vector<std::uint32_t>> ParseNumberList(std::string_view text) {
  std::vector<std::uint32_t> numbers;
  if (text.empty()) return numbers;
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), number);
    if (item.empty() || error != std::errc() || end != item.data() + item.size()) {
      return std::nullopt;
    }
    numbers.push_back(number);
    if (comma == std::string_view::npos) return numbers;
    text.remove_prefix(comma + 1);
  }
}

std::optional<std::tm> ParseLocalTime(std::string_view text) {
  // Positions of the separators in "YYYY-MM-DDTHH:MM:SS".
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  const auto field = [&text](std::size_t at, std::size_t length, int& value) {
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + length, value);
    return error == std::errc() && end == first + length && *first != '-' && *first != '+';
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!field(0, 4, year) || !field(5, 2, month) || !field(8, 2, day) || !field(11, 2, hour) ||
      !field(14, 2, minute) || !field(17, 2, second)) {
    return std::nullopt;
  }
  return CalendarTime(year, month, day, hour, minute, second);
}

}  // namespace ssmsg::tool
