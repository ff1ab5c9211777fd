#pragma once
// A MainForm over a test context (temporary executable folder, fixed clock, recorded boxes).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/block_list.h"
#include "storage/blocks_file.h"
#include "support/test_support.h"
#include "ui/logic/main_form.h"
#include "util/files.h"

namespace panorello::testing {

inline Block MakeBlock(int32_t id, const std::string& title, int32_t order, bool active = true,
                       const std::string& mode = "AUTO", const std::string& dashboard = "",
                       const std::string& sql = "SELECT 1") {
  return {id, title, "sub " + title, sql, order, active, mode, dashboard};
}

inline std::vector<std::string> Titles(const BlockList& list) {
  std::vector<std::string> out;
  for (const Block& b : list.Blocks()) out.push_back(b.Title);
  return out;
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
  BlockList StoredBlocks() {
    BlockList list;
    LoadBlocks(list, t.folder.Path());
    return list;
  }
  // Selects list entry i and runs the click, as the view does.
  void Click(int32_t i) {
    s.lstBlocks.selected = i;
    form.lstBlocks_Click();
  }
  // A folder in the file's place: replacing the file fails.
  void BlockFile(const std::string& name) { EnsureFolder(File(name)); }
  // Exactly one warning box with the application title whose text contains `part`.
  void ExpectOneWarning(const std::string& part) {
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(Boxes()[0].title, kAppTitle);
    EXPECT_NE(Boxes()[0].text.find(part), std::string::npos) << Boxes()[0].text;
  }
};

}  // namespace panorello::testing
