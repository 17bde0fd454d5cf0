#include "platform/OutputFile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include "platform/Win32.h"

// How Windows gives what OutputFile.h promises:
// - A temporary file is held open, shared for reading, writing and deleting, from its making until
//   it has its final name: MoveFileExW renames it through the open handle. A file that some
//   process holds open cannot be opened exclusively, which tells a living writer's temporary file
//   from one that a writer killed left behind.
// - The rename is MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), after
//   FlushFileBuffers: the old file or all of the new one, on disk when it returns.
// - Devices (NUL, CON, COM1) and named pipes (\\.\pipe\NAME) are streamed into; a symbolic link
//   that leads to a file has that file replaced. A replaced file's security and attributes are
//   not carried over: the new one gets its folder's, as any new file there.

namespace ssmsg {
namespace {

constexpr const char* kSidecars[] = {"-journal", "-wal", "-shm"};  // SQLite's files beside a db
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr const char* kNotStreamable =
    "it is a stream (a device, a pipe or standard output): a database cannot be written into "
    "one; name a file";

std::string Describe(const std::string& what, int error) {
  return what + (error != 0 ? std::string(": ") + std::strerror(error) : "");
}

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// The folder that holds `path`: "." for a bare name, "C:\" for a name in a drive's root.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) {
    return path.size() > 1 && path[1] == ':' ? path.substr(0, 2) : std::string(".");
  }
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

// Whether `path` names a pipe: \\.\pipe\NAME (or \\?\pipe\NAME), either slash.
bool IsPipeName(std::string_view path) {
  if (path.size() < 9 || !IsSeparator(path[0]) || !IsSeparator(path[1]) ||
      (path[2] != '.' && path[2] != '?') || !IsSeparator(path[3]) || !IsSeparator(path[8])) {
    return false;
  }
  std::string word(path.substr(4, 4));
  std::transform(word.begin(), word.end(), word.begin(),
                 [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return word == "pipe";
}

// The name of the file that a symbolic link `handle` was opened through leads to, as a plain
// path when it has a drive letter.
bool FinalName(HANDLE handle, std::string& name) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return false;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length + 1);
  }
  if (path.starts_with(L"\\\\?\\") && path.size() > 6 && path[5] == L':') path.erase(0, 4);
  name = win32::Utf8(path);
  return true;
}

// Wraps a handle in a C runtime descriptor; closes it and gives -1 when it cannot.
int Descriptor(HANDLE handle) {
  const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

void DeleteWithSidecars(const std::string& path) {
  std::wstring wide;
  for (const std::string& name :
       {path, path + kSidecars[0], path + kSidecars[1], path + kSidecars[2]}) {
    if (win32::Wide(name, wide)) ::DeleteFileW(wide.c_str());
  }
}

// Removes the temporary files in the folder of `target` that no living writer holds open: only
// those can be opened exclusively.
void RemoveAbandoned(const std::string& target) {
  const std::string folder = FolderOf(target);
  if (!OutputFile::FirstLookInto(folder)) return;
  // "C:" is the current folder of drive C: its files are "C:NAME".
  const std::string prefix =
      IsSeparator(folder.back()) || folder.back() == ':' ? folder : folder + "\\";
  std::wstring pattern;
  if (!win32::Wide(prefix + "*" + std::string(OutputFile::kTemporaryMark) + "*", pattern)) return;
  WIN32_FIND_DATAW entry{};
  const HANDLE find = ::FindFirstFileW(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = win32::Utf8(entry.cFileName);
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        !OutputFile::IsTemporaryName(name)) {
      continue;
    }
    const std::string path = prefix + name;
    std::wstring wide;
    if (!win32::Wide(path, wide)) continue;
    const HANDLE file = ::CreateFileW(wide.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;  // held by its writer, or not ours to remove
    ::CloseHandle(file);
    DeleteWithSidecars(path);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
}

// Six letters or digits, different in every call of every process.
std::string UniqueSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}() ^ ::GetCurrentProcessId()};
  std::uint64_t bits = 0;
  {
    const std::lock_guard lock(mutex);
    bits = random();
  }
  std::string suffix(6, ' ');
  for (char& c : suffix) {
    c = kAlphabet[bits % (sizeof kAlphabet - 1)];
    bits /= sizeof kAlphabet - 1;
  }
  return suffix;
}

// Makes the temporary file beside `target`, open for writing; its name goes into `path`. The
// Windows error when it cannot.
HANDLE MakeTemporary(const std::string& target, std::string& path, DWORD& error) {
  for (int attempt = 0;; ++attempt) {
    path = target + std::string(OutputFile::kTemporaryMark) + UniqueSuffix();
    std::wstring wide;
    if (!win32::Wide(path, wide)) {
      error = ERROR_INVALID_NAME;
      return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    error = ::GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100)
      return INVALID_HANDLE_VALUE;
  }
}

}  // namespace

