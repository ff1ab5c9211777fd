// SQL Server named as its users write it, reached through FreeTDS: TCP sockets on loopback keep
// what arrives (the pre-login is enough), a UDP responder plays the SQL Server Browser.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "db/connection.h"
#include "db/engines.h"
#include "db/stall_listener.h"
#include "db/target/sql_browser.h"
#include "util/error.h"

namespace panorello {
namespace {

// A socket bound to address:port (0: any free port), or fd -1 when that is taken.
int Bound(int type, const std::string& address, int port) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int PortOf(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

// The first byte a client sent on a connection waiting on the listening socket (0x12: a TDS
// pre-login), or -1 when nothing came. The connection is taken after the client gave up on it.
int FirstByteWaiting(int listening) {
  pollfd p{listening, POLLIN, 0};
  if (poll(&p, 1, 1000) <= 0) return -1;
  const int c = accept(listening, nullptr, nullptr);
  unsigned char first = 0;
  const bool got = c >= 0 && recv(c, &first, 1, MSG_DONTWAIT) == 1;
  if (c >= 0) close(c);
  return got ? first : -1;
}

// Plays the SQL Server Browser on a UDP socket: every request is kept and answered with the
// SVR_RESP of one instance on tcp_port.
class BrowserResponder {
 public:
  BrowserResponder(int fd, int tcp_port)
      : fd_(fd), thread_([this, tcp_port] { Serve(tcp_port); }) {}
  ~BrowserResponder() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve(int tcp_port) {
    const std::string data =
        "ServerName;PROVA;InstanceName;SQLEXPRESS;IsClustered;No;Version;15.0.2000.5;tcp;" +
        std::to_string(tcp_port) + ";;";
    const std::string answer = std::string{'\x05', static_cast<char>(data.size() & 0xFF),
                                           static_cast<char>(data.size() >> 8)} +
                               data;
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char request[512];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n =
          recvfrom(fd_, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n <= 0) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.emplace_back(request, static_cast<size_t>(n));
      }
      sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A loopback address of its own whose SQL Server ports (TCP 1433, UDP 1434) are free.
std::string FreeLoopbackAddress() {
  std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 50; ++attempt) {
    const std::string address = "127." + std::to_string(100 + random() % 100) + "." +
                                std::to_string(1 + random() % 250) + "." +
                                std::to_string(1 + random() % 250);
    const int tcp = Bound(SOCK_STREAM, address, 1433);
    const int udp = Bound(SOCK_DGRAM, address, 1434);
    if (tcp >= 0) close(tcp);
    if (udp >= 0) close(udp);
    if (tcp >= 0 && udp >= 0) return address;
  }
  return "";
}

Settings SqlServer(const std::string& server) {
  return Settings{.DbType = "SQLSERVER",
                  .Server = server,
                  .Database = "vendite",
                  .User = "sa",
                  .Password = "segreta"};
}

TEST(SqlServerNames, HostHostPortAndNamedInstanceReachTheirPort) {
  const std::vector<std::string> drivers = RegisteredOdbcDrivers();
  if (std::find(drivers.begin(), drivers.end(), "FreeTDS") == drivers.end()) {
    GTEST_SKIP() << "driver FreeTDS non installato (pacchetto tdsodbc)";
  }
  const std::string host = FreeLoopbackAddress();
  ASSERT_FALSE(host.empty());
  const int default_fd = Bound(SOCK_STREAM, host, 1433);
  const int other_fd = Bound(SOCK_STREAM, host, 0);
  const int instance_fd = Bound(SOCK_STREAM, host, 0);
  const int browser_fd = Bound(SOCK_DGRAM, host, 1434);
  ASSERT_TRUE(default_fd >= 0 && other_fd >= 0 && instance_fd >= 0 && browser_fd >= 0);
  for (int fd : {default_fd, other_fd, instance_fd}) ASSERT_EQ(listen(fd, 8), 0);
  BrowserResponder browser(browser_fd, PortOf(instance_fd));

  const ConnectionLimits limits{.connect_seconds = 2, .query_seconds = 2};
  const std::pair<std::string, int> cases[] = {
      {host, default_fd},
      {host + "," + std::to_string(PortOf(other_fd)), other_fd},
      {host + "\\SQLEXPRESS", instance_fd},
  };
  for (const auto& [server, listening] : cases) {
    std::string error;
    EXPECT_FALSE(TestConnection(SqlServer(server), limits, error)) << server;
    EXPECT_EQ(FirstByteWaiting(listening), 0x12) << server << ": " << error;
    close(listening);
  }
  EXPECT_EQ(browser.Requests(), std::vector<std::string>{std::string("\x04SQLEXPRESS\0", 12)});
  // No browser on another address: the error names the instance and what to check.
  const std::string silent = FreeLoopbackAddress();
  std::string error;
  EXPECT_FALSE(TestConnection(SqlServer(silent + "\\CONTABILITA"), limits, error));
  EXPECT_NE(error.find("Istanza SQL Server CONTABILITA su " + silent + " non trovata"),
            std::string::npos)
      << error;
  EXPECT_NE(error.find("SQL Server Browser"), std::string::npos) << error;
}

std::string Hex(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : text) out += {kHex[c >> 4], kHex[c & 15]};
  return out.empty() ? "-" : out;
}

// Values holding ";", "=" and "{" reach FreeTDS whole, at the port of the settings: the login
// packet carries them. A "}", which FreeTDS cannot receive whole, is refused before anything is
// sent, where it used to add keys (a port of its own).
TEST(SqlServerLogin, ValuesWithSeparatorsReachFreeTdsWhole) {
  const std::vector<std::string> drivers = RegisteredOdbcDrivers();
  if (std::find(drivers.begin(), drivers.end(), "FreeTDS") == drivers.end()) {
    GTEST_SKIP() << "driver FreeTDS non installato (pacchetto tdsodbc)";
  }
  testing::StallListener listener({"tds-login", "--lifetime", "20"});
  ASSERT_TRUE(listener.ok());
  const int other = Bound(SOCK_STREAM, listener.host(), 0);
  ASSERT_TRUE(other >= 0 && listen(other, 8) == 0);
  const std::string port_key = ";Port=" + std::to_string(PortOf(other)) + ";X={";
  Settings s{.DbType = "SQLSERVER",
             .Server = listener.host() + "," + listener.port(),
             .Database = "vendite" + port_key,
             .User = "sa;Pwd=altro",
             .Password = "p;w=x{y" + port_key};
  const ConnectionLimits limits{.connect_seconds = 3, .query_seconds = 3};
  std::string error;
  EXPECT_FALSE(TestConnection(s, limits, error));
  EXPECT_EQ(listener.NextLine(),
            "LOGIN " + Hex(s.User) + " " + Hex(s.Password) + " " + Hex(s.Database))
      << error;
  for (std::string Settings::*field : {&Settings::Database, &Settings::User, &Settings::Password}) {
    Settings braced = s;
    braced.*field = "d}" + port_key;
    EXPECT_FALSE(TestConnection(braced, limits, error));
    EXPECT_NE(error.find("contiene il carattere \"}\", che il driver FreeTDS"), std::string::npos)
        << error;
    EXPECT_EQ(error.find(braced.*field), std::string::npos) << error;
  }
  EXPECT_EQ(FirstByteWaiting(other), -1);
  close(other);
}

TEST(SqlBrowser, PortInTheAnswer) {
  const std::pair<std::string, int> cases[] = {
      {"ServerName;S;InstanceName;A;TCP;1433;np;\\\\S\\pipe\\sql\\query;;", 1433},
      {"ServerName;S;InstanceName;A;np;\\\\S\\pipe\\sql\\query;;", 0},
      {"ServerName;S;tcp;;", 0},
      {"ServerName;S;tcp;70000;;", 0},
      {"ServerName;S;tcp;12ab;", 0},
  };
  for (const auto& [answer, port] : cases) EXPECT_EQ(PortInBrowserAnswer(answer), port) << answer;
}

}  // namespace
}  // namespace panorello
