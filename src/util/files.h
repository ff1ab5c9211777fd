#pragma once
// Paths beside the executable and whole-file text reading and writing. "/" is the only path
// separator.
#include <sys/stat.h>
#include <sys/types.h>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "util/error.h"
#include "util/unique_fd.h"

namespace panorello {

// The folder that holds the running executable (from /proc/self/exe), without a final "/".
std::string ExecutableFolder();

// folder + "/" + name (no doubled "/" when folder already ends with one).
std::string AppFile(std::string_view folder, std::string_view name);

// True for an existing regular file (links followed); false for anything else. Never throws.
bool FileExists(const std::string& path);

// Text before the last "/", or empty when there is none.
std::string ParentFolder(std::string_view path);

// Creates every missing folder of the chain. Throws Error naming the path on failure.
void EnsureFolder(const std::string& folder);

// A path refused because another account could steer it (a link of another account on the way).
class RefusedPath : public Error {
 public:
  explicit RefusedPath(const std::string& description) : Error(description, ErrorKind::kFile) {}
};

// This thread's file-system identity (setfsuid/setfsgid) for the object's lifetime; the old one
// comes back when it ends. Only a root process changes anything. Per thread: set it on the
// thread that does the open, rename or removal.
class FileSystemIdentity {
 public:
  FileSystemIdentity(uid_t uid, gid_t gid);
  ~FileSystemIdentity();
  FileSystemIdentity(const FileSystemIdentity&) = delete;
  FileSystemIdentity& operator=(const FileSystemIdentity&) = delete;
  // The owner of folder when root writes into another account's folder: root then creates,
  // replaces and removes there only what that account could.
  static FileSystemIdentity OwnerOf(const struct stat& folder);
  // The running user's own identity (a root process back to root).
  static FileSystemIdentity Running();

 private:
  bool active_ = false;
  uid_t old_uid_ = 0;
  gid_t old_gid_ = 0;
};

// Where a file the program writes will be: the folder that holds it, reached from "/" (or the
// current folder) one component at a time with O_NOFOLLOW, and its last name. A symbolic link on
// the way, the last component included, is followed only when it belongs to the running user or
// to root; links inside /proc are the kernel's own. The folder stays open, so whatever is renamed
// meanwhile, later opens land in the folder that was checked. Throws RefusedPath reading
// "Impossibile scrivere il file <path>: ..." naming the refused link and its owner, or Error
// (kFile) with the reason.
class WritePlace {
 public:
  // create_folders: missing folders are made (by root as the owner of the folder holding them).
  WritePlace(const std::string& path, bool create_folders);
  WritePlace(const WritePlace&) = delete;
  WritePlace& operator=(const WritePlace&) = delete;

  int Folder() const { return folder_.Get(); }  // an O_PATH descriptor, for the *at calls
  const std::string& Name() const { return name_; }
  const struct stat& FolderStat() const { return folder_stat_; }
  // Name() is a link in /proc (such as /dev/stderr's /proc/self/fd/2): open it following.
  bool KernelLink() const { return kernel_link_; }
  // A path to `name` in the checked folder for code that takes paths ("/proc/self/fd/N/name").
  std::string PinnedPath(std::string_view name) const;

