#include "html/page_frame.h"

#include <gtest/gtest.h>

namespace panorello {
namespace {

TEST(StyleSheet, KpiColoursAndPrintRules) {
  const std::string sheet = BuildStyleSheet();
  EXPECT_EQ(sheet.rfind("<style type=\"text/css\">body{margin:0;", 0), 0u);
  EXPECT_NE(sheet.find(".kpivalue{font-size:18px;font-weight:bold;line-height:1.2;}"
                       ".kpi-1{background:#2563eb;}.kpi-2{background:#16a34a;}"),
            std::string::npos);
  EXPECT_NE(sheet.find(".kpi-8{background:#be185d;}table.result{"), std::string::npos);
  for (const char* media :
       {"@media (max-width: 600px){", "@media (prefers-color-scheme: dark){",
        "@media (prefers-contrast: more){", "@media (forced-colors: active){"}) {
    EXPECT_NE(sheet.find(media), std::string::npos) << media;
  }
  EXPECT_EQ(sheet.substr(sheet.size() - 48), ".head,.block,.kpicard{box-shadow:none;}}</style>");
}

TEST(PageFrame, HeadHeaderAndFooter) {
  const std::string meta =
      " &nbsp;|&nbsp; Database: db &amp; co &nbsp;|&nbsp; Aggiornamento: 05/03/2025 14:07:09";
  const struct {
    std::string title, dashboard, server;
    int refresh = 0;
    std::string encoded_title, refresh_meta, meta_line;
  } cases[] = {
      {.title = "Vendite <Nord> & \"Sud\"",
       .dashboard = "  a<b  ",
       .server = "srv01",
       .refresh = -5,
       .encoded_title = "Vendite &lt;Nord&gt; &amp; &quot;Sud&quot;",
       .meta_line = "Dashboard: a&lt;b &nbsp;|&nbsp; Server: srv01" + meta},
      {.title = "T",
       .dashboard = "   ",
       .refresh = 60,
       .encoded_title = "T",
       .refresh_meta = "<meta http-equiv=\"refresh\" content=\"60\">",
       .meta_line = "Dashboard: Tutte le dashboard &nbsp;|&nbsp; Server: " + meta +
                    " &nbsp;|&nbsp; Refresh: 60 sec"},
  };
  const FixedClock clock(DateTime{2025, 3, 5, 14, 7, 9});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dashboard);
    Settings settings;
    settings.PageTitle = c.title;
    settings.Server = c.server;
    settings.Database = "db & co";
    settings.RefreshSeconds = c.refresh;
    EXPECT_EQ(BuildPageHead(settings),
              "<!DOCTYPE html><html lang=\"it\"><head><meta http-equiv=\"Content-Type\" "
              "content=\"text/html; "
              "charset=utf-8\">"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">" +
                  c.refresh_meta + "<title>" + c.encoded_title + "</title>" + BuildStyleSheet() +
                  "</head><body>");
    EXPECT_EQ(BuildPageHeader(settings, clock, c.dashboard),
              "<div class=\"page\"><header class=\"head\"><h1>" + c.encoded_title +
                  "</h1><div class=\"meta\">" + c.meta_line + "</div></header><main>");
  }
  EXPECT_EQ(BuildPageFooter(FixedClock(DateTime{2026, 1, 2, 3, 4, 5})),
            "</main><footer class=\"footer\">Generato da Panorello Dashboard V2.1 - "
            "02/01/2026 03:04:05</footer></div></body></html>");
}

}  // namespace
}  // namespace panorello
