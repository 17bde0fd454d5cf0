#pragma once

// A file read by the library and the tool: a site file (in parts, at any offset, on several
// threads at once), a message log, or standard input. The one place that knows how the system
// reads files.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ssmsg {

class InputFile {
 public:
  // Opens `name` for reading; null, with the errno in `error`, when it cannot be.
  static std::unique_ptr<InputFile> Open(const std::string& name, int& error);
  // Standard input, left open when this goes.
  static std::unique_ptr<InputFile> StandardInput();

  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // The size of a regular file; nothing for a pipe, a device or standard input.
  std::optional<std::uint64_t> Size() const;
  // Reads up to `size` bytes from `offset` into `data`, leaving the file's position alone; any
  // number of threads may do this at once. The bytes read (0 at the end), or minus the errno.
  std::int64_t ReadAt(char* data, std::size_t size, std::uint64_t offset) const;
  // Reads up to `size` bytes from the file's position on. The bytes read (0 at the end), or minus
  // the errno.
  std::int64_t Read(char* data, std::size_t size);

 private:
  InputFile(int fd, bool owned) : fd_(fd), owned_(owned) {}
  int fd_;  // the C runtime's descriptor (on Windows one over the file's handle)
  bool owned_;
  // Where Read goes on, where a positioned read moves the system's own position (Windows; POSIX
  // reads on from the descriptor's own position).
  [[maybe_unused]] std::uint64_t position_ = 0;
};

}  // namespace ssmsg