 private:
  UniqueFd folder_;
  std::string name_;
  struct stat folder_stat_ {};
  bool kernel_link_ = false;
};

// Makes sure folder exists, reached and created as WritePlace does. Throws Error (kFile).
void EnsureWritableFolder(const std::string& folder);

// An unnamed file (O_TMPFILE, read and write) in folder, reached as WritePlace does and created as
// the folder's owner (a named one removed at once where the file system has no unnamed files).
// Throws Error (kFile) when the folder is refused; returns -1 with errno set when the open fails.
int OpenAnonymousFileIn(const std::string& folder);

// Opens path for appending (created 0644 when missing, with its missing folders) as WritePlace
// reaches it, without blocking: a FIFO, socket or folder is refused, a character device
// (/dev/stderr) is accepted. Returns the descriptor; throws Error (kFile) with the reason.
int OpenForAppend(const std::string& path);

// The first of candidates that is the same file as path (device and inode, trusted links
// followed); empty when none is, or when path does not exist yet.
std::string SameFileAs(const std::string& path, const std::vector<std::string>& candidates);

// The first of folders that holds the file path names (its folder's device and inode); empty
// when none does.
std::string FolderHolding(const std::string& path, const std::vector<std::string>& folders);

// A name for a temporary file beside path: its folder, "." + its name + "." + six random
// characters. Create it with O_EXCL.
std::string TemporaryPathBeside(const std::string& path);

// Moves from into place at to unless a file is there already (then from is left alone and false
// is returned). Throws Error naming to on any other failure.
bool MoveIntoPlaceUnlessPresent(const std::string& from, const std::string& to);

// What a replaced file's permission bits become.
enum class ModeRule {
  kKeepExisting,  // an existing file keeps its bits; a new one gets the given mode
  kAlways,        // the given mode, whatever the old file had (files holding secrets)
};

// Writes a whole file atomically: a temporary file in the same folder, every write and the close
// checked, fsync, then rename over the target. On failure the old file is untouched, the temporary
// file removed and Error raised (path and system reason). A symbolic link at path is kept and its
// target replaced when WritePlace allows it; root writes into another account's folder as that
// account. An existing file keeps its permission bits
// unless rule says kAlways; a new one gets new_file_mode (subject to the umask).
void WriteTextFile(const std::string& path, std::string_view text, mode_t new_file_mode = 0644,
                   ModeRule rule = ModeRule::kKeepExisting);

// Streaming form of the same atomic replace, for large pages: Append as often as needed, then
// Commit. Destroying it without Commit removes the temporary file and leaves the target untouched.
// The temporary file (".name.XXXXXX" beside the target) is locked while it is written; opening a
// writer removes the unlocked, older leftovers of the same target (a process killed mid-write).
// Append and Commit refuse once an interruption has been requested (util/interrupt.h).
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path, mode_t new_file_mode = 0644,
                            ModeRule rule = ModeRule::kKeepExisting);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Append(std::string_view text);
  // Bytes appended so far (the length the file will have).
  uint64_t Size() const { return written_ + buffer_.size(); }
  // Drops everything appended after the first size bytes (size <= Size()), so that a piece that
  // failed half-way can be replaced. Throws Error like Append.
  void TruncateTo(uint64_t size);
  void Commit();
  const std::string& Path() const { return path_; }

 private:
  void Flush();
  void WriteAll(std::string_view bytes);
  void Abandon() noexcept;
  std::string path_;
  std::unique_ptr<WritePlace> place_;  // the folder of the target and its name
  std::string temp_name_;
  std::string buffer_;
  uint64_t written_ = 0;  // bytes already in the temporary file
  UniqueFd fd_;
  bool committed_ = false;
};

// Whole file as its bytes, unchanged; empty when the file does not exist. Throws Error when an
// existing file cannot be read.
std::string ReadFileBytes(const std::string& path);

// A file the program keeps its settings or blocks in: its bytes, or empty when nothing has that
// name. Throws Error (kConfig) when something is there that cannot be read as a regular file (a
// folder, FIFO, device, a dangling link or a link to any of those, no permission).
std::string ReadStoredFileBytes(const std::string& path);

// Whole file as UTF-8 text (see DecodeTextFileBytes); empty when the file does not exist.
// Throws Error when an existing file cannot be read.
std::string ReadTextFile(const std::string& path);

// Whole INI file as UTF-8 text with LF line ends, read as ReadStoredFileBytes does.
std::string ReadIniText(const std::string& path);

// In the text of ReadIniText: the first line whose trimmed, upper-cased key equals the upper-cased
// key; its value untrimmed. default_text when no line has the key.
std::string IniValue(std::string_view ini_text, std::string_view key,
                     std::string_view default_text);

}  // namespace panorello
