#include "util/folder_cause.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "util/files.h"

namespace panorello {

namespace {

std::string AccountName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
  }
  return "uid " + std::to_string(uid);
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string FolderWriteCause(const std::string& path) {
  std::string folder = ParentFolder(path);
  if (folder.empty()) folder = !path.empty() && path.front() == '/' ? "/" : ".";
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return {};
  const int error_number = errno;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  if (error_number == EROFS) {
    return ". La cartella " + folder +
           " è su un file system in sola lettura: scegliere un'altra cartella";
  }
  if (error_number != EACCES && error_number != EPERM) return {};
  return ". La cartella " + folder + " appartiene a " + AccountName(st.st_uid) + " (permessi " +
         ModeText(st.st_mode) + "): l'utente " + AccountName(geteuid()) +
         " non vi può creare file; scegliere un'altra cartella o chiederne i permessi";
}

}  // namespace panorello
