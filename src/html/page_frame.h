#pragma once
// The parts of the page that do not come from a block: head, style sheet, header box, footer.
#include <string>
#include <string_view>

#include "storage/settings.h"
#include "util/clock.h"

namespace panorello {

// The inline style element: its 27 rules, then the rules for screen readers, narrow screens, the
// dark scheme, more contrast, forced colours and printing; always the same text.
std::string BuildStyleSheet();

// "<!DOCTYPE html><html lang=\"it\"><head>" ... "</head><body>": charset, viewport, optional
// refresh, title, style sheet.
std::string BuildPageHead(const Settings& settings);

// Opens the page container, writes the header box and opens the main part; the time stamp is
// taken now.
std::string BuildPageHeader(const Settings& settings, const Clock& clock,
                            std::string_view dashboardName);

// Closes the main part, writes the footer line with a fresh time stamp, then the closing tags
// (closes the page container).
std::string BuildPageFooter(const Clock& clock);

}  // namespace panorello
