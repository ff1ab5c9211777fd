#pragma once
// The message as bytes (RFC 5322 headers, MIME of RFC 2045 and 2047, UTF-8, CRLF lines):
// multipart/mixed of a multipart/related body (multipart/alternative of text/plain and text/html,
// then the chart pictures) and the page attached as dashboard.html. Every part is base64, so no
// boundary can occur inside one.
#include <ctime>
#include <string>
#include <vector>

namespace panorello {

struct MailHeaders {
  std::string from;             // as in mail.ini: "addr" or "Name <addr>"
  std::vector<std::string> to;  // addresses
  std::string subject;          // UTF-8
  std::time_t date = 0;         // written in local time with its offset
  std::string unique;           // random text for the Message-ID and the boundaries
};

struct MailParts {
  std::string plain;
  std::string html;
  std::vector<std::string> pngs;  // chart n has Content-ID ChartContentId(n, domain)
  std::string page;               // the written page, attached unchanged
};

// The address inside "Name <addr>", or the whole text trimmed.
std::string AddressOf(const std::string& mailbox);

// The domain of an address ("localhost" when it has none).
std::string DomainOf(const std::string& address);

// Throws Error naming the address when it is not a plain mailbox (one "@", no space, no control
// character, no angle bracket, comma or quote): nothing from the command line or mail.ini may
// start a header line of its own.
void CheckAddress(const std::string& address);

// "=?UTF-8?B?...?=" words (folded) for a text that is not plain ASCII; the text itself otherwise.
std::string EncodeHeaderText(const std::string& text);

// "Mon, 07 Dec 2026 06:00:00 +0100" (English names, whatever the locale).
std::string MailDate(std::time_t t);

std::string ComposeMessage(const MailHeaders& headers, const MailParts& parts);

}  // namespace panorello
