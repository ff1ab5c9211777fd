#include "mail/mail_run.h"

#include <sys/random.h>
#include <unistd.h>

#include <ctime>
#include <exception>

#include "mail/mail_body.h"
#include "mail/mail_message.h"
#include "mail/mail_send.h"
#include "mail/mail_settings.h"
#include "mail/page_digest.h"
#include "mail/svg_png.h"
#include "util/error.h"
#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

std::string RandomHex() {
  unsigned char bytes[12] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    throw Error("numeri casuali non disponibili");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string DefaultSender() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "panorello@localhost";
  return std::string("panorello@") + host;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// The text of an error, without a password that SMTP's URL might carry (smtp://user:pw@host).
std::string WithoutSecret(std::string text, const MailSettings& s) {
  if (!s.password.empty()) {
    for (size_t at = text.find(s.password); at != std::string::npos; at = text.find(s.password)) {
      text.replace(at, s.password.size(), "***");
    }
  }
  const size_t scheme = s.smtp.find("://");
  const size_t at = s.smtp.find('@');
  if (scheme != std::string::npos && at != std::string::npos && at > scheme) {
    const std::string userinfo = s.smtp.substr(scheme + 3, at - scheme - 3);
    for (size_t p = text.find(userinfo); p != std::string::npos && !userinfo.empty();
         p = text.find(userinfo)) {
      text.replace(p, userinfo.size(), "***");
    }
  }
  return text;
}

// The chart's SVG with the labels grown for a picture shown half as wide as its canvas (as the
// page itself does on a phone); a chart of many rows keeps one label in four.
std::string ForMailPicture(const std::string& svg) {
  const size_t open_end = svg.find('>');
  if (open_end == std::string::npos) return svg;
  return svg.substr(0, open_end + 1) +
         "<style>text{font-size:18px;font-family:Arial,Helvetica,sans-serif;}"
         ".chartdense text:not(:nth-of-type(4n+1)){display:none;}</style>" +
         svg.substr(open_end + 1);
}

void SendPage(AppContext& ctx, const MailSettings& settings,
              const std::vector<std::string>& recipients) {
  const std::string page = ReadFileBytes(ctx.settings.OutputFile);
  const PageDigest digest = DigestPage(page, kMailTableRows);
  MailHeaders headers;
  headers.from = settings.from.empty() ? DefaultSender() : settings.from;
  CheckAddress(AddressOf(headers.from));
  headers.to = recipients;
  const DateTime now = ctx.clock.Now();
  headers.subject = !settings.subject.empty()
                        ? settings.subject
                        : digest.title + " - " + FormatTimestamp(now).substr(0, 10);
  headers.date = std::time(nullptr);
  headers.unique = RandomHex() + "." + FormatInt(static_cast<int64_t>(headers.date));
  const std::string domain = DomainOf(AddressOf(headers.from));
  MailParts parts;
  parts.plain = PlainTextBody(digest);
  parts.html = MailHtmlBody(digest, domain);
  for (const BlockDigest& block : digest.blocks) {
    for (const ChartDigest& chart : block.charts) {
      parts.pngs.push_back(SvgToPng(ForMailPicture(chart.svg), 2 * kMailChartWidth));
    }
  }
  parts.page = page;
  MailDelivery delivery;
  delivery.from = AddressOf(headers.from);
  delivery.recipients = recipients;
  delivery.cancel = ctx.run.cancel;
  DeliverMail(settings, delivery, ComposeMessage(headers, parts));
}

}  // namespace

std::string MailWrittenPage(AppContext& ctx, const std::string& recipients_text) {
  MailSettings settings;
  std::vector<std::string> recipients;
  try {
    settings = LoadMailSettings(ctx.AppFile("mail.ini"));
    recipients = SplitAddresses(Trim(recipients_text).empty() ? settings.to : recipients_text);
    if (recipients.empty()) {
      throw Error("nessun destinatario: indicare /MAIL=indirizzo oppure TO= in " +
                  ctx.AppFile("mail.ini"));
    }
    for (const std::string& r : recipients) CheckAddress(r);
    SendPage(ctx, settings, recipients);
    ctx.Log("Invio e-mail a " + Joined(recipients) + " OK");
    return {};
  } catch (const std::exception& e) {
    const std::string line = "Errore invio e-mail: " + WithoutSecret(e.what(), settings);
    ctx.Log(line);
    return line;
  }
}

MailSwitch ParseMailArgument(const std::string& command_line) {
  MailSwitch out;
  const std::string upper = UpperCase(command_line);
  const size_t at = upper.find("/MAIL");
  if (at == std::string::npos) return out;
  out.asked = true;
  const size_t rest = at + 5;
  if (rest >= command_line.size() || command_line[rest] != '=') return out;
  const size_t end = command_line.find(' ', rest + 1);
  out.recipients = Trim(
      command_line.substr(rest + 1, end == std::string::npos ? std::string::npos : end - rest - 1));
  return out;
}

}  // namespace panorello
