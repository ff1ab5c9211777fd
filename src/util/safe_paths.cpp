// The rules for paths that someone else may have prepared: links of other accounts, FIFOs,
// devices, two names of one file, and publishing a finished file without replacing another.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/error.h"
#include "util/files.h"

namespace panorello {

namespace {

[[noreturn]] void ThrowRefused(const std::string& path, const std::string& reason) {
  throw Error("Impossibile scrivere il file " + path + ": " + reason, ErrorKind::kFile);
}

// The folder holding the last component of path, for stat and for joining a relative link.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool InsideProc(const std::string& folder) {
  return folder == "/proc" || folder.rfind("/proc/", 0) == 0;
}

// Same device and inode of the file path names now (links followed by the kernel).
bool StatFollowing(const std::string& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string ResolveTrustedLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat link {};
    if (current.empty() || ::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      return current;
    }
    const std::string folder = FolderOf(current);
    if (InsideProc(folder)) return current;
    struct stat holder {};
    if (::stat(folder.c_str(), &holder) != 0) return current;  // the open reports it
    if (link.st_uid != ::geteuid() && link.st_uid != holder.st_uid) {
      ThrowRefused(path, "è un collegamento simbolico di un altro utente (uid " +
                             std::to_string(link.st_uid) + ") in una cartella di uid " +
                             std::to_string(holder.st_uid) +
                             "; non viene seguito. Eliminare il collegamento o indicare un altro "
                             "percorso");
    }
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = ::readlink(current.c_str(), buffer.data(), buffer.size() - 1);
    if (length <= 0) return current;
    std::string next(buffer.data(), static_cast<size_t>(length));
    if (next[0] != '/') next = AppFile(folder, next);
    current = next;
  }
  ThrowRefused(path, "troppi collegamenti simbolici in sequenza");
}

bool MoveIntoPlaceUnlessPresent(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  int error_number = errno;
  if (error_number == EINVAL || error_number == ENOSYS) {
    // A file system without RENAME_NOREPLACE: a hard link fails the same way when to exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return true;
    }
    error_number = errno;
  }
  if (error_number == EEXIST) return false;
  ThrowRefused(to, std::strerror(error_number));
}

int OpenForAppend(const std::string& path) {
  const std::string target = ResolveTrustedLinks(path);
  // O_NOFOLLOW: a link put in place after the check above is refused, not followed. A link the
  // walk stopped at (inside /proc: the process's own descriptors) is the kernel's and is followed.
  struct stat seen {};
  const bool kernel_link = ::lstat(target.c_str(), &seen) == 0 && S_ISLNK(seen.st_mode);
  // Read access too, so that the writer can look at the last byte; O_NONBLOCK: a FIFO never
  // makes the open wait.
  const int flags =
      O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (kernel_link ? 0 : O_NOFOLLOW);
  int fd = ::open(target.c_str(), flags | O_RDWR, 0644);
  if (fd < 0 && errno == EACCES) fd = ::open(target.c_str(), flags | O_WRONLY, 0644);
  if (fd < 0) {
    const int error_number = errno;
    if (error_number == ELOOP) ThrowRefused(path, "è diventato un collegamento simbolico");
    ThrowRefused(path, std::strerror(error_number));
  }
  struct stat st {};
  const bool accepted =
      fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode) ||
                              (kernel_link && S_ISFIFO(st.st_mode)));  // our own stderr, a pipe
  if (!accepted) {
    ::close(fd);
    ThrowRefused(path, "non è un file ordinario (FIFO, socket o cartella)");
  }
  // Later writes may wait for a slow terminal like any other program's; only the open must not.
  const int status = fcntl(fd, F_GETFL);
  if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

std::string SameFileAs(const std::string& path, const std::vector<std::string>& candidates) {
  struct stat target {};
  std::string resolved;
  try {
    resolved = ResolveTrustedLinks(path);
  } catch (const Error&) {
    return {};  // the writer refuses that path with its own message
  }
  if (!StatFollowing(resolved, target)) return {};
  for (const std::string& candidate : candidates) {
    struct stat st {};
    if (StatFollowing(candidate, st) && st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
      return candidate;
    }
  }
  return {};
}

}  // namespace panorello
