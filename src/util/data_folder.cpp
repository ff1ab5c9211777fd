#include "util/data_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "util/error.h"
#include "util/files.h"

namespace panorello {

namespace {

constexpr const char* kCheck = "Controllare HOME, XDG_CONFIG_HOME o PANORELLO_HOME.";

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

std::string WithoutFinalSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// mkdir of every missing folder of the chain, each with `mode`.
void CreateFolderChain(const std::string& folder, mode_t mode) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return;
    throw Error("Impossibile creare la cartella dei dati " + folder +
                    ": esiste già un file con quel nome. " + kCheck,
                ErrorKind::kFile);
  }
  const std::string parent = ParentFolder(folder);
  if (!parent.empty() && parent != folder) CreateFolderChain(parent, mode);
  if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
    throw Error("Impossibile creare la cartella dei dati " + folder + ": " + std::strerror(errno) +
                    ". " + kCheck,
                ErrorKind::kFile);
  }
}

// A portable install keeps its files beside the executable: any of them there, even one that
// cannot be read (start-up then says so rather than taking another folder).
bool IsPortableFolder(const std::string& folder) {
  for (const char* name : {"config.ini", "blocks.ini", "blocks_demo.ini"}) {
    struct stat st {};
    if (::lstat(AppFile(folder, name).c_str(), &st) == 0) return true;
  }
  return false;
}

}  // namespace

ProcessEnvironment ProcessEnvironment::FromProcess() {
  ProcessEnvironment env;
  env.panorello_home = Variable("PANORELLO_HOME");
  env.xdg_config_home = Variable("XDG_CONFIG_HOME");
  env.home = Variable("HOME");
  env.jobs = Variable("PANORELLO_JOBS");
  env.graphical_session = !Variable("DISPLAY").empty() || !Variable("WAYLAND_DISPLAY").empty();
  return env;
}

std::string ChooseDataFolder(const ProcessEnvironment& env, const std::string& executable_folder) {
  if (!env.panorello_home.empty()) {
    const std::string folder = WithoutFinalSlash(env.panorello_home);
    CreateFolderChain(folder, 0700);
    return folder;
  }
  if (IsPortableFolder(executable_folder)) return executable_folder;
  // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
  std::string config_home = env.xdg_config_home;
  if (config_home.empty() || config_home.front() != '/') {
    if (env.home.empty()) {
      throw Error("Impossibile stabilire la cartella dei dati: la cartella del programma (" +
                      executable_folder +
                      ") non contiene config.ini, blocks.ini né blocks_demo.ini e HOME non è "
                      "impostata. Impostare PANORELLO_HOME con una cartella scrivibile.",
                  ErrorKind::kConfig);
    }
    config_home = WithoutFinalSlash(env.home) + "/.config";
  }
  const std::string folder = AppFile(WithoutFinalSlash(config_home), "panorello");
  CreateFolderChain(folder, 0700);
  return folder;
}

std::vector<std::string> ShippedDataFolders(const std::string& data_folder,
                                            const std::string& executable_folder,
                                            const std::string& installed_data_folder) {
  std::vector<std::string> folders;
  for (const std::string& f : {executable_folder, installed_data_folder}) {
    if (f.empty() || f == data_folder) continue;
    if (std::find(folders.begin(), folders.end(), f) != folders.end()) continue;
    folders.push_back(f);
  }
  return folders;
}

}  // namespace panorello
