#pragma once
// Hands a composed message to the mail server (libcurl's SMTP) or to the local sendmail.
#include <atomic>
#include <string>
#include <vector>

#include "mail/mail_settings.h"

namespace panorello {

struct MailDelivery {
  std::string from;                           // envelope sender (an address)
  std::vector<std::string> recipients;        // envelope recipients
  int timeout_seconds = 30;                   // the whole delivery, connection included
  const std::atomic<bool>* cancel = nullptr;  // set, or a stop signal: the delivery ends
};

// Delivers message as settings say. Throws Error with the cause (never holding the password).
void DeliverMail(const MailSettings& settings, const MailDelivery& delivery,
                 const std::string& message);

}  // namespace panorello
