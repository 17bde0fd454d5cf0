#include "platform/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace ssmsg {
namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on a path's links
constexpr const char* kSidecars[] = {"-journal", "-wal", "-shm"};  // SQLite's files beside a db

std::string Describe(const std::string& what, int error) {
  return what + (error != 0 ? std::string(": ") + std::strerror(error) : "");
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The descriptor N that "/proc/self/fd/N" or "/proc/PID/fd/N" (this process) names, or -1.
int OwnDescriptor(std::string_view path) {
  constexpr std::string_view kProc = "/proc/";
  if (!path.starts_with(kProc)) return -1;
  path.remove_prefix(kProc.size());
  const std::string self = std::to_string(::getpid());
  if (path.starts_with("self/")) {
    path.remove_prefix(5);
  } else if (path.starts_with(self + "/")) {
    path.remove_prefix(self.size() + 1);
  } else {
    return -1;
  }
  if (!path.starts_with("fd/")) return -1;
  path.remove_prefix(3);
  int fd = -1;
  const auto [end, error] = std::from_chars(path.data(), path.data() + path.size(), fd);
  return error == std::errc() && end == path.data() + path.size() && fd >= 0 ? fd : -1;
}

// Follows the symbolic links of `path`, those of its folders and its own, to a name in a real
// folder that is not a link (or not there yet). A link into /proc/PID/fd is where the chain
// ends: those name open descriptors, not files. False, with the reason, when there is no such
// name.
bool ResolveLinks(std::string& path, std::string& reason) {
  for (int links = 0;; ++links) {
    const std::string folder = FolderOf(path);
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr),
                                                     &std::free);
    if (!real) {
      reason = Describe("cannot make a file in the folder " + folder, errno);
      return false;
    }
    const std::string_view base = std::string_view(path).substr(path.rfind('/') + 1);
    path = (std::string_view(real.get()) == "/" ? std::string() : std::string(real.get())) + "/" +
           std::string(base);
    if (OwnDescriptor(path) >= 0) return true;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return true;  // a name not there yet is made
      reason = Describe("cannot look at it", errno);
      return false;
    }
    if (!S_ISLNK(status.st_mode)) return true;
    if (links == kMaxLinks) {
      reason = Describe("cannot follow its links", ELOOP);
      return false;
    }
    std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
      reason = Describe("cannot follow its links", errno);
      return false;
    }
    target.resize(static_cast<std::size_t>(length));
    path = target.starts_with('/') ? target : FolderOf(path) + "/" + target;
  }
}

// Keeps a new descriptor above the standard ones: when standard output was closed before the
// process started, closing it at the end must not close this file.
int AboveStandard(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int error = errno;
  ::close(fd);
  errno = error;
  return moved;
}

void RemoveWithSidecars(const std::string& path) {
  ::unlink(path.c_str());
  for (const char* sidecar : kSidecars)
    ::unlink((path + sidecar).c_str());
}

// Removes the temporary files in the folder of `target` that no living writer holds: each
// writer keeps its temporary file locked, and the lock goes with the process however it ends.
void RemoveAbandoned(const std::string& target) {
  const std::string folder = FolderOf(target);
  if (!OutputFile::FirstLookInto(folder)) return;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!OutputFile::IsTemporaryName(name)) continue;
    const std::string path = folder + "/" + std::string(name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      RemoveWithSidecars(path);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// Makes the locked temporary file beside `target`; its name goes into `path`.
int MakeTemporary(const std::string& target, std::string& path) {
  for (;;) {
    path = target + std::string(OutputFile::kTemporaryMark) + "XXXXXX";
    const int fd = AboveStandard(::mkostemp(path.data(), O_CLOEXEC));
    if (fd < 0) return -1;
    // Another writer's clean-up may have taken the file between its making and its locking.
    struct stat held {};
    struct stat named {};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      return fd;
    }
    ::close(fd);
  }
}

// Connects to the socket `path`, for writing a stream into it.
int ConnectSocket(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return AboveStandard(fd);
}

}  // namespace

