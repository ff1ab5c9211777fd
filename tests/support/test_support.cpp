#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "storage/settings.h"
#include "util/error.h"

namespace panorello::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "panorello-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Make everything writable again so that tests of read-only files clean up too.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

TestContext::TestContext(DateTime now) : clock(now) {
  ctx = std::unique_ptr<AppContext>(new AppContext{
      .app_folder = folder.Path(), .clock = clock, .reporter = reporter, .browser = browser});
  ctx->settings = LoadSettings(folder.Path());
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> LogLines(const std::string& log_path) {
  const std::string text = ReadBytes(log_path);
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end - start);
    out.push_back(line.size() > 22 ? line.substr(22) : line);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return out;
}

std::vector<std::string> LogMessages(const std::string& folder) {
  return LogLines(folder + "/panorello.log");
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string DemoBlocksSource() {
  return std::string(PANORELLO_SOURCE_DIR) + "/src/demo/blocks_demo.ini";
}

std::string ConfigText(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

std::string BlockText(int id, const std::string& title, const std::string& dashboard,
                      const std::string& sql, const std::string& mode) {
  return "[BLOCK]\r\nID=" + std::to_string(id) + "\r\nTITLE=" + title +
         "\r\nSUBTITLE=\r\nSORTORDER=" + std::to_string(id) + "\r\nACTIVE=1\r\nRENDERMODE=" + mode +
         "\r\nDASHBOARD=" + dashboard + "\r\nSQLBEGIN\r\n" + sql + "\r\nSQLEND\r\n[/BLOCK]\r\n";
}

}  // namespace panorello::testing
