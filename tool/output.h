#pragma once

// Where the tool's text goes and how it is written, and how the tool reads standard input and its
// number arguments.

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/OutputFile.h"

namespace ssmsg::tool {

// How errors name standard input read as a file (--config -, decode -).
inline constexpr std::string_view kStdinName = "<stdin>";

enum class Format { Lines, Json };

// Everything the tool writes goes through here, to standard output or to a file named by the
// user (written as platform/OutputFile.h says: a file is replaced whole, a device or FIFO is
// streamed into). Every write is checked: after the first one that fails nothing more is
// written, and Error() keeps its errno for the one line that reports it.
class Output {
 public:
  Output() : file_(OutputFile::StandardOutput()) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // From now on writes go to `file` ("-": standard output). False, having said why on standard
  // error, when it cannot be written at all (a folder, a folder that cannot be written, a stream
  // where `streamable` is false); then nothing has been begun.
  bool OpenFile(const std::string& file, bool streamable = true,
                OutputFile::Readers readers = OutputFile::Readers::Usual);
  // Writes all of `text`; false once any write has failed.
  bool Write(std::string_view text);
  // Call once, at the end of the run. Flushes and closes standard output (a file system may
  // report a failed write only then). With a file: when `keep` and nothing has failed, syncs it
  // to disk and puts it in place; otherwise leaves the file as it was.
  void Close(bool keep);
  // The file part of Close alone, standard output left open: for a run that writes several
  // files, each through an Output of its own. Without `sync` the file replaces the old one whole
  // but is not synced to disk first: for many files that are made again at will.
  void CloseFile(bool keep, bool sync = true);
  // The errno of the first failure; 0 while everything was written.
  int Error() const { return error_ != 0 || !file_ ? error_ : file_->Error(); }

 private:
  std::unique_ptr<OutputFile> file_;  // null once closed
  int error_ = 0;                     // of standard output's flush, or of a file now closed
};

// Writes messages to `output` as they are made: one per line, or one JSON array of
// {"interface", "node", "task", "message"} objects. Nothing is written before the first message
// (or Finish), so a command that fails before making messages leaves the output empty.
class MessageWriter {
 public:
  MessageWriter(Format format, Output& output) : format_(format), output_(output) {}
  MessageWriter(const MessageWriter&) = delete;
  MessageWriter& operator=(const MessageWriter&) = delete;
  ~MessageWriter() { Flush(); }

  // `node` and `task` below 0 are left out of a JSON object. False once the output has failed:
  // the caller stops making messages that can no longer be written.
  bool Write(std::int32_t interfaceId, std::int32_t node, std::int32_t task,
             std::string_view message);
  // Closes the JSON array and writes out what is buffered.
  void Finish();

 private:
  void Flush();

  Format format_;
  Output& output_;
  std::string buffer_;
  std::size_t written_ = 0;
};

// Appends all of standard input to `text`; returns 0, or the errno of a read that failed.
int ReadStandardInput(std::string& text);

// "1,2,3": comma-separated unsigned 32-bit decimals; the empty text is the empty list. Returns
// nothing when the text is not such a list.
std::optional<std::vector<std::uint32_t>> ParseNumberList(std::string_view text);

// "YYYY-MM-DDTHH:MM:SS" as a local calendar time; nothing when it is not a real date and time.
std::optional<std::tm> ParseLocalTime(std::string_view text);

}  // namespace ssmsg::tool
