#include "util/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "util/error.h"
#include "util/folder_cause.h"
#include "util/interrupt.h"
#include "util/text.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

std::string SystemReason(int error_number) { return std::strerror(error_number); }

// Every failure to write `path` reads "Impossibile scrivere il file <path>: <reason>".
constexpr const char* kWriteInterrupted = "scrittura interrotta";

[[noreturn]] void ThrowWriteFailure(const std::string& path, const std::string& reason,
                                    ErrorKind kind = ErrorKind::kGeneral) {
  throw Error("Impossibile scrivere il file " + path + ": " + reason, kind);
}

[[noreturn]] void ThrowWriteError(const std::string& path, int error_number) {
  const bool folder_may_be_the_cause =
      error_number == EACCES || error_number == EPERM || error_number == EROFS;
  ThrowWriteFailure(
      path, SystemReason(error_number) + (folder_may_be_the_cause ? FolderWriteCause(path) : ""));
}

// Six characters for a temporary file name, from the kernel's random source.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // Fall back to something that differs between calls; O_EXCL guards against collisions.
    uint64_t seed =
        static_cast<uint64_t>(getpid()) * 2654435761u ^ reinterpret_cast<uintptr_t>(&bytes);
    for (auto& b : bytes) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      b = static_cast<unsigned char>(seed >> 56);
    }
  }
  std::string out;
  for (unsigned char b : bytes) out += kAlphabet[b % (sizeof kAlphabet - 1)];
  return out;
}

[[noreturn]] void ThrowRefused(const std::string& path, const std::string& reason) {
  ThrowWriteFailure(path, reason, ErrorKind::kFile);
}

// The temporary files of earlier writers of target ("." + base + "." + six characters) in the
// place's folder that no process holds locked any more and that are older than a few seconds (a
// writer locks its file right after creating it) are what a killed run left behind: removed.
void RemoveStaleTemporaries(const WritePlace& place, const std::string& base) {
  const int listing = ::openat(place.Folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return;
  }
  const std::string start = "." + base + ".";
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != start.size() + 6 || name.compare(0, start.size(), start) != 0) continue;
    UniqueFd fd(
        ::openat(place.Folder(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (now - st.st_mtime < 10) continue;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;  // a running writer holds it
    const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place.FolderStat());
    ::unlinkat(place.Folder(), name.c_str(), 0);
  }
  ::closedir(dir);
}

}  // namespace

std::string ExecutableFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  std::string exe(buffer.data(), static_cast<size_t>(length));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

std::string AppFile(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode);
}

std::string ParentFolder(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string();
  return std::string(path.substr(0, slash));
}

void EnsureFolder(const std::string& folder) {
  std::string path = Trim(folder);
  if (path.empty()) return;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  std::string current;
  size_t start = 0;
  if (path[0] == '/') {
    current = "/";
    start = 1;
  }
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string_view part = std::string_view(path).substr(start, slash - start);
    start = slash + 1;
    if (part.empty()) continue;
    if (!current.empty() && current.back() != '/') current += '/';
    current += part;
    struct stat st {};
    if (stat(current.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) {
        throw Error("Impossibile creare la cartella " + path + ": " + current +
                    " esiste e non è una cartella");
      }
      continue;
    }
    if (mkdir(current.c_str(), 0777) != 0) {
      int error_number = errno;
      if (error_number == EEXIST && stat(current.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        continue;  // made by someone else meanwhile
      }
      throw Error("Impossibile creare la cartella " + current + ": " + SystemReason(error_number));
    }
  }
}

std::string TemporaryPathBeside(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.size() > 200) base.resize(200);
  return prefix + "." + base + "." + RandomSuffix();
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, mode_t new_file_mode, ModeRule rule)
    : path_(path), place_(std::make_unique<WritePlace>(path, true)) {
  const int folder = place_->Folder();
  const std::string& name = place_->Name();
  std::string base = name;
  if (base.size() > 200) base.resize(200);  // room for the temporary name's additions

  struct stat old {};
  bool exists = ::fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  // Renaming over a folder fails anyway; renaming over a device or a pipe would replace it.
  if (exists && S_ISDIR(old.st_mode)) ThrowWriteError(path_, EISDIR);
  if (exists && !S_ISREG(old.st_mode)) {
    ThrowRefused(path_, "non è un file ordinario (FIFO, dispositivo, socket o collegamento)");
  }
  RemoveStaleTemporaries(*place_, base);
  {
    const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place_->FolderStat());
    for (int attempt = 0; attempt < 100 && !fd_.Valid(); ++attempt) {
      temp_name_ = "." + base + "." + RandomSuffix();
      // The mode goes through the umask here, as for any new file.
      fd_.Reset(::openat(folder, temp_name_.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, new_file_mode));
      if (!fd_.Valid() && errno != EEXIST) break;
    }
  }
  if (!fd_.Valid()) {
    int error_number = errno;
    temp_name_.clear();
    ThrowWriteError(path_, error_number);
  }
  // Held until the file is renamed or removed: tells later writers that it is not a leftover.
  if (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
    int error_number = errno;
    Abandon();
    ThrowWriteError(path_, error_number);
  }
  if (rule == ModeRule::kAlways) {
    if (fchmod(fd_.Get(), new_file_mode & 07777) != 0) {
      int error_number = errno;
      Abandon();
      ThrowWriteError(path_, error_number);
    }
  } else if (exists) {
    // The replacement keeps the permissions (and, where allowed, the owner) of the old file. In
    // another account's folder only what that account may do: it cannot give a file to root.
    const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place_->FolderStat());
    if (fchown(fd_.Get(), old.st_uid, old.st_gid) != 0) {
      // Not allowed for other users' files; the file then belongs to us.
    }
    if (fchmod(fd_.Get(), old.st_mode & 07777) != 0) {
      int error_number = errno;
      Abandon();
      ThrowWriteError(path_, error_number);
    }
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) Abandon();
}

