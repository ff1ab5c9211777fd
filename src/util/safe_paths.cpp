// The rules for paths that someone else may have prepared: links of other accounts, folders of
// other accounts, FIFOs, devices, two names of one file, and publishing a finished file without
// replacing another.
#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "util/error.h"
#include "util/files.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

constexpr int kMaxLinks = 40;
// A name that is never opened: WritePlace of folder + "/" + it reaches folder itself.
constexpr const char* kAnyName = "x";

[[noreturn]] void ThrowRefused(const std::string& path, const std::string& reason) {
  throw Error("Impossibile scrivere il file " + path + ": " + reason, ErrorKind::kFile);
}

bool OnProc(int folder) {
  struct statfs fs {};
  return ::fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

std::string OwnerText(uid_t uid) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(4096);
  const std::string number = "uid " + std::to_string(uid);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return std::string(found->pw_name) + ", " + number;
  }
  return number;
}

// The components of path, in order, put before those already in rest ("" and "." left out).
void PutBefore(std::deque<std::string>& rest, const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = slash + 1;
  }
  rest.insert(rest.begin(), parts.begin(), parts.end());
}

std::string Shown(const std::string& folder, const std::string& part) {
  if (folder.empty()) return "/" + part;
  if (folder == ".") return part;
  return folder + "/" + part;
}

int OpenStart(bool absolute, const std::string& path) {
  const int fd = ::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowRefused(path, std::strerror(errno));
  return fd;
}

std::string ReadLinkAt(int link, const std::string& path, const std::string& shown) {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = ::readlinkat(link, "", buffer.data(), buffer.size() - 1);
  if (length <= 0) ThrowRefused(path, shown + ": " + std::strerror(errno));
  return std::string(buffer.data(), static_cast<size_t>(length));
}

void MakeFolder(int parent, const std::string& name, const std::string& shown) {
  struct stat holder {};
  if (::fstat(parent, &holder) != 0) {
    throw Error("Impossibile creare la cartella " + shown + ": " + std::strerror(errno),
                ErrorKind::kFile);
  }
  const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(holder);
  if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
    throw Error("Impossibile creare la cartella " + shown + ": " + std::strerror(errno),
                ErrorKind::kFile);
  }
}

}  // namespace

FileSystemIdentity::FileSystemIdentity(uid_t uid, gid_t gid) {
  if (::geteuid() != 0) return;  // an ordinary user's rights are its own already
  old_gid_ = static_cast<gid_t>(::setfsgid(gid));
  old_uid_ = static_cast<uid_t>(::setfsuid(uid));
  active_ = true;
  if (static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) != uid) {
    ::setfsuid(old_uid_);
    ::setfsgid(old_gid_);
    active_ = false;
    throw Error("Impossibile scrivere con i permessi dell'utente " + OwnerText(uid) +
                    ": il programma non può cambiare identità (capacità CAP_SETUID mancante)",
                ErrorKind::kFile);
  }
}

FileSystemIdentity::~FileSystemIdentity() {
  if (!active_) return;
  ::setfsuid(old_uid_);
  ::setfsgid(old_gid_);
}

FileSystemIdentity FileSystemIdentity::OwnerOf(const struct stat& folder) {
  if (folder.st_uid == 0) return Running();
  return FileSystemIdentity(folder.st_uid, folder.st_gid);
}

FileSystemIdentity FileSystemIdentity::Running() {
  return FileSystemIdentity(::geteuid(), ::getegid());
}

