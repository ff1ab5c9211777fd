#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace panorello {
namespace {

TEST(JoinCommandLineTest, SingleSpaces) {
  EXPECT_EQ(JoinCommandLine({}), "");
  EXPECT_EQ(JoinCommandLine({"/run", "/DASH=Vendite Nord", "/OPEN"}),
            "/run /DASH=Vendite Nord /OPEN");
  EXPECT_EQ(JoinCommandLine({"", "x"}), " x");
}

TEST(ParseDashArgumentTest, NamesQuotesAndSpaces) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"/run /dash=Vendite", "Vendite"},
      {"/RUN /DASH=Vendite /OPEN", "Vendite"},
      {"/RUN /DASH=\"Vendite\"", "Vendite"},
      {"/RUN /DASH=\"Vendite Nord\"", "\"Vendite"},
      {"/RUN /DASH=a /DASH=b", "a"},
      {"/DASH=x\ty /RUN", "x\ty"},  // only the space ends the name
      // Upper-casing keeps the length, so the name after accented letters is still found.
      {"àèìòù /DASH=Nord", "Nord"},
      {"/RUN /DASH=  Nord", ""},
      {"/DASH=x\"", "x\""},
  };
  for (const auto& [line, name] : cases) EXPECT_EQ(ParseDashArgument(line), name) << line;
}

}  // namespace
}  // namespace panorello