OutputFile::Opened OutputFile::Open(const std::string& name, bool streamable, Readers) {
  std::unique_ptr<OutputFile> file(new OutputFile);
  const auto refuse = [](const std::string& what, int error = 0) -> Opened {
    return Failure{Describe(what, error)};
  };
  // Streams into the device or pipe `wide`.
  const auto stream = [&](const std::wstring& wide) {
    if (!streamable) return refuse(kNotStreamable);
    const HANDLE handle =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return refuse("cannot open it", win32::LastErrno());
    file->fd_ = Descriptor(handle);
    if (file->fd_ < 0) return refuse("cannot open it", EMFILE);
    file->ownsFd_ = true;
    file->stream_ = true;
    file->target_ = file->writePath_ = name;
    return Opened(std::move(file));
  };

  if (name.empty()) return refuse("no file name");
  if (name == "-") {
    if (!streamable) return refuse(kNotStreamable);
    return StandardOutput();
  }
  std::wstring wide;
  if (!win32::Wide(name, wide)) return refuse("the name is not UTF-8");
  if (IsPipeName(name)) return stream(wide);

  // What the name is, looked at through a handle that may neither read nor write it (opening a
  // device that way has no effect on it); a link is followed to what it leads to.
  std::string target = name;
  const HANDLE handle = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const DWORD type = ::GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION information{};
    const bool described = ::GetFileInformationByHandle(handle, &information) != 0;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    const bool link =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool followed = !link || FinalName(handle, target);
    const DWORD followError = followed ? 0 : ::GetLastError();
    ::CloseHandle(handle);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) return stream(wide);
    if (type != FILE_TYPE_DISK || !described) return refuse("it is neither a file nor a stream");
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return refuse("it is a folder; name a file");
    if (!followed) return refuse("cannot follow its link", win32::ErrnoOf(followError));
  } else {
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      return refuse("cannot follow its link", win32::ErrnoOf(error));
    // A name not there yet is made; a folder that is not there is said when the file cannot be.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
      return refuse("cannot look at it", win32::ErrnoOf(error));
  }

  RemoveAbandoned(target);
  std::string temporary;
  DWORD error = 0;
  const HANDLE made = MakeTemporary(target, temporary, error);
  if (made == INVALID_HANDLE_VALUE)
    return refuse("cannot make a file in the folder " + FolderOf(target), win32::ErrnoOf(error));
  file->fd_ = Descriptor(made);
  if (file->fd_ < 0) {
    DeleteWithSidecars(temporary);
    return refuse("cannot make a file in the folder " + FolderOf(target), EMFILE);
  }
  file->ownsFd_ = true;
  file->target_ = std::move(target);
  file->writePath_ = std::move(temporary);
  return file;
}

OutputFile::~OutputFile() {
  if (ownsFd_ && fd_ >= 0) ::_close(fd_);
  ownsFd_ = false;
  if (!stream_ && !writePath_.empty()) RemoveTemporary();
}

bool OutputFile::IsStream() const {
  return stream_;
}

bool OutputFile::Write(std::string_view text) {
  const HANDLE handle = HandleOf(fd_);
  if (error_ == 0 && !text.empty() && handle == INVALID_HANDLE_VALUE) error_ = EBADF;
  while (error_ == 0 && !text.empty()) {
    DWORD written = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(text.size(), std::size_t{1} << 30));
    if (!::WriteFile(handle, text.data(), size, &written, nullptr)) {
      error_ = win32::LastErrno();
    } else if (written == 0) {
      error_ = EIO;  // a device that takes nothing would have us loop forever
    } else {
      text.remove_prefix(written);
    }
  }
  return error_ == 0;
}

bool OutputFile::Commit(bool keep, bool sync) {
  if (stream_) {
    if (ownsFd_ && ::_close(fd_) != 0 && error_ == 0) error_ = errno;
    ownsFd_ = false;
    return keep && error_ == 0;
  }
  if (writePath_.empty()) return false;  // committed already
  keep = keep && error_ == 0;
  if (keep && sync && !::FlushFileBuffers(HandleOf(fd_))) error_ = win32::LastErrno();
  if (keep && error_ == 0) {
    std::wstring from;
    std::wstring to;
    if (!win32::Wide(writePath_, from) || !win32::Wide(target_, to)) {
      error_ = EILSEQ;
    } else if (!::MoveFileExW(from.c_str(), to.c_str(),
                              MOVEFILE_REPLACE_EXISTING | (sync ? MOVEFILE_WRITE_THROUGH : 0))) {
      error_ = win32::LastErrno();
    }
  }
  keep = keep && error_ == 0;
  // Closed only now: until the file has its final name, its open handle marks it as a living
  // writer's.
  if (::_close(fd_) != 0 && keep && error_ == 0) error_ = errno;
  ownsFd_ = false;
  if (keep && error_ == 0) {
    writePath_.clear();
  } else {
    RemoveTemporary();
  }
  return keep && error_ == 0;
}

void OutputFile::RemoveTemporary() {
  DeleteWithSidecars(writePath_);
  writePath_.clear();
}

}  // namespace ssmsg
