#pragma once
// mail.ini: how the page is mailed after a batch run. Hand-written KEY=value lines, read like
// config.ini.
#include <string>
#include <vector>

namespace panorello {

struct MailSettings {
  std::string smtp;      // smtp://host:587 (STARTTLS), smtps://host:465; blank: local sendmail
  std::string user;      // AUTH user; blank: no AUTH
  std::string password;  // never logged, never shown
  std::string from;
  std::string to;       // default recipients, separated by commas
  std::string subject;  // blank: the page title and the date
  std::string ca_file;  // CAFILE: certificates trusted for the server, beside the system's
  bool tls = true;      // smtp:// must upgrade and certificates are verified; 0: plain relay
};

// The settings of the mail.ini at path; all defaults when there is none. Throws Error (kConfig)
// when the file cannot be read, or holds a password while others may read it (as OpenSSH refuses
// such a key file).
MailSettings LoadMailSettings(const std::string& path);

// The addresses of a comma-separated list, trimmed, blanks dropped.
std::vector<std::string> SplitAddresses(const std::string& list);

}  // namespace panorello