WritePlace::WritePlace(const std::string& path, bool create_folders) {
  if (path.empty()) ThrowRefused(path, "percorso vuoto");
  const FileSystemIdentity as_us = FileSystemIdentity::Running();
  std::deque<std::string> rest;
  PutBefore(rest, path);
  UniqueFd folder(OpenStart(path[0] == '/', path));
  std::string shown = path[0] == '/' ? "" : ".";
  int links = 0;
  while (!rest.empty()) {
    const std::string part = rest.front();
    rest.pop_front();
    const bool last = rest.empty();
    const std::string here = Shown(shown, part);
    if (part == ".." && !last) {
      folder.Reset(::openat(folder.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (folder.Get() < 0) ThrowRefused(path, here + ": " + std::strerror(errno));
      shown = here;
      continue;
    }
    UniqueFd node(::openat(folder.Get(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (node.Get() < 0) {
      const int error_number = errno;
      if (error_number == ENOENT && last) {
        name_ = part;
        break;
      }
      if (error_number == ENOENT && create_folders) {
        MakeFolder(folder.Get(), part, here);
        rest.push_front(part);
        continue;
      }
      ThrowRefused(path, here + ": " + std::strerror(error_number));
    }
    struct stat st {};
    if (::fstat(node.Get(), &st) != 0) ThrowRefused(path, here + ": " + std::strerror(errno));
    if (S_ISLNK(st.st_mode) && OnProc(folder.Get())) {
      if (last) {
        name_ = part;
        kernel_link_ = true;
        break;
      }
      folder.Reset(::openat(folder.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (folder.Get() < 0) ThrowRefused(path, here + ": " + std::strerror(errno));
      shown = here;
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      if (st.st_uid != ::geteuid() && st.st_uid != 0) {
        throw RefusedPath("Impossibile scrivere il file " + path + ": " + here +
                          " è un collegamento simbolico di un altro utente (" +
                          OwnerText(st.st_uid) +
                          "): non viene seguito. Eliminare il collegamento o indicare un altro "
                          "percorso");
      }
      if (++links > kMaxLinks) ThrowRefused(path, "troppi collegamenti simbolici in sequenza");
      const std::string target = ReadLinkAt(node.Get(), path, here);
      PutBefore(rest, target);
      if (target[0] == '/') {
        folder.Reset(OpenStart(true, path));
        shown = "";
      }
      if (rest.empty()) ThrowRefused(path, std::strerror(EISDIR));
      continue;
    }
    if (last) {
      name_ = part;
      break;
    }
    if (!S_ISDIR(st.st_mode)) ThrowRefused(path, here + " non è una cartella");
    folder.Reset(node.Release());
    shown = here;
  }
  if (name_.empty() || name_ == "..") ThrowRefused(path, std::strerror(EISDIR));
  if (::fstat(folder.Get(), &folder_stat_) != 0) ThrowRefused(path, std::strerror(errno));
  folder_ = std::move(folder);
}

std::string WritePlace::PinnedPath(std::string_view name) const {
  return "/proc/self/fd/" + std::to_string(folder_.Get()) + "/" + std::string(name);
}

void EnsureWritableFolder(const std::string& folder) {
  const WritePlace place(folder.empty() ? kAnyName : AppFile(folder, kAnyName), true);
}

int OpenAnonymousFileIn(const std::string& folder) {
  const WritePlace place(folder.empty() ? kAnyName : AppFile(folder, kAnyName), false);
  const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place.FolderStat());
  const int fd = ::openat(place.Folder(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) return fd;
  // File systems without unnamed files: a named one, removed at once.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryPathBeside("panorello-blocco");
    const int named = ::openat(place.Folder(), name.c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (named >= 0) ::unlinkat(place.Folder(), name.c_str(), 0);
    if (named >= 0 || errno != EEXIST) return named;
  }
  return -1;
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
  const WritePlace place(path, true);
  // O_NOFOLLOW: the name was checked above; a link put there since is refused, not followed.
  // Read access too, so that the writer can look at the last byte; O_NONBLOCK: a FIFO never
  // makes the open wait.
  const int flags = O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                    (place.KernelLink() ? 0 : O_NOFOLLOW);
  int fd = -1;
  {
    const FileSystemIdentity as_owner = place.KernelLink()
                                            ? FileSystemIdentity::Running()
                                            : FileSystemIdentity::OwnerOf(place.FolderStat());
    fd = ::openat(place.Folder(), place.Name().c_str(), flags | O_RDWR, 0644);
    if (fd < 0 && errno == EACCES) {
      fd = ::openat(place.Folder(), place.Name().c_str(), flags | O_WRONLY, 0644);
    }
  }
  if (fd < 0) {
    const int error_number = errno;
    if (error_number == ELOOP) ThrowRefused(path, "è diventato un collegamento simbolico");
    ThrowRefused(path, std::strerror(error_number));
  }
  struct stat st {};
  const bool accepted =
      fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode) ||
                              (place.KernelLink() && S_ISFIFO(st.st_mode)));  // our own stderr
  if (!accepted) {
    ::close(fd);
    ThrowRefused(path, "non è un file ordinario (FIFO, socket o cartella)");
  }
  // Later writes may wait for a slow terminal like any other program's; only the open must not.
  const int status = fcntl(fd, F_GETFL);
  if (status >= 0) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

namespace {

// The file path names, as the writers would reach it; false when it cannot be reached.
bool StatOfPlace(const std::string& path, struct stat& st, struct stat* folder = nullptr) {
  try {
    const WritePlace place(path, false);
    if (folder != nullptr) *folder = place.FolderStat();
    return ::fstatat(place.Folder(), place.Name().c_str(), &st, 0) == 0 || folder != nullptr;
  } catch (const Error&) {
    return false;  // the writer refuses that path with its own message
  }
}

bool Same(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string SameFileAs(const std::string& path, const std::vector<std::string>& candidates) {
  struct stat target {};
  if (path.empty() || !StatOfPlace(path, target)) return {};
  for (const std::string& candidate : candidates) {
    struct stat st {};
    if (!candidate.empty() && ::stat(candidate.c_str(), &st) == 0 && Same(st, target)) {
      return candidate;
    }
  }
  return {};
}

std::string FolderHolding(const std::string& path, const std::vector<std::string>& folders) {
  struct stat target {};
  struct stat holder {};
  if (path.empty() || !StatOfPlace(path, target, &holder)) return {};
  for (const std::string& folder : folders) {
    struct stat st {};
    if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && Same(st, holder)) return folder;
  }
  return {};
}

}  // namespace panorello