void AtomicFileWriter::Append(std::string_view text) {
  if (!fd_.Valid()) ThrowWriteFailure(path_, kWriteInterrupted);
  ThrowIfInterrupted();
  constexpr size_t kBufferBytes = size_t{1} << 16;
  if (buffer_.empty() && text.size() >= kBufferBytes) {
    WriteAll(text);  // a large piece goes straight to the file, without a copy
    return;
  }
  buffer_.append(text);
  if (buffer_.size() >= kBufferBytes) Flush();
}

void AtomicFileWriter::TruncateTo(uint64_t size) {
  if (!fd_.Valid()) ThrowWriteFailure(path_, kWriteInterrupted);
  if (size > Size()) {
    ThrowWriteFailure(path_, "posizione oltre la fine del file");
  }
  if (size >= written_) {
    buffer_.resize(static_cast<size_t>(size - written_));
    return;
  }
  buffer_.clear();
  if (::ftruncate(fd_.Get(), static_cast<off_t>(size)) != 0 ||
      ::lseek(fd_.Get(), static_cast<off_t>(size), SEEK_SET) < 0) {
    int error_number = errno;
    Abandon();
    ThrowWriteError(path_, error_number);
  }
  written_ = size;
}

void AtomicFileWriter::Flush() {
  WriteAll(buffer_);
  buffer_.clear();
}

void AtomicFileWriter::WriteAll(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      int error_number = errno;
      Abandon();
      ThrowWriteError(path_, error_number);
    }
    done += static_cast<size_t>(written);
    written_ += static_cast<uint64_t>(written);
  }
}

void AtomicFileWriter::Commit() {
  if (!fd_.Valid() || committed_) {
    ThrowWriteFailure(path_, kWriteInterrupted);
  }
  ThrowIfInterrupted();
  Flush();
  if (fsync(fd_.Get()) != 0) {
    int error_number = errno;
    Abandon();
    ThrowWriteError(path_, error_number);
  }
  if (const int error_number = fd_.Close(); error_number != 0) {
    Abandon();
    ThrowWriteError(path_, error_number);
  }
  int renamed = -1;
  {
    const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place_->FolderStat());
    renamed =
        ::renameat(place_->Folder(), temp_name_.c_str(), place_->Folder(), place_->Name().c_str());
  }
  if (renamed != 0) {
    int error_number = errno;
    Abandon();
    ThrowWriteError(path_, error_number);
  }
  committed_ = true;
  temp_name_.clear();
  // Make the rename itself durable; a failure here leaves a complete file either way.
  const int dir = ::openat(place_->Folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
}

void AtomicFileWriter::Abandon() noexcept {
  fd_.Reset();
  if (!temp_name_.empty()) {
    try {
      const FileSystemIdentity as_owner = FileSystemIdentity::OwnerOf(place_->FolderStat());
      ::unlinkat(place_->Folder(), temp_name_.c_str(), 0);
    } catch (...) {
      // Without the owner's identity the leftover stays for the next writer to remove.
    }
    temp_name_.clear();
  }
  buffer_.clear();
}

void WriteTextFile(const std::string& path, std::string_view text, mode_t new_file_mode,
                   ModeRule rule) {
  AtomicFileWriter writer(path, new_file_mode, rule);
  writer.Append(text);
  writer.Commit();
}

std::string ReadTextFile(const std::string& path) {
  return DecodeTextFileBytes(ReadFileBytes(path));
}

namespace {

std::string ReadAll(int fd, const std::string& path) {
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Error("Impossibile leggere il file " + path + ": " + SystemReason(errno));
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  if (!FileExists(path)) return std::string();
  // O_NONBLOCK: a FIFO put in place after the check above does not make the open wait.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) {
    throw Error("Impossibile leggere il file " + path + ": " + SystemReason(errno));
  }
  return ReadAll(fd.Get(), path);
}

std::string ReadStoredFileBytes(const std::string& path) {
  struct stat st {};
  if (path.empty() || (::lstat(path.c_str(), &st) != 0 && errno == ENOENT)) return {};
  const auto refuse = [&path](const std::string& reason) {
    throw Error("Impossibile leggere il file " + path + ": " + reason +
                    ". Il file esiste ma non è un file ordinario leggibile: controllare che sia un "
                    "file di testo e i suoi permessi, oppure spostarlo",
                ErrorKind::kConfig);
  };
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.Get() < 0) refuse(SystemReason(errno));
  if (::fstat(fd.Get(), &st) != 0) refuse(SystemReason(errno));
  if (S_ISDIR(st.st_mode)) refuse("è una cartella");
  if (!S_ISREG(st.st_mode)) refuse("è una FIFO, un dispositivo o un socket");
  const int status = fcntl(fd.Get(), F_GETFL);
  if (status >= 0) fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK);
  return ReadAll(fd.Get(), path);
}

std::string ReadIniText(const std::string& path) {
  return NormalizeNewlines(DecodeTextFileBytes(ReadStoredFileBytes(path)));
}

std::string IniValue(std::string_view ini_text, std::string_view key,
                     std::string_view default_text) {
  const std::string wanted = UpperCase(key);
  std::string_view rest = ini_text;
  for (;;) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    size_t equals = line.find('=');
    if (equals != std::string_view::npos && !Trim(line).empty()) {
      if (UpperCase(Trim(line.substr(0, equals))) == wanted) {
        return std::string(line.substr(equals + 1));
      }
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return std::string(default_text);
}

}  // namespace panorello
