// Taking back the end of a page being written with AtomicFileWriter: in the buffer, in the
// temporary file, and across both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "util/error.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

// A recognisable text of n bytes (so that a wrong cut shows).
std::string Piece(char tag, size_t n) {
  std::string s;
  s.reserve(n);
  for (size_t i = 0; i < n; ++i) s.push_back(i % 100 == 99 ? '\n' : static_cast<char>(tag + i % 7));
  return s;
}

TEST(AtomicFileWriterRollback, TruncateToAMarkAnywhere) {
  struct Step {
    size_t append;    // bytes of a new piece
    int truncate_to;  // -1: none; otherwise back to the mark taken before piece number n
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"within the buffer", {{100, -1}, {200, 1}, {50, -1}}},
      {"back into the file", {{70000, -1}, {300000, 1}, {10, -1}}},
      {"a large piece written straight through", {{10, -1}, {200000, -1}, {5, 1}, {3, -1}}},
      {"to the start", {{150000, -1}, {20, 0}, {7, -1}}},
      {"to the very end (nothing dropped)", {{65536, -1}, {0, 1}, {1, -1}}},
      {"twice", {{80000, -1}, {90000, -1}, {100, 2}, {500, 1}, {64, -1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string path = folder.File("pagina.html");
    std::string expected;
    std::vector<uint64_t> marks;
    {
      AtomicFileWriter writer(path);
      char tag = 'A';
      for (const Step& step : c.steps) {
        marks.push_back(writer.Size());
        const std::string piece = Piece(tag++, step.append);
        writer.Append(piece);
        expected += piece;
        ASSERT_EQ(writer.Size(), expected.size());
        if (step.truncate_to >= 0) {
          const uint64_t mark = marks.at(static_cast<size_t>(step.truncate_to));
          writer.TruncateTo(mark);
          expected.resize(mark);
          ASSERT_EQ(writer.Size(), mark);
        }
      }
      writer.Commit();
    }
    const std::string got = ReadBytes(path);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
  }
}

TEST(AtomicFileWriterRollback, PastTheEndOrAfterCommitRaises) {
  TempFolder folder;
  AtomicFileWriter writer(folder.File("p.html"));
  writer.Append("abc");
  EXPECT_THROW(writer.TruncateTo(4), Error);
  writer.TruncateTo(3);
  writer.Commit();
  EXPECT_THROW(writer.TruncateTo(0), Error);
  EXPECT_EQ(ReadBytes(folder.File("p.html")), "abc");
}

}  // namespace
}  // namespace panorello
