#include "db/odbc/psqlodbc_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace panorello {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// psqlodbc_<program>_<user><pid>.log, the user's name ending just before the pid.
bool IsOwnLogName(const std::string& name, const std::string& pid_suffix) {
  constexpr std::string_view kPrefix = "psqlodbc_";
  if (!name.starts_with(kPrefix) || !name.ends_with(pid_suffix)) return false;
  if (name.size() <= kPrefix.size() + pid_suffix.size()) return false;
  const char before = name[name.size() - pid_suffix.size() - 1];
  return before < '0' || before > '9';
}

}  // namespace

void RemoveOwnPsqlOdbcLogs(const std::string& folder) {
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return;
  const std::string pid_suffix = std::to_string(::getpid()) + ".log";
  const int dir_fd = dirfd(dir.get());
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (!IsOwnLogName(name, pid_suffix)) continue;
    struct stat st {};
    if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == ::geteuid()) {
      unlinkat(dir_fd, name.c_str(), 0);
    }
  }
}

}  // namespace panorello
