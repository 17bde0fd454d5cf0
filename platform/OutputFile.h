#pragma once

// Where a file that the user names as an output is written: the one way the library and the tool
// write files. What the name is decides how:
//
// - a regular file, or no file yet: a temporary file beside it is written, made durable, and
//   renamed over it when whole, so that whoever opens it finds the old contents or all of the
//   new ones, and the file keeps its permissions (and, where the process may, its owner);
// - a symbolic link, at any depth: the link stays, and its final target is replaced that way, in
//   the target's folder; a link to nothing yet creates its target;
// - a character device, a FIFO or a socket (/dev/null, a named pipe), standard output ("-",
//   /dev/stdout) or another descriptor the process has open (/dev/fd/N): the bytes are written
//   to it straight, as a stream, and nothing in its folder is created, renamed or removed;
// - anything else (a folder, a block device, a folder that cannot be written): refused, with a
//   reason that names it, before anything is written.
//
// Temporary files are named "NAME.ssmsg-tmp.XXXXXX" beside NAME, so that one a killed process
// left behind is recognisable; each is locked while its writer lives, and the first output of a
// process into a folder removes those there whose writer has gone.
//
// On Windows (OutputFile_windows.cpp) the streams are devices (NUL, CON, COM1), pipes
// (\\.\pipe\NAME) and standard output; a replaced file gets its folder's access rights; and a
// file that some process has open cannot be replaced: Commit fails and the file stays as it was.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace ssmsg {

class OutputFile {
 public:
  // The name part that marks a temporary file: "site.db.ssmsg-tmp.Ab12Cd".
  static constexpr std::string_view kTemporaryMark = ".ssmsg-tmp.";

  // What opening an output gives: the output, or why it cannot be written ("it is a folder;
  // name a file", "cannot make a file in the folder out: Permission denied").
  using Opened = Result<std::unique_ptr<OutputFile>, std::string>;

  // Who may read a file that Open makes: whom the umask lets, or its owner alone (for secrets:
  // accounts, tokens). A file replaced keeps its permissions either way, and on Windows a new
  // file gets its folder's.
  enum class Readers : unsigned char { Usual, Owner };

  // Opens the output named `name` ("-" is standard output). With `streamable` false, a name
  // that can only be written as a stream (a device, a FIFO, standard output) is refused: a
  // database, which is written through its file name, cannot go there.
  static Opened Open(const std::string& name, bool streamable = true,
                     Readers readers = Readers::Usual);
  // Standard output as it is, even closed: a write to a closed one fails then, not before.
  static std::unique_ptr<OutputFile> StandardOutput();

  // Whether `name` (a file name without its folder) is that of a temporary file:
  // "NAME.ssmsg-tmp.XXXXXX".
  static bool IsTemporaryName(std::string_view name);
  // True the first time the process asks for `folder`, false after: each folder is looked
  // through for abandoned temporary files once per process (a report writes many pages into one).
  static bool FirstLookInto(const std::string& folder);

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes a temporary file that Commit has not renamed.
  ~OutputFile();

  // Whether the bytes go straight to a stream (no temporary file, no rename).
  bool IsStream() const;
  // The file that the bytes are written into: the temporary file, or the stream's name. A writer
  // that opens it by name (SQLite) writes there instead of through Write.
  const std::string& WritePath() const { return writePath_; }
  // The file that is replaced or written: the final target of the name's links.
  const std::string& Target() const { return target_; }

  // Writes all of `text`; false once any write has failed (Error() says why).
  bool Write(std::string_view text);
  // Ends the output. A stream is left open when it is one of the process's standard descriptors
  // and closed otherwise. A temporary file is, when `keep` and nothing has failed, synced to disk
  // with its folder (unless `sync` is false: for files made again at will) and renamed over the
  // target; otherwise it is removed and the target is left as it was. Whether it was kept.
  bool Commit(bool keep, bool sync = true);
  // The errno of the first failure; 0 while everything went well.
  int Error() const { return error_; }

 private:
  OutputFile() = default;
  void RemoveTemporary();

  int fd_ = -1;
  bool ownsFd_ = false;
  bool stream_ = false;
  int error_ = 0;
  std::string target_;
  std::string writePath_;
};

}  // namespace ssmsg
