#include "platform/InputFile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/Win32.h"

// A file is opened so that others may read, write, rename and delete it meanwhile, as POSIX
// allows: a writer can replace a site file that is being read. The descriptors are the C
// runtime's, each over a handle; positioned reads move a synchronous handle's position, so a file
// keeps its reading position itself.

namespace ssmsg {
namespace {

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// The largest read that one ReadFile call is asked for.
constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;

std::int64_t ReadHandle(HANDLE handle, char* data, std::size_t size, const std::uint64_t* offset) {
  if (handle == INVALID_HANDLE_VALUE) return -EBADF;
  OVERLAPPED at{};
  if (offset != nullptr) {
    at.Offset = static_cast<DWORD>(*offset);
    at.OffsetHigh = static_cast<DWORD>(*offset >> 32);
  }
  DWORD got = 0;
  if (::ReadFile(handle, data, static_cast<DWORD>(std::min(size, kMostAtOnce)), &got,
                 offset != nullptr ? &at : nullptr)) {
    return got;
  }
  const DWORD error = ::GetLastError();
  // The end of a file read at an offset, or of a pipe whose writer has closed it.
  if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return 0;
  return -win32::ErrnoOf(error);
}

}  // namespace

std::unique_ptr<InputFile> InputFile::Open(const std::string& name, int& error) {
  std::wstring wide;
  if (!win32::Wide(name, wide)) {
    error = EILSEQ;
    return nullptr;
  }
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = win32::LastErrno();
    // A folder cannot be opened as a file: say what it is, as POSIX does when one is read.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      error = EISDIR;
    return nullptr;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    error = EMFILE;
    ::CloseHandle(handle);
    return nullptr;
  }
  return std::unique_ptr<InputFile>(new InputFile(fd, true));
}

std::unique_ptr<InputFile> InputFile::StandardInput() {
  return std::unique_ptr<InputFile>(new InputFile(0, false));
}

InputFile::~InputFile() {
  if (owned_) ::_close(fd_);
}

std::optional<std::uint64_t> InputFile::Size() const {
  const HANDLE handle = HandleOf(fd_);
  LARGE_INTEGER size{};
  if (!owned_ || ::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) ||
      size.QuadPart < 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::int64_t InputFile::ReadAt(char* data, std::size_t size, std::uint64_t offset) const {
  return ReadHandle(HandleOf(fd_), data, size, &offset);
}

std::int64_t InputFile::Read(char* data, std::size_t size) {
  // Standard input is read from wherever its position stands, as it was handed over.
  if (!owned_) return ReadHandle(HandleOf(fd_), data, size, nullptr);
  const std::int64_t got = ReadHandle(HandleOf(fd_), data, size, &position_);
  if (got > 0) position_ += static_cast<std::uint64_t>(got);
  return got;
}

}  // namespace ssmsg
