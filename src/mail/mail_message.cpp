#include "mail/mail_message.h"

#include "mail/mail_body.h"
#include "util/error.h"
#include "util/text.h"

namespace panorello {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kBase64[(v >> s) & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// Base64 in lines of 76 characters, each ended by CRLF.
void AppendBase64Lines(std::string& out, std::string_view bytes) {
  const std::string encoded = Base64(bytes);
  for (size_t i = 0; i < encoded.size(); i += 76) {
    out.append(encoded, i, 76);
    out += "\r\n";
  }
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80 || c < 0x20) return false;
  }
  return true;
}

std::string Two(int v) {
  return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

void AppendPart(std::string& out, const std::string& boundary, const std::string& headers,
                std::string_view body) {
  out += "--" + boundary + "\r\n" + headers + "Content-Transfer-Encoding: base64\r\n\r\n";
  AppendBase64Lines(out, body);
}

std::string Mailbox(const std::string& from) {
  const size_t lt = from.find('<');
  if (lt == std::string::npos) return AddressOf(from);
  std::string name;
  for (char c : Trim(std::string_view(from).substr(0, lt))) {
    if (c != '"' && c != '\\') name += c;
  }
  if (name.empty()) return AddressOf(from);
  const std::string shown = IsAscii(name) ? "\"" + name + "\"" : EncodeHeaderText(name);
  return shown + " <" + AddressOf(from) + ">";
}

}  // namespace

std::string AddressOf(const std::string& mailbox) {
  const size_t lt = mailbox.find('<');
  const size_t gt = mailbox.find('>', lt == std::string::npos ? 0 : lt);
  if (lt != std::string::npos && gt != std::string::npos) {
    return Trim(std::string_view(mailbox).substr(lt + 1, gt - lt - 1));
  }
  return Trim(mailbox);
}

std::string DomainOf(const std::string& address) {
  const size_t at = address.rfind('@');
  if (at == std::string::npos || at + 1 >= address.size()) return "localhost";
  return address.substr(at + 1);
}

void CheckAddress(const std::string& address) {
  const size_t at = address.find('@');
  bool ok = at != std::string::npos && at > 0 && at + 1 < address.size() &&
            address.find('@', at + 1) == std::string::npos;
  for (unsigned char c : address) {
    if (c <= 0x20 || c == 0x7f || c == '<' || c == '>' || c == ',' || c == '"' || c == '\\') {
      ok = false;
    }
  }
  if (!ok) throw Error("Indirizzo e-mail non valido: " + address, ErrorKind::kConfig);
}

std::string EncodeHeaderText(const std::string& text) {
  if (IsAscii(text)) return text;
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = std::min(text.size(), i + 45);
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(std::string_view(text).substr(i, end - i)) + "?=";
    i = end;
  }
  return out;
}

std::string MailDate(std::time_t t) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm tm {};
  localtime_r(&t, &tm);
  const long offset_minutes = tm.tm_gmtoff / 60;
  const long abs_minutes = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  return std::string(kDays[tm.tm_wday]) + ", " + Two(tm.tm_mday) + " " + kMonths[tm.tm_mon] + " " +
         FormatInt(tm.tm_year + 1900) + " " + Two(tm.tm_hour) + ":" + Two(tm.tm_min) + ":" +
         Two(tm.tm_sec) + " " + (offset_minutes < 0 ? "-" : "+") +
         Two(static_cast<int>(abs_minutes / 60)) + Two(static_cast<int>(abs_minutes % 60));
}

std::string ComposeMessage(const MailHeaders& headers, const MailParts& parts) {
  const std::string domain = DomainOf(AddressOf(headers.from));
  const std::string mixed = "=_panorello_" + headers.unique + "_m";
  const std::string related = "=_panorello_" + headers.unique + "_r";
  const std::string alternative = "=_panorello_" + headers.unique + "_a";
  std::string to;
  for (const std::string& a : headers.to) to += (to.empty() ? "" : ",\r\n ") + a;
  std::string out = "From: " + Mailbox(headers.from) + "\r\nTo: " + to +
                    "\r\nSubject: " + EncodeHeaderText(headers.subject) +
                    "\r\nDate: " + MailDate(headers.date) + "\r\nMessage-ID: <" + headers.unique +
                    "@" + domain +
                    ">\r\nMIME-Version: 1.0\r\nX-Mailer: Panorello " PANORELLO_VERSION
                    "\r\nContent-Type: multipart/mixed; boundary=\"" +
                    mixed + "\"\r\n\r\nMessaggio in formato MIME.\r\n";
  out += "--" + mixed +
         "\r\nContent-Type: multipart/related; type=\"multipart/alternative\"; "
         "boundary=\"" +
         related + "\"\r\n\r\n";
  out += "--" + related + "\r\nContent-Type: multipart/alternative; boundary=\"" + alternative +
         "\"\r\n\r\n";
  AppendPart(out, alternative, "Content-Type: text/plain; charset=utf-8\r\n", parts.plain);
  AppendPart(out, alternative, "Content-Type: text/html; charset=utf-8\r\n", parts.html);
  out += "--" + alternative + "--\r\n";
  for (size_t n = 0; n < parts.pngs.size(); ++n) {
    const std::string name = "grafico" + FormatInt(static_cast<int64_t>(n + 1)) + ".png";
    AppendPart(out, related,
               "Content-Type: image/png; name=\"" + name + "\"\r\nContent-ID: <" +
                   ChartContentId(n, domain) + ">\r\nContent-Disposition: inline; filename=\"" +
                   name + "\"\r\n",
               parts.pngs[n]);
  }
  out += "--" + related + "--\r\n";
  AppendPart(out, mixed,
             "Content-Type: text/html; charset=utf-8; name=\"dashboard.html\"\r\n"
             "Content-Disposition: attachment; filename=\"dashboard.html\"\r\n",
             parts.page);
  out += "--" + mixed + "--\r\n";
  return out;
}

}  // namespace panorello
