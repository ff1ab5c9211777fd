#include "db/target/sql_browser.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "util/error.h"
#include "util/text.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr char kRequestInstance = 0x04;    // CLNT_UCAST_INST
constexpr unsigned char kResponse = 0x05;  // SVR_RESP
constexpr size_t kMaxInstanceName = 32;

struct Addresses {
  addrinfo* list = nullptr;
  ~Addresses() {
    if (list != nullptr) freeaddrinfo(list);
  }
};

[[noreturn]] void NotFound(const std::string& host, const std::string& instance,
                           const std::string& why) {
  throw Error("Istanza SQL Server " + instance + " su " + host + " non trovata (" + why +
                  "): verificare il nome dell'istanza e che il servizio SQL Server Browser (porta "
                  "UDP 1434) sia avviato e raggiungibile, oppure indicare la porta come " +
                  host + ",PORTA",
              ErrorKind::kDatabase);
}

}  // namespace

int PortInBrowserAnswer(std::string_view answer) {
  const std::string lowered = AsciiLowerCase(answer);
  const size_t tcp = lowered.find(";tcp;");
  if (tcp == std::string::npos) return 0;
  long port = 0;
  size_t i = tcp + 5;
  for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9' && port <= 65535; ++i) {
    port = port * 10 + (answer[i] - '0');
  }
  if (i == tcp + 5 || (i < answer.size() && answer[i] != ';') || port < 1 || port > 65535) return 0;
  return static_cast<int>(port);
}

int SqlBrowserPort(const std::string& host, const std::string& instance,
                   std::chrono::milliseconds timeout) {
  if (instance.empty() || instance.size() > kMaxInstanceName) {
    NotFound(host, instance, "nome dell'istanza vuoto o più lungo di 32 caratteri");
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  Addresses addresses;
  if (const int rc = getaddrinfo(host.c_str(), "1434", &hints, &addresses.list); rc != 0) {
    NotFound(host, instance, std::string("nome del server sconosciuto: ") + gai_strerror(rc));
  }
  const addrinfo* address = addresses.list;
  UniqueFd s(
      ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
  if (!s.Valid() || ::connect(s.Get(), address->ai_addr, address->ai_addrlen) != 0) {
    NotFound(host, instance, "indirizzo non raggiungibile");
  }
  std::string request(1, kRequestInstance);
  request += instance;
  request.push_back('\0');
  const SteadyClock::time_point deadline = SteadyClock::now() + timeout;
  const SteadyClock::time_point resend =
      SteadyClock::now() + timeout / 2;  // one more try for a lost packet
  bool resent = false;
  ::send(s.Get(), request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer(65536, '\0');
  for (;;) {
    const SteadyClock::time_point now = SteadyClock::now();
    if (now >= deadline)
      NotFound(host, instance, "nessuna risposta dal servizio SQL Server Browser");
    if (!resent && now >= resend) {
      ::send(s.Get(), request.data(), request.size(), MSG_NOSIGNAL);
      resent = true;
    }
    const SteadyClock::time_point until = resent ? deadline : resend;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    pollfd p{s.Get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(wait, 1)));
    if (ready < 0 && errno != EINTR) NotFound(host, instance, "errore di rete");
    if (ready <= 0) continue;
    const ssize_t n = ::recv(s.Get(), answer.data(), answer.size(), 0);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      NotFound(host, instance, "il servizio SQL Server Browser non è in ascolto");
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(answer.data());
    if (n < 3 || bytes[0] != kResponse) continue;  // not an answer to this request
    const size_t size = std::min<size_t>(bytes[1] | (bytes[2] << 8), static_cast<size_t>(n) - 3);
    const int port = PortInBrowserAnswer(std::string_view(answer.data() + 3, size));
    if (port == 0) NotFound(host, instance, "l'istanza non accetta connessioni TCP");
    return port;
  }
}

}  // namespace panorello
