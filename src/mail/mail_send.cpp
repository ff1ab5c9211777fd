#include "mail/mail_send.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "util/error.h"
#include "util/interrupt.h"
#include "util/shared_library.h"
#include "util/text.h"
#include "util/unique_fd.h"

extern char** environ;

namespace panorello {

namespace {

constexpr const char* kSendmail = "/usr/sbin/sendmail";

bool Stopped(const std::atomic<bool>* cancel) {
  return InterruptRequested() || (cancel != nullptr && cancel->load());
}

struct Upload {
  const std::string* message;
  size_t sent = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* data) {
  auto* up = static_cast<Upload*>(data);
  const size_t n = std::min(size * count, up->message->size() - up->sent);
  std::memcpy(buffer, up->message->data() + up->sent, n);
  up->sent += n;
  return n;
}

int Progress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return Stopped(static_cast<const std::atomic<bool>*>(data)) ? 1 : 0;
}

// libcurl (with OpenSSL, Kerberos, LDAP, SSH) is opened at the first message sent over SMTP, so
// that no other run pays for loading it.
class CurlApi {
 public:
  CurlApi() {
    curl_.Load(curl_easy_cleanup, "curl_easy_cleanup");
    curl_.Load(curl_easy_init, "curl_easy_init");
    curl_.Load(curl_easy_perform, "curl_easy_perform");
    curl_.Load(curl_easy_setopt, "curl_easy_setopt");
    curl_.Load(curl_easy_strerror, "curl_easy_strerror");
    curl_.Load(curl_slist_append, "curl_slist_append");
    curl_.Load(curl_slist_free_all, "curl_slist_free_all");
  }

  decltype(&::curl_easy_cleanup) curl_easy_cleanup = nullptr;
  decltype(&::curl_easy_init) curl_easy_init = nullptr;
  decltype(&::curl_easy_perform) curl_easy_perform = nullptr;
  // Variadic: every value must be passed as the type the option reads (long, curl_off_t, a
  // pointer), as nothing converts it.
  decltype(&::curl_easy_setopt) curl_easy_setopt = nullptr;
  decltype(&::curl_easy_strerror) curl_easy_strerror = nullptr;
  decltype(&::curl_slist_append) curl_slist_append = nullptr;
  decltype(&::curl_slist_free_all) curl_slist_free_all = nullptr;

 private:
  SharedLibrary curl_{"libcurl.so.4", "Libreria per l'invio e-mail", "libcurl4"};
};

// The functions of libcurl, loaded once; throws Error while libcurl cannot be loaded.
const CurlApi& Curl() {
  static const CurlApi api;
  return api;
}

struct CurlFree {
  void operator()(CURL* c) const { Curl().curl_easy_cleanup(c); }
};
struct ListFree {
  void operator()(curl_slist* l) const { Curl().curl_slist_free_all(l); }
};

// What a person should check, in front of libcurl's own words.
std::string CauseOf(CURLcode rc, const std::string& detail, const MailDelivery& d) {
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return "nessuna risposta dal server di posta entro " + FormatInt(d.timeout_seconds) + " s";
    case CURLE_USE_SSL_FAILED:
      return "il server non offre STARTTLS (TLS=0 in mail.ini solo per un relay locale fidato)";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return "server di posta non raggiungibile, controllare SMTP in mail.ini: " + detail;
    case CURLE_LOGIN_DENIED:
      return "accesso rifiutato dal server di posta, controllare USER e PASSWORD in mail.ini: " +
             detail;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
      return "certificato del server di posta non verificato (CAFILE in mail.ini per "
             "un'autorità aziendale): " +
             detail;
    default:
      break;
  }
  if (detail.starts_with("RCPT")) return "destinatario rifiutato dal server di posta: " + detail;
  if (detail.starts_with("MAIL"))
    return "mittente rifiutato dal server di posta (FROM in mail.ini): " + detail;
  return "invio non riuscito: " + detail;
}

