#include "html/page_frame.h"

#include <iterator>

#include "html/series_colors.h"
#include "util/clock.h"
#include "util/text.h"

namespace panorello {

namespace {

// The 27 rules of the style sheet: the sixteen before the card colours...
constexpr std::string_view kRulesBeforeCardColours[] = {
    "body{margin:0;padding:0;background:#f4f6f9;font-family:Arial,Helvetica,sans-serif;color:#"
    "1f2937;}",
    ".page{max-width:1600px;margin:0 auto;padding:18px;}",
    ".head{background:#ffffff;border-bottom:1px solid #d8dee8;padding:18px 22px;margin-bottom:18px;"
    "box-shadow:0 1px 2px #e5e7eb;}",
    ".head h1{margin:0;font-size:34px;color:#0f172a;}",
    ".head .meta{margin-top:8px;font-size:13px;color:#667085;}",
    ".block{background:#ffffff;border:1px solid #d9dee7;border-radius:10px;padding:18px;"
    "margin-bottom:18px;box-shadow:0 1px 3px #e5e7eb;}",
    ".title{font-size:18px;font-weight:bold;color:#111827;margin-bottom:4px;}",
    ".subtitle{font-size:13px;color:#6b7280;margin-bottom:14px;}",
    ".sep{height:1px;background:#e5e7eb;margin-bottom:14px;}",
    ".footer{font-size:12px;color:#6b7280;padding:18px;text-align:left;}",
    ".error{background:#fff1f2;border:1px solid "
    "#fda4af;color:#b42318;padding:12px;border-radius:8px;}",
    ".nodata{color:#6b7280;font-style:italic;padding:8px 0;}",
    ".kpiwrap{display:flex;flex-wrap:wrap;gap:12px;}",
    ".kpicard{flex:1 1 180px;min-width:180px;border-radius:10px;padding:14px;color:#ffffff;"
    "box-shadow:0 1px 3px #d1d5db;}",
    ".kpilabel{font-size:12px;opacity:0.95;margin-bottom:6px;}",
    ".kpivalue{font-size:18px;font-weight:bold;line-height:1.2;}",
};

// ...rule 17, the card colours (.kpi-1 to .kpi-8, written from kSeriesColors), then the ten after.
constexpr std::string_view kRulesAfterCardColours[] = {
    "table.result{width:100%;border-collapse:collapse;font-size:13px;}",
    "table.result th{background:#eef2f7;color:#111827;text-align:left;padding:9px;"
    "border:1px solid #d8dee8;}",
    "table.result td{padding:8px;border:1px solid #e5e7eb;vertical-align:top;}",
    "table.result tr:nth-child(even) td{background:#fafbfc;}",
    ".chartbox{background:#ffffff;border:1px solid #e5e7eb;border-radius:10px;padding:12px;"
    "margin-bottom:12px;}",
    ".charttitle{font-size:13px;color:#6b7280;margin-bottom:8px;}",
    ".chartsvg{width:100%;height:320px;display:block;}",
    ".chartlegend{margin-top:8px;font-size:12px;color:#4b5563;}",
    ".legenditem{display:inline-block;margin-right:16px;}",
    ".legendline{display:inline-block;width:18px;height:3px;vertical-align:middle;margin-right:5px;"
    "}",
};
static_assert(std::size(kRulesBeforeCardColours) + 1 + std::size(kRulesAfterCardColours) == 27);

// A chart's data for screen readers: in the page, out of sight.
constexpr std::string_view kScreenReaderRules =
    ".srdata{position:absolute;width:1px;height:1px;margin:-1px;padding:0;border:0;"
    "overflow:hidden;clip:rect(0 0 0 0);clip-path:inset(50%);white-space:nowrap;}";

// Narrow screens (phones): a table wider than the screen scrolls sideways inside its own box
// instead of widening the page, and the page keeps less padding. A chart is as high as its width
// asks (no empty band) with labels of 40 units, about 10 px on a phone; a chart with thinned
// labels shows one in four of them there, so that the larger ones do not overlap.
constexpr std::string_view kNarrowScreenRules =
    "@media (max-width: 600px){"
    ".page{padding:8px;}"
    ".block,.tablebox{overflow-x:auto;}"
    ".chartsvg{height:auto;}"
    ".chartsvg text{font-size:40px;}"
    ".chartdense text:not(:nth-of-type(4n+1)){display:none;}"
    "}";

// Card shades of the same hues dark enough for 4.5:1 with white text (labels at full opacity).
constexpr std::string_view kDeepCardRules =
    ".kpi-1{background:#1d4ed8;}.kpi-2{background:#15803d;}.kpi-3{background:#b45309;}"
    ".kpi-4{background:#b91c1c;}.kpi-5{background:#0e7490;}.kpi-6{background:#6d28d9;}"
    ".kpilabel{opacity:1;}";

// A dark page: the same card hues, every text at 4.5:1 or more.
constexpr std::string_view kDarkOpen = "@media (prefers-color-scheme: dark){";
constexpr std::string_view kDarkRules =
    "body{background:#0f172a;color:#e5e7eb;}"
    ".head,.block,.chartbox{background:#1e293b;border-color:#334155;box-shadow:none;}"
    ".head h1,.title{color:#f8fafc;}"
    ".head .meta,.subtitle,.footer,.nodata,.charttitle,.chartlegend{color:#cbd5e1;}"
    ".sep{background:#334155;}"
    ".error{background:#450a0a;border-color:#b91c1c;color:#fecaca;}"
    ".kpicard{box-shadow:none;}"
    "table.result th{background:#334155;color:#f8fafc;border-color:#475569;}"
    "table.result td{border-color:#334155;}"
    "table.result tr:nth-child(even) td{background:#172033;}"
    ".chartsvg rect{fill:#1e293b;}"
    ".chartsvg text{fill:#cbd5e1;}";

// More contrast asked for: deeper cards and darker grey texts.
constexpr std::string_view kMoreContrastOpen = "@media (prefers-contrast: more){";
constexpr std::string_view kMoreContrastRules =
    ".head .meta,.subtitle,.footer,.nodata,.charttitle,.chartlegend{color:#374151;}";

// Forced colours (high-contrast themes) would blank the legend swatches and recolour the lines:
// both keep the series colours.
constexpr std::string_view kForcedColourRules =
    "@media (forced-colors: active){"
    ".legendline,.chartsvg{forced-color-adjust:none;}"
    "}";

// Paper: a block's title stays with its body, a KPI row, chart or block is not split across pages
// when it fits on one, the footer goes with the last block (the blocks and the footer are
// siblings on paper, as Chromium keeps them together only then), the KPI cards and legend lines
// keep their colours, no shadows.
constexpr std::string_view kPrintRules =
    "@media print{"
    "main{display:contents;}"
    ".block,.kpiwrap,.chartbox{break-inside:avoid;page-break-inside:avoid;}"
    ".title,.subtitle,.sep{break-after:avoid;page-break-after:avoid;}"
    ".footer{break-before:avoid;page-break-before:avoid;}"
    ".kpicard,.legendline{-webkit-print-color-adjust:exact;print-color-adjust:exact;}"
    ".head,.block,.kpicard{box-shadow:none;}"
    "}";

constexpr std::string_view kViewport =
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";

constexpr std::string_view kSeparator = " &nbsp;|&nbsp; ";

}  // namespace

std::string BuildStyleSheet() {
  std::string out = "<style type=\"text/css\">";
  for (std::string_view rule : kRulesBeforeCardColours) out += rule;
  for (size_t i = 0; i < kSeriesColors.size(); ++i) {
    out += ".kpi-";
    out += FormatInt(static_cast<int64_t>(i + 1));
    out += "{background:";
    out += kSeriesColors[i];
    out += ";}";
  }
  for (std::string_view rule : kRulesAfterCardColours) out += rule;
  out += kScreenReaderRules;
  out += kNarrowScreenRules;
  out += kDarkOpen;
  out += kDarkRules;
  out += kDeepCardRules;
  out += "}";
  out += kMoreContrastOpen;
  out += kMoreContrastRules;
  out += kDeepCardRules;
  out += "}";
  out += kForcedColourRules;
  out += kPrintRules;
  out += "</style>";
  return out;
}

std::string BuildPageHead(const Settings& settings) {
  // Standards mode: on a desktop screen the page looks as it did in quirks mode.
  std::string out = "<!DOCTYPE html><html lang=\"it\"><head>";
  out += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
  out += kViewport;
  if (settings.RefreshSeconds > 0) {
    out += "<meta http-equiv=\"refresh\" content=\"";
    out += FormatInt(settings.RefreshSeconds);
    out += "\">";
  }
  out += "<title>";
  HtmlEncodeAppend(out, settings.PageTitle);
  out += "</title>";
  out += BuildStyleSheet();
  out += "</head><body>";
  return out;
}

std::string BuildPageHeader(const Settings& settings, const Clock& clock,
                            std::string_view dashboardName) {
  std::string label = Trim(dashboardName);
  if (label.empty()) label = "Tutte le dashboard";
  std::string out = "<div class=\"page\"><header class=\"head\"><h1>";
  HtmlEncodeAppend(out, settings.PageTitle);
  out += "</h1><div class=\"meta\">Dashboard: ";
  HtmlEncodeAppend(out, label);
  out += kSeparator;
  out += "Server: ";
  HtmlEncodeAppend(out, settings.Server);
  out += kSeparator;
  out += "Database: ";
  HtmlEncodeAppend(out, settings.Database);
  out += kSeparator;
  out += "Aggiornamento: ";
  HtmlEncodeAppend(out, FormatTimestamp(clock.Now()));
  if (settings.RefreshSeconds > 0) {
    out += kSeparator;
    out += "Refresh: ";
    out += FormatInt(settings.RefreshSeconds);
    out += " sec";
  }
  out += "</div></header><main>";
  return out;
}

std::string BuildPageFooter(const Clock& clock) {
  std::string out = "</main><footer class=\"footer\">Generato da Panorello Dashboard V2.1 - ";
  HtmlEncodeAppend(out, FormatTimestamp(clock.Now()));
  out += "</footer></div></body></html>";
  return out;
}

}  // namespace panorello
