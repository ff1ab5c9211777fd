// The settings side of the main window without any toolkit.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "db/road_table.h"
#include "demo/demo_db.h"
#include "storage/settings.h"
#include "ui/logic/form_fixture.h"
#include "ui/logic/window_messages.h"

namespace panorello::testing {
namespace {

TEST_F(FormTest, FormLoadFillsEntriesFieldsAndBlockEditor) {
  t->settings.DbType = "ORACLE";
  t->settings.Integrated = true;
  AddBlocks({MakeBlock(1, "Vendite", 3, false, "KPI", "DEMO"), MakeBlock(2, "Fatturato", 10)});
  s.CurrentBlockIndex = 7;
  form.Form_Load();
  EXPECT_FALSE(s.txtUserEnabled || s.txtPasswordEnabled);  // integrated: greyed
  EXPECT_EQ(s.CurrentBlockIndex, -1);
  EXPECT_EQ(s.lstBlocks.entries.size(), 2u);
  EXPECT_EQ(s.txtOrder + "|" + s.cboRenderMode.Text() + "|" + s.lblStatus, "3|AUTO|Pronto");
  EXPECT_EQ(s.txtConnectionString, "");  // loading an Oracle type puts in no template
}

// The warning of a blocks.ini load that skipped text is shown by the first Form_Load only.
TEST_F(FormTest, BlocksWarningShownOnce) {
  t->blocks_warning = "Attenzione: blocks.ini contiene testo che non è stato letto";
  form.Form_Load();
  form.Form_Load();
  ExpectOneWarning("blocks.ini contiene testo");
}

TEST_F(FormTest, StoredDbTypeIsShownAndSavedUnchanged) {
  const struct {
    const char* stored;
    const char* shown;
    size_t entry_count;
    const char* saved;
  } cases[] = {
      {.stored = "access", .shown = "ACCESS", .entry_count = 6, .saved = "ACCESS"},
      {.stored = "Db2 ", .shown = "Db2 ", .entry_count = 7, .saved = "Db2"},  // saved trimmed
      {.stored = "", .shown = "", .entry_count = 6, .saved = ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    t->settings.DbType = c.stored;
    form.Form_Load();
    EXPECT_EQ(s.cboDbType.Text(), c.shown);
    EXPECT_EQ(s.cboDbType.entries.size(), c.entry_count);
    form.cmdSaveConfig_Click();
    EXPECT_EQ(LoadSettings(t.folder.Path()).DbType, c.saved);
  }
  // A known type after an unknown one drops the extra entry.
  t->settings.DbType = "MYSQL";
  form.SettingsToForm();
  EXPECT_EQ(s.cboDbType.entries.size(), 6u);
  EXPECT_EQ(s.cboDbType.Text(), "MYSQL");
}

// Every field shown by Form_Load comes back from its own box (user and password although
// disabled); nothing is written.
TEST_F(FormTest, EveryFieldGoesThroughItsOwnBox) {
  const Settings shown{.DbType = "POSTGRESQL",
                       .Server = "host",
                       .Database = "db",
                       .User = "mario",
                       .Password = "segreta",
                       .Integrated = true,
                       .ConnectionString = "DSN=x",
                       .OutputFile = "/tmp/o.html",
                       .PageTitle = "Titolo",
                       .RefreshSeconds = 30,
                       .OpenBrowser = false,
                       .LogFile = "log"};
  t->settings = shown;
  form.Form_Load();
  t->settings = Settings{};
  ASSERT_TRUE(form.FormToSettings());
  EXPECT_EQ(t->settings, shown);
  EXPECT_FALSE(FileExists(File("config.ini")));
}

TEST_F(FormTest, RefreshThatDoesNotFit32BitsIsRefused) {
  form.Form_Load();
  const Settings before = t->settings;
  s.txtServer = "changed";
  s.txtRefreshSeconds = "2147483648";
  form.cmdSaveConfig_Click();
  ExpectOneWarning(RefreshOutOfRangeMessage("2147483648"));
  EXPECT_EQ(t->settings, before);
  EXPECT_FALSE(FileExists(File("config.ini")));
}

TEST_F(FormTest, PickingADatabaseTypeOffersItsTemplateOnlyIntoAnEmptyBox) {
  const std::string oracle =
      "Provider=OraOLEDB.Oracle;Data Source=TNS_NAME;User ID=utente;Password=password;";
  const struct {
    std::string code, before, after;
  } cases[] = {{.code = "ORACLE", .before = "   ", .after = oracle},
               {.code = "MYSQL", .before = oracle, .after = oracle},
               {.code = "SQLSERVER", .before = "", .after = ""}};
  form.Form_Load();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code + "/" + c.before);
    s.cboDbType.Show(c.code, KnownRoads().size());
    s.txtConnectionString = c.before;
    form.cboDbType_Click();
    EXPECT_EQ(s.txtConnectionString, c.after);
    EXPECT_EQ(t->settings.ConnectionString, "");  // only the box changes
  }
}

TEST_F(FormTest, SaveConfigWritesTheFileOrShowsWhyNot) {
  form.Form_Load();
  s.txtServer = "srv";
  form.cmdSaveConfig_Click();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(s.lblStatus, "Configurazione salvata");
  EXPECT_FALSE(FileExists(File("blocks.ini")));  // the blocks are not saved here

  std::remove(File("config.ini").c_str());
  BlockFile("config.ini");
  s.txtServer = "nuovo";
  s.lblStatus = "x";
  form.cmdSaveConfig_Click();
  ExpectOneWarning("config.ini");
  EXPECT_EQ(t->settings.Server, "nuovo");
  EXPECT_NE(s.lblStatus, "Configurazione salvata");
}

TEST_F(FormTest, ConnectionTestReportsEitherOutcomeAndWritesNothing) {
  form.Form_Load();
  s.cboDbType.Show("ODBC", KnownRoads().size());
  s.txtConnectionString = "DSN=panorello_no_such_dsn_for_tests";
  s.txtPageTitle = "provato";
  form.cmdTestConnection_Click();
  const std::string prefix = "Connessione non riuscita: ";
  ExpectOneWarning(prefix);
  EXPECT_EQ(s.lblStatus, "Errore connessione");
  EXPECT_EQ(t->settings.PageTitle, "provato");

  std::string error;
  ASSERT_TRUE(CreateDemoDatabase(*t, error)) << error;
  Boxes().clear();
  s.cboDbType.Show("ACCESS", KnownRoads().size());
  s.txtDatabase = " " + DemoDbPath(*t) + " ";
  s.txtConnectionString = "";
  form.cmdTestConnection_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].icon, MessageIcon::Information);
  EXPECT_EQ(Boxes()[0].text, "Connessione riuscita.");
  EXPECT_EQ(s.lblStatus, "Connessione riuscita");
  EXPECT_FALSE(FileExists(File("config.ini")));
}

TEST(WindowMessages, DisplayIsConfiguredByAnyOfTheThreeVariables) {
  EXPECT_FALSE(DisplayConfigured(nullptr, nullptr, nullptr) || DisplayConfigured("", "", ""));
  EXPECT_TRUE(DisplayConfigured("offscreen", nullptr, nullptr) &&
              DisplayConfigured(nullptr, ":0", nullptr) &&
              DisplayConfigured(nullptr, "", "wayland-0"));
  for (const char* sw : {"/RUN", "/AUTORUN", "/OPEN", "/DASH=", "/DEMO"}) {
    EXPECT_NE(NoDisplayMessage().find(sw), std::string::npos) << sw;
  }
}

}  // namespace
}  // namespace panorello::testing