void SendSmtp(const MailSettings& s, const MailDelivery& d, const std::string& message) {
  const bool smtps = StartsWithAsciiNoCase(s.smtp, "smtps://");
  if (!smtps && !StartsWithAsciiNoCase(s.smtp, "smtp://")) {
    throw Error("SMTP in mail.ini deve iniziare con smtp:// o smtps:// (trovato: " + s.smtp + ")",
                ErrorKind::kConfig);
  }
  const CurlApi& api = Curl();
  std::unique_ptr<CURL, CurlFree> curl(api.curl_easy_init());
  if (!curl) throw Error("libcurl non disponibile");
  std::unique_ptr<curl_slist, ListFree> rcpt;
  for (const std::string& r : d.recipients) {
    curl_slist* next = api.curl_slist_append(rcpt.get(), ("<" + r + ">").c_str());
    if (next == nullptr) throw Error("memoria esaurita");
    rcpt.release();
    rcpt.reset(next);
  }
  Upload upload{&message};
  char error_buffer[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  api.curl_easy_setopt(c, CURLOPT_URL, s.smtp.c_str());
  api.curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  api.curl_easy_setopt(c, CURLOPT_MAIL_FROM, ("<" + d.from + ">").c_str());
  api.curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
  api.curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  api.curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadMessage);
  api.curl_easy_setopt(c, CURLOPT_READDATA, &upload);
  api.curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  api.curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_buffer);
  api.curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(d.timeout_seconds));
  api.curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(d.timeout_seconds));
  api.curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  api.curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
  api.curl_easy_setopt(c, CURLOPT_XFERINFODATA, d.cancel);
  // smtps:// is TLS from the start; smtp:// must upgrade with STARTTLS unless TLS=0.
  if (!smtps) {
    api.curl_easy_setopt(c, CURLOPT_USE_SSL,
                         static_cast<long>(s.tls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  }
  api.curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  api.curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!s.ca_file.empty()) api.curl_easy_setopt(c, CURLOPT_CAINFO, s.ca_file.c_str());
  if (!s.user.empty()) {
    api.curl_easy_setopt(c, CURLOPT_USERNAME, s.user.c_str());
    api.curl_easy_setopt(c, CURLOPT_PASSWORD, s.password.c_str());
  }
  const CURLcode rc = api.curl_easy_perform(c);
  if (rc == CURLE_OK) return;
  if (rc == CURLE_ABORTED_BY_CALLBACK) throw Error("invio interrotto", ErrorKind::kCancelled);
  throw Error(CauseOf(rc, error_buffer[0] != '\0' ? error_buffer : api.curl_easy_strerror(rc), d) +
              " (" + s.smtp + ")");
}

// The message on the standard input of sendmail -t -i, within the time limit and the stop.
void SendLocal(const MailDelivery& d, const std::string& message) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw Error("pipe non disponibile");
  UniqueFd read_end(fds[0]);
  UniqueFd write_end(fds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, read_end.Get(), 0);
  const std::string sender = "-f" + d.from;
  char* argv[] = {const_cast<char*>(kSendmail), const_cast<char*>("-t"), const_cast<char*>("-i"),
                  const_cast<char*>(sender.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, kSendmail, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw Error(std::string("impossibile avviare ") + kSendmail + ": " + std::strerror(spawned) +
                " (indicare SMTP in mail.ini)");
  }
  read_end.Reset();
  fcntl(write_end.Get(), F_SETFL, O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(d.timeout_seconds);
  auto past = [&] { return std::chrono::steady_clock::now() >= deadline || Stopped(d.cancel); };
  size_t sent = 0;
  std::string failure;
  // A sendmail that quits early must not end this process with SIGPIPE.
  sigset_t pipe_signal;
  sigset_t old_mask;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &old_mask);
  while (sent < message.size() && failure.empty()) {
    pollfd p{write_end.Get(), POLLOUT, 0};
    if (past())
      failure = Stopped(d.cancel) ? "invio interrotto" : "sendmail non risponde";
    else if (poll(&p, 1, 100) > 0) {
      const ssize_t n = write(write_end.Get(), message.data() + sent, message.size() - sent);
      if (n < 0 && errno != EAGAIN && errno != EINTR) failure = "sendmail ha chiuso l'ingresso";
      if (n > 0) sent += static_cast<size_t>(n);
    }
  }
  write_end.Reset();
  const timespec no_wait{};
  sigtimedwait(&pipe_signal, nullptr, &no_wait);
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (past()) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      if (failure.empty())
        failure = Stopped(d.cancel) ? "invio interrotto" : "sendmail non risponde";
      break;
    }
    usleep(20000);
  }
  if (failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    failure = "sendmail ha terminato con stato " +
              FormatInt(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }
  if (!failure.empty()) throw Error(failure + " (" + kSendmail + ")");
}

}  // namespace

void DeliverMail(const MailSettings& settings, const MailDelivery& delivery,
                 const std::string& message) {
  if (Trim(settings.smtp).empty()) {
    SendLocal(delivery, message);
  } else {
    SendSmtp(settings, delivery, message);
  }
}

}  // namespace panorello
