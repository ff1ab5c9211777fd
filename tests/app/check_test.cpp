// `panorello --check` and the warnings a batch run leaves for cron, on the built program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/program_fixture.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

TEST_F(Program, CheckReportsTheSetupWithoutWritingAnything) {
  const struct {
    std::string config_line;
    int status;
    std::string out;  // a line the report must hold
    std::string err;  // the problem line ("" when none)
  } cases[] = {
      {.config_line = "", .status = 0, .out = "Connessione riuscita\n", .err = ""},
      {.config_line = "PASWORD=segreta",
       .status = 1,
       .out = "Blocchi di ogni dashboard: 1 blocco attivo\n",
       .err = "config.ini, riga 1: chiave sconosciuta PASWORD: forse PASSWORD?\n"},
      {.config_line = "DATABASE=" + File("manca.db"),
       .status = 1,
       .out = "File di impostazioni: letto " + File("config.ini") + "\n",
       .err = "Connessione non riuscita: "},
  };
  for (const auto& c : cases) {
    Config(c.config_line.empty() ? std::vector<std::string>{}
                                 : std::vector<std::string>{c.config_line});
    const std::string config = ReadBytes(File("config.ini"));
    EXPECT_EQ(Run("--check"), c.status) << c.config_line << "\n" << out << err;
    EXPECT_EQ(out.rfind("Cartella dei dati: " + folder.Path() + "\n", 0), 0u) << out;
    EXPECT_NE(out.find(c.out), std::string::npos) << out;
    if (c.err.empty()) {
      EXPECT_EQ(err, "");
    }
    EXPECT_EQ(err.rfind(c.err, 0), 0u) << err;
    EXPECT_EQ(ReadBytes(File("config.ini")), config);
    EXPECT_FALSE(FileExists(File("page.html")) || FileExists(File("panorello.log")) ||
                 FileExists(File("manca.db")));
  }
}

// A page without blocks, or one built from a setup with mistakes, is still written and the run
// still succeeds; the warning line is what cron mails.
TEST_F(Program, SetupMistakesWarnOnStandardErrorAndInTheLog) {
  const std::string vendite = testing::BlockText(1, "Uno", "Vendite", "SELECT 1 AS n");
  const struct {
    std::string args, blocks, config_line, warning;
  } cases[] = {
      {"/RUN /DASH=Vendte", vendite, "", "Attenzione: nessun blocco per il dashboard 'Vendte'"},
      {"/RUN", "", "", "Attenzione: nessun blocco: manca il file " + File("blocks.ini")},
      {"/RUN", "[BLOCK]\nACTIVE=0\nSQLBEGIN\nSELECT 1\nSQLEND\n[/BLOCK]\n", "",
       "Attenzione: nessun blocco attivo in " + File("blocks.ini")},
      {"/RUN", "[block]\n" + vendite, "", "Attenzione: blocks.ini contiene testo"},
      {"/RUN", vendite, "OUTPTUFILE=x",
       "Attenzione: config.ini, riga 1: chiave sconosciuta OUTPTUFILE: forse OUTPUTFILE?"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(File("page.html"));
    std::filesystem::remove(File("panorello.log"));
    std::filesystem::remove(File("blocks.ini"));
    if (!c.blocks.empty()) WriteBytes(File("blocks.ini"), c.blocks);
    Config(c.config_line.empty() ? std::vector<std::string>{}
                                 : std::vector<std::string>{c.config_line});
    EXPECT_EQ(Run(c.args), 0) << c.warning;
    EXPECT_TRUE(FileExists(File("page.html"))) << c.warning;
    EXPECT_EQ(err.rfind(c.warning, 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    EXPECT_EQ(testing::CountOf(Log(), c.warning), 1u) << Log();
  }
}

// A page refused because of its folder: the message names the folder and its owner.
TEST_F(Program, APageInAFolderOfAnotherAccountNamesTheFolderAndItsOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "running as another user needs root (setpriv)";
  // nobody may run the copy and read the database, not write here
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(File("panorello").c_str(), 0755), 0);
  const std::string home = File("home");
  std::filesystem::create_directory(home);
  ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
  std::filesystem::rename(File("config.ini"), home + "/config.ini");
  std::filesystem::rename(File("blocks.ini"), home + "/blocks.ini");
  EXPECT_EQ(Run("/RUN",
                "PANORELLO_HOME='" + home + "' setpriv --reuid=65534 --regid=65534 --clear-groups"),
            1);
  EXPECT_NE(err.find("Impossibile scrivere il file " + File("page.html") +
                     ": Permission denied. La cartella " + folder.Path() +
                     " appartiene a root (uid 0) (permessi 0755): l'utente nobody (uid 65534) "
                     "non vi può creare file"),
            std::string::npos)
      << err;
}

}  // namespace
}  // namespace panorello