OutputFile::Opened OutputFile::Open(const std::string& name, bool streamable, Readers readers) {
  std::unique_ptr<OutputFile> file(new OutputFile);
  const auto refuse = [](const std::string& what, int error = 0) -> Opened {
    return Failure{Describe(what, error)};
  };
  constexpr const char* kNotStreamable =
      "it is a stream (a device, a FIFO, a socket or standard output): a database cannot be "
      "written into one; name a file";
  const auto stream = [&](int fd, bool owned) {
    file->fd_ = fd;
    file->ownsFd_ = owned;
    file->stream_ = true;
    file->writePath_ = file->target_;
    return Opened(std::move(file));
  };

  if (name.empty()) return refuse("no file name");
  std::string target = name == "-" ? "/proc/self/fd/1" : name;
  if (std::string why; !ResolveLinks(target, why)) return Failure{std::move(why)};
  file->target_ = name == "-" ? std::string("-") : target;
  if (const int own = OwnDescriptor(target); own >= 0) {
    if (!streamable) return refuse(kNotStreamable);
    if (::fcntl(own, F_GETFD) < 0) return refuse("no such open file", errno);
    return stream(own, false);
  }

  struct stat status {};
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (!exists && errno != ENOENT && errno != ENOTDIR) return refuse("cannot look at it", errno);
  if (exists && S_ISDIR(status.st_mode)) return refuse("it is a folder; name a file");
  if (exists && S_ISSOCK(status.st_mode)) {
    if (!streamable) return refuse(kNotStreamable);
    const int fd = ConnectSocket(target);
    if (fd < 0) return refuse("cannot connect to the socket", errno);
    return stream(fd, true);
  }
  if (exists && (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode))) {
    if (!streamable) return refuse(kNotStreamable);
    // A FIFO waits here until a reader opens it, as a shell's redirection does.
    const int fd = AboveStandard(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
    if (fd < 0) return refuse("cannot open it", errno);
    return stream(fd, true);
  }
  if (exists && !S_ISREG(status.st_mode)) return refuse("it is neither a file nor a stream");

  RemoveAbandoned(target);
  std::string temporary;
  const int fd = MakeTemporary(target, temporary);
  if (fd < 0) return refuse("cannot make a file in the folder " + FolderOf(target), errno);
  file->fd_ = fd;
  file->ownsFd_ = true;
  file->writePath_ = std::move(temporary);
  // The new file gets the old one's permissions and owner, or those a new file gets: a new
  // secret its owner's alone.
  mode_t mode = 0;
  if (exists) {
    mode = status.st_mode & 0777;
  } else if (readers == Readers::Owner) {
    mode = 0600;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (exists) {
    if (::fchown(fd, status.st_uid, status.st_gid) != 0 && errno != EPERM) {
      // Only a process that may not give the file away keeps its own ownership.
    }
  }
  if (::fchmod(fd, mode) != 0) return refuse("cannot set the permissions of a new file", errno);
  return file;
}

OutputFile::~OutputFile() {
  if (!stream_ && !writePath_.empty()) RemoveTemporary();
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool OutputFile::IsStream() const {
  return stream_;
}

bool OutputFile::Write(std::string_view text) {
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

bool OutputFile::Commit(bool keep, bool sync) {
  if (stream_) {
    if (ownsFd_ && ::close(fd_) != 0 && error_ == 0) error_ = errno;
    ownsFd_ = false;
    return keep && error_ == 0;
  }
  if (writePath_.empty()) return false;  // committed already
  keep = keep && error_ == 0;
  if (keep && sync && ::fsync(fd_) != 0) error_ = errno;
  if (keep && error_ == 0 && ::rename(writePath_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (keep && error_ == 0) {
    writePath_.clear();
    if (sync) {
      // The rename itself is made durable with the folder that holds it.
      const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
      }
    }
  } else {
    RemoveTemporary();
  }
  // Closed last: the lock on the temporary file holds until it has its final name.
  if (::close(fd_) != 0 && keep && error_ == 0) error_ = errno;
  ownsFd_ = false;
  return keep && error_ == 0;
}

void OutputFile::RemoveTemporary() {
  RemoveWithSidecars(writePath_);
  writePath_.clear();
}

}  // namespace ssmsg
