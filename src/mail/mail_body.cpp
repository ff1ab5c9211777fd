#include "mail/mail_body.h"

#include "html/series_colors.h"
#include "util/text.h"

namespace panorello {

namespace {

constexpr const char* kFont = "font-family:Arial,Helvetica,sans-serif;";

std::string Esc(const std::string& text) { return HtmlEncode(text); }

std::string MoreRowsText(size_t more) {
  return "… altre " + FormatInt(static_cast<int64_t>(more)) + " righe nella pagina allegata";
}

void PlainTable(const TableDigest& t, std::string& out) {
  auto line = [&](const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) out += " | ";
      out += LineBreaksToSpaces(cells[c]);
    }
    out += '\n';
  };
  line(t.columns);
  for (const auto& row : t.rows) line(row);
  if (t.total_rows > t.rows.size()) out += MoreRowsText(t.total_rows - t.rows.size()) + "\n";
}

void HtmlKpis(const BlockDigest& b, std::string& out) {
  out +=
      "<table role=\"presentation\" width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" "
      "style=\"border-collapse:separate;border-spacing:6px;\"><tr>";
  for (size_t i = 0; i < b.kpis.size(); ++i) {
    const KpiDigest& k = b.kpis[i];
    if (i > 0 && i % 3 == 0) out += "</tr><tr>";
    const size_t colour = static_cast<size_t>(k.colour >= 1 && k.colour <= 8 ? k.colour - 1 : 0);
    out += "<td style=\"background:";
    out += kSeriesColors[colour];
    out += ";color:#ffffff;padding:12px;border-radius:8px;";
    out += kFont;
    out += "\"><div style=\"font-size:12px;\">" + Esc(k.label) +
           "</div><div style=\"font-size:22px;font-weight:bold;margin-top:4px;\">" + Esc(k.value) +
           "</div></td>";
  }
  out += "</tr></table>";
}

void HtmlTable(const TableDigest& t, std::string& out) {
  const std::string cell =
      std::string("style=\"border:1px solid #e5e7eb;padding:4px 6px;font-size:12px;") + kFont;
  out +=
      "<table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" "
      "style=\"border-collapse:collapse;margin-top:6px;\"><tr>";
  for (const std::string& c : t.columns) {
    out += "<th align=\"left\" " + cell + "background:#f3f4f6;\">" + Esc(c) + "</th>";
  }
  out += "</tr>";
  for (const auto& row : t.rows) {
    out += "<tr>";
    for (const std::string& c : row) out += "<td " + cell + "\">" + Esc(c) + "</td>";
    out += "</tr>";
  }
  out += "</table>";
  if (t.total_rows > t.rows.size()) {
    out += std::string("<p style=\"font-size:12px;color:#6b7280;margin:6px 0 0 0;") + kFont +
           "\">" + Esc(MoreRowsText(t.total_rows - t.rows.size())) + "</p>";
  }
}

void HtmlChart(const ChartDigest& c, const std::string& cid, const std::string& name,
               std::string& out) {
  out += "<img src=\"cid:" + cid + "\" width=\"" + FormatInt(kMailChartWidth) + "\" alt=\"" +
         Esc(name) + "\" style=\"display:block;width:100%;max-width:" + FormatInt(kMailChartWidth) +
         "px;height:auto;border:0;\">";
  out += std::string("<p style=\"font-size:12px;color:#4b5563;margin:4px 0 0 0;") + kFont + "\">";
  for (const LegendItem& item : c.legend) {
    out +=
        "<span style=\"display:inline-block;width:18px;height:3px;vertical-align:middle;"
        "background:" +
        Esc(item.colour) + ";\"></span> " + Esc(item.name) + " &nbsp; ";
  }
  out += "</p>";
}

}  // namespace

std::string ChartContentId(size_t n, const std::string& domain) {
  return "grafico" + FormatInt(static_cast<int64_t>(n + 1)) + "@" + domain;
}

std::string PlainTextBody(const PageDigest& page) {
  std::string out = page.title + "\n" + page.facts + "\n";
  for (const BlockDigest& b : page.blocks) {
    out += "\n== " + LineBreaksToSpaces(b.title) + " ==\n";
    if (!b.subtitle.empty()) out += b.subtitle + "\n";
    if (!b.error.empty()) out += b.error + "\n";
    if (b.no_data) out += "Nessun dato disponibile\n";
    for (const KpiDigest& k : b.kpis) out += k.label + ": " + k.value + "\n";
    if (!b.charts.empty()) out += "(grafico: vedere la versione HTML o la pagina allegata)\n";
    for (const TableDigest& t : b.tables) PlainTable(t, out);
  }
  out += "\nLa dashboard completa è nella pagina allegata (dashboard.html).\n";
  return out;
}

std::string MailHtmlBody(const PageDigest& page, const std::string& domain) {
  std::string out =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + Esc(page.title) +
      "</title></head><body style=\"margin:0;padding:0;background:#f3f4f6;\">"
      "<table role=\"presentation\" width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" "
      "style=\"background:#f3f4f6;\"><tr><td align=\"center\" style=\"padding:12px 0;\">"
      "<table role=\"presentation\" width=\"640\" cellpadding=\"0\" cellspacing=\"0\" "
      "style=\"width:100%;max-width:640px;\">";
  out += std::string("<tr><td style=\"background:#111827;color:#ffffff;padding:14px 20px;") +
         kFont + "\"><div style=\"font-size:20px;font-weight:bold;\">" + Esc(page.title) +
         "</div><div style=\"font-size:12px;color:#d1d5db;margin-top:4px;\">" + Esc(page.facts) +
         "</div></td></tr>";
  size_t chart_number = 0;
  for (const BlockDigest& b : page.blocks) {
    out += std::string(
               "<tr><td style=\"background:#ffffff;padding:12px 20px;"
               "border-bottom:1px solid #e5e7eb;") +
           kFont + "\"><div style=\"font-size:16px;font-weight:bold;color:#111827;\">" +
           Esc(b.title) + "</div>";
    if (!b.subtitle.empty()) {
      out += "<div style=\"font-size:12px;color:#6b7280;\">" + Esc(b.subtitle) + "</div>";
    }
    if (!b.error.empty()) {
      out +=
          "<div style=\"background:#fef2f2;color:#991b1b;border:1px solid #fecaca;"
          "padding:8px;margin-top:6px;font-size:12px;\">" +
          Esc(b.error) + "</div>";
    }
    if (b.no_data) {
      out +=
          "<div style=\"color:#6b7280;font-size:12px;margin-top:6px;\">"
          "Nessun dato disponibile</div>";
    }
    if (!b.kpis.empty()) HtmlKpis(b, out);
    for (const ChartDigest& c : b.charts) {
      HtmlChart(c, ChartContentId(chart_number++, domain), b.title, out);
    }
    for (const TableDigest& t : b.tables) HtmlTable(t, out);
    out += "</td></tr>";
  }
  out += std::string("<tr><td style=\"padding:10px 20px;font-size:11px;color:#6b7280;") + kFont +
         "\">La dashboard completa è nella pagina allegata (dashboard.html).</td></tr>"
         "</table></td></tr></table></body></html>";
  return out;
}

}  // namespace panorello
