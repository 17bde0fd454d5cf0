#include "output.h"

#include <ssmsg/CSS_Clock.h>
#include <ssmsg/Json.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "platform/InputFile.h"

namespace ssmsg::tool {
namespace {

constexpr std::size_t kFlushSize = 1 << 16;

}  // namespace

int ReadStandardInput(std::string& text) {
  const std::unique_ptr<InputFile> in = InputFile::StandardInput();
  char buffer[1 << 16];
  for (;;) {
    const std::int64_t read = in->Read(buffer, sizeof buffer);
    if (read == 0) return 0;
    if (read < 0) return static_cast<int>(-read);
    text.append(buffer, static_cast<std::size_t>(read));
  }
}

bool Output::OpenFile(const std::string& file, bool streamable, OutputFile::Readers readers) {
  OutputFile::Opened opened = OutputFile::Open(file, streamable, readers);
  if (!opened) {
    std::fprintf(stderr, "ssmsg: cannot write %s: %s\n", file.c_str(), opened.error().c_str());
    return false;
  }
  file_ = std::move(*opened);
  return true;
}

bool Output::Write(std::string_view text) {
  return error_ == 0 && file_ && file_->Write(text);
}

void Output::Close(bool keep) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (error_ == 0 && (!flushed || std::ferror(stdout))) error_ = errno != 0 ? errno : EIO;
  // Done before standard output is closed: that may be the file's stream.
  CloseFile(keep);
  // EBADF: standard output was closed before the tool started; that is only a loss when
  // something was left to write, which the flush above has already reported.
  if (std::fclose(stdout) != 0 && error_ == 0 && errno != EBADF) error_ = errno;
}

void Output::CloseFile(bool keep, bool sync) {
  if (!file_) return;
  file_->Commit(keep && error_ == 0, sync);
  if (error_ == 0) error_ = file_->Error();
  file_.reset();
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
