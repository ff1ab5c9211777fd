#include "html/page_frame.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace panorello {
namespace {

using testing::TestContext;

TEST(StyleSheet, IsTheTwentySevenRulesInOrderThenPhoneAndPrintRules) {
  EXPECT_EQ(
      BuildStyleSheet(),
      "<style type=\"text/css\">"
      "body{margin:0;padding:0;background:#f4f6f9;font-family:Arial,Helvetica,sans-serif;color:#"
      "1f2937;}"
      ".page{max-width:1600px;margin:0 auto;padding:18px;}"
      ".head{background:#ffffff;border-bottom:1px solid #d8dee8;padding:18px "
      "22px;margin-bottom:18px;"
      "box-shadow:0 1px 2px #e5e7eb;}.head h1{margin:0;font-size:34px;color:#0f172a;}"
      ".head .meta{margin-top:8px;font-size:13px;color:#667085;}"
      ".block{background:#ffffff;border:1px solid #d9dee7;border-radius:10px;padding:18px;"
      "margin-bottom:18px;box-shadow:0 1px 3px #e5e7eb;}"
      ".title{font-size:18px;font-weight:bold;color:#111827;margin-bottom:4px;}"
      ".subtitle{font-size:13px;color:#6b7280;margin-bottom:14px;}"
      ".sep{height:1px;background:#e5e7eb;margin-bottom:14px;}"
      ".footer{font-size:12px;color:#6b7280;padding:18px;text-align:left;}"
      ".error{background:#fff1f2;border:1px solid "
      "#fda4af;color:#b42318;padding:12px;border-radius:8px;}"
      ".nodata{color:#6b7280;font-style:italic;padding:8px "
      "0;}.kpiwrap{display:flex;flex-wrap:wrap;gap:12px;}"
      ".kpicard{flex:1 1 180px;min-width:180px;border-radius:10px;padding:14px;color:#ffffff;"
      "box-shadow:0 1px 3px #d1d5db;}.kpilabel{font-size:12px;opacity:0.95;margin-bottom:6px;}"
      ".kpivalue{font-size:18px;font-weight:bold;line-height:1.2;}"
      ".kpi-1{background:#2563eb;}.kpi-2{background:#16a34a;}.kpi-3{background:#d97706;}"
      ".kpi-4{background:#dc2626;}.kpi-5{background:#0891b2;}.kpi-6{background:#7c3aed;}"
      ".kpi-7{background:#475569;}.kpi-8{background:#be185d;}"
      "table.result{width:100%;border-collapse:collapse;font-size:13px;}"
      "table.result th{background:#eef2f7;color:#111827;text-align:left;padding:9px;"
      "border:1px solid #d8dee8;}"
      "table.result td{padding:8px;border:1px solid #e5e7eb;vertical-align:top;}"
      "table.result tr:nth-child(even) td{background:#fafbfc;}"
      ".chartbox{background:#ffffff;border:1px solid #e5e7eb;border-radius:10px;padding:12px;"
      "margin-bottom:12px;}.charttitle{font-size:13px;color:#6b7280;margin-bottom:8px;}"
      ".chartsvg{width:100%;height:320px;display:block;}"
      ".chartlegend{margin-top:8px;font-size:12px;color:#4b5563;}"
      ".legenditem{display:inline-block;margin-right:16px;}"
      ".legendline{display:inline-block;width:18px;height:3px;vertical-align:middle;margin-right:"
      "5px;}"
      "@media (max-width: 600px){.page{padding:8px;}.block{overflow-x:auto;}}"
      "@media print{.block,.kpiwrap,.chartbox{break-inside:avoid;page-break-inside:avoid;}"
      ".title,.subtitle,.sep{break-after:avoid;page-break-after:avoid;}"
      ".kpicard,.legendline{-webkit-print-color-adjust:exact;print-color-adjust:exact;}"
      ".head,.block,.kpicard{box-shadow:none;}}"
      "</style>");
}

TEST(PageFrame, HeadHeaderAndFooterPieces) {
  const std::string meta =
      " &nbsp;|&nbsp; Database: db &amp; co &nbsp;|&nbsp; Aggiornamento: 05/03/2025 14:07:09";
  const struct {
    std::string title, dashboard, server;
    int refresh;
    std::string encoded_title, refresh_meta, meta_line;
  } cases[] = {
      {"Vendite <Nord> & \"Sud\"", "  Vendite  ", "srv01", 0,
       "Vendite &lt;Nord&gt; &amp; &quot;Sud&quot;", "",
       "Dashboard: Vendite &nbsp;|&nbsp; Server: srv01" + meta},
      {"T", "   ", "", -5, "T", "", "Dashboard: Tutte le dashboard &nbsp;|&nbsp; Server: " + meta},
      {"T", "", "s", 60, "T", "<meta http-equiv=\"refresh\" content=\"60\">",
       "Dashboard: Tutte le dashboard &nbsp;|&nbsp; Server: s" + meta +
           " &nbsp;|&nbsp; Refresh: 60 sec"},
      {"T", "a<b", "s", -1, "T", "", "Dashboard: a&lt;b &nbsp;|&nbsp; Server: s" + meta},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dashboard);
    TestContext t(DateTime{2025, 3, 5, 14, 7, 9});
    t->settings.PageTitle = c.title;
    t->settings.Server = c.server;
    t->settings.Database = "db & co";
    t->settings.RefreshSeconds = c.refresh;
    EXPECT_EQ(BuildPageHead(t->settings),
              "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">" +
                  c.refresh_meta + "<title>" + c.encoded_title + "</title>" + BuildStyleSheet() +
                  "</head><body>");
    EXPECT_EQ(BuildPageHeader(*t, c.dashboard), "<div class=\"page\"><div class=\"head\"><h1>" +
                                                    c.encoded_title + "</h1><div class=\"meta\">" +
                                                    c.meta_line + "</div></div>");
  }
  TestContext t(DateTime{2026, 1, 2, 3, 4, 5});
  EXPECT_EQ(BuildPageFooter(*t),
            "<div class=\"footer\">Generato da Panorello Dashboard V2.1 - 02/01/2026 03:04:05</div>"
            "</div></body></html>");
}

}  // namespace
}  // namespace panorello
