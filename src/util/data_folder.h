#pragma once
// Where the program keeps config.ini, blocks.ini, the log, the pages and the sample database,
// and where it finds the data it ships with (blocks_demo.ini).
#include <string>
#include <vector>

namespace panorello {

// The environment variables the program looks at, read once at process start.
struct ProcessEnvironment {
  std::string panorello_home;      // PANORELLO_HOME
  std::string xdg_config_home;     // XDG_CONFIG_HOME
  std::string home;                // HOME
  std::string jobs;                // PANORELLO_JOBS
  bool graphical_session = false;  // DISPLAY or WAYLAND_DISPLAY set and not empty

  static ProcessEnvironment FromProcess();
};

// The data folder: PANORELLO_HOME when set; else executable_folder when it holds config.ini,
// blocks.ini or blocks_demo.ini (a portable install); else XDG_CONFIG_HOME/panorello (default
// HOME/.config/panorello), for root too. Creates the chosen folder when missing (the per-user one
// with mode 0700). Throws Error naming the folder when it cannot be created.
std::string ChooseDataFolder(const ProcessEnvironment& env, const std::string& executable_folder);

// The folders searched, after the data folder, for data shipped with the program: the
// executable's folder, then the installed data folder (empty ones and the data folder left out).
std::vector<std::string> ShippedDataFolders(const std::string& data_folder,
                                            const std::string& executable_folder,
                                            const std::string& installed_data_folder);

}  // namespace panorello
