#pragma once
// A MainForm over a test context (temporary executable folder, fixed clock, recorded boxes).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/block_list.h"
#include "support/test_support.h"
#include "ui/logic/main_form.h"
#include "util/files.h"

namespace panorello::testing {

inline Block MakeBlock(int32_t id, const std::string& title, int32_t order, bool active = true,
                       const std::string& mode = "AUTO", const std::string& dashboard = "",
                       const std::string& sql = "SELECT 1") {
  Block b;
  b.Id = id;
  b.Title = title;
  b.Subtitle = "sub " + title;
  b.Sql = sql;
  b.SortOrder = order;
  b.Active = active;
  b.RenderMode = mode;
  b.Dashboard = dashboard;
  return b;
}

class FormTest : public ::testing::Test {
 protected:
  TestContext t;
  MainForm form{*t};
  FormState& s = form.State();

  // Appends blocks exactly as given (the tidy pass of SaveBlock leaves positive orders alone).
  void AddBlocks(const std::vector<Block>& blocks) {
    for (Block b : blocks) t->blocks.SaveBlock(-1, b);
  }
  std::string File(const std::string& name) const { return t.folder.File(name); }
  std::vector<RecordedMessage>& Boxes() { return t.reporter.messages; }
  // Selects list entry i and runs the click, as the view does.
  void Click(int32_t i) {
    s.lstBlocks.selected = i;
    form.lstBlocks_Click();
  }
  // Makes `name` in the executable folder a folder, so that replacing the file fails.
  void BlockFile(const std::string& name) { EnsureFolder(File(name)); }
};

}  // namespace panorello::testing
