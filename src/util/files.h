#pragma once
// Paths beside the executable and whole-file text reading and writing. "/" is the only path
// separator.
#include <sys/types.h>
#include <cstdint>
#include <string>
#include <string_view>

#include <vector>

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

// The file a path finally names, following symbolic links at its last component the way the
// kernel's protected-symlinks rule does in sticky folders, but in every folder: a link is followed
// only when it belongs to the running user or to the owner of the folder that holds it. Links
// inside /proc (such as /dev/stderr's /proc/self/fd/2) are the kernel's own and end the walk.
// Throws Error (kFile) naming the link otherwise, or for more than 40 links in a row.
std::string ResolveTrustedLinks(const std::string& path);

// Opens path for appending (created 0644 when missing) without following an untrusted link and
// without blocking: a FIFO, socket or folder is refused, a character device (/dev/stderr) is
// accepted. Returns the descriptor; throws Error (kFile) with the reason.
int OpenForAppend(const std::string& path);

// The first of candidates that is the same file as path (device and inode, trusted links
// followed); empty when none is, or when path does not exist yet.
std::string SameFileAs(const std::string& path, const std::vector<std::string>& candidates);

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
// target replaced when ResolveTrustedLinks allows it. An existing file keeps its permission bits
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
  std::string target_path_;  // path_, or the file a symbolic link there names
  std::string temp_path_;
  std::string buffer_;
  uint64_t written_ = 0;  // bytes already in the temporary file
  UniqueFd fd_;
  bool committed_ = false;
};

// Whole file as its bytes, unchanged; empty when the file does not exist. Throws Error when an
// existing file cannot be read.
std::string ReadFileBytes(const std::string& path);

// Whole file as UTF-8 text (see DecodeTextFileBytes); empty when the file does not exist.
// Throws Error when an existing file cannot be read.
std::string ReadTextFile(const std::string& path);

// Whole INI file as UTF-8 text with LF line ends; empty when the file does not exist. Throws
// Error when an existing file cannot be read.
std::string ReadIniText(const std::string& path);

// In the text of ReadIniText: the first line whose trimmed, upper-cased key equals the upper-cased
// key; its value untrimmed. default_text when no line has the key.
std::string IniValue(std::string_view ini_text, std::string_view key,
                     std::string_view default_text);

}  // namespace panorello
