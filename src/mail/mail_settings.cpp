#include "mail/mail_settings.h"

#include <sys/stat.h>

#include "util/error.h"
#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

// The permission bits of path, or -1 when nothing is there.
int PermissionBits(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

std::string Octal(int bits) {
  std::string out;
  for (int shift = 9; shift >= 0; shift -= 3) out += static_cast<char>('0' + ((bits >> shift) & 7));
  return out;
}

}  // namespace

MailSettings LoadMailSettings(const std::string& path) {
  const std::string text = ReadIniText(path);
  MailSettings s;
  if (text.empty()) return s;
  s.smtp = Trim(IniValue(text, "SMTP", ""));
  s.user = Trim(IniValue(text, "USER", ""));
  s.password = IniValue(text, "PASSWORD", "");
  s.from = Trim(IniValue(text, "FROM", ""));
  s.to = Trim(IniValue(text, "TO", ""));
  s.subject = Trim(IniValue(text, "SUBJECT", ""));
  s.ca_file = Trim(IniValue(text, "CAFILE", ""));
  s.tls = ParseLeadingNumber(IniValue(text, "TLS", "1")) != 0;
  const int bits = PermissionBits(path);
  if (!s.password.empty() && bits >= 0 && (bits & 077) != 0) {
    throw Error("Il file " + path + " contiene PASSWORD ma è leggibile da altri utenti (permessi " +
                    Octal(bits) + "): rifiutato. Renderlo privato con: chmod 600 " + path,
                ErrorKind::kConfig);
  }
  return s;
}

std::vector<std::string> SplitAddresses(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string address = Trim(std::string_view(list).substr(start, end - start));
    if (!address.empty()) out.push_back(std::move(address));
    start = end + 1;
  }
  return out;
}

}  // namespace panorello
