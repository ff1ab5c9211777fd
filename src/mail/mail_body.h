#pragma once
// The two readings of a page in a mail: plain text, and HTML made for mail clients (inline styles
// only, tables for layout, at most 640 px wide, charts as cid: pictures, no SVG, no script).
#include <string>

#include "mail/page_digest.h"

namespace panorello {

// Rows of each table shown in the mail; the rest is in the attached page.
inline constexpr size_t kMailTableRows = 20;
// Width of a chart picture in the mail, in CSS pixels (its PNG has twice as many).
inline constexpr int kMailChartWidth = 600;

// The Content-ID of chart n (0-based, in page order) of a message whose ids end in domain.
std::string ChartContentId(size_t n, const std::string& domain);

std::string PlainTextBody(const PageDigest& page);

// Chart n is shown as <img src="cid:ChartContentId(n, domain)">.
std::string MailHtmlBody(const PageDigest& page, const std::string& domain);

}  // namespace panorello
