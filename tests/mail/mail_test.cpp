// /MAIL end to end: the built program mails its page to a loopback SMTP server (aiosmtpd), and
// what arrives is read back with Python's own e-mail parser.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "app/program_fixture.h"

extern char** environ;

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

const std::string kScript = std::string(PANORELLO_SOURCE_DIR) + "/tests/mail/smtp_server.py";

bool HaveAiosmtpd() {
  return std::system("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1") == 0;
}

// The server of one case, stopped (SIGTERM) when the object ends.
class SmtpServer {
 public:
  SmtpServer(const std::string& folder, const std::vector<std::string>& options) : folder_(folder) {
    std::vector<std::string> words = {"/usr/bin/python3", kScript, "serve", folder};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    for (int i = 0; i < 200 && pid_ > 0 && port.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      port = ReadBytes(folder + "/port");
    }
  }
  ~SmtpServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  SmtpServer(const SmtpServer&) = delete;
  SmtpServer& operator=(const SmtpServer&) = delete;
  std::string port;

 private:
  std::string folder_;
  pid_t pid_ = -1;
};

// A port on which nothing listens.
std::string ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return std::to_string(ntohs(a.sin_port));
}

// key=value lines of the inspector for message file eml; its files go to folder.
std::multimap<std::string, std::string> Inspect(const std::string& eml, const std::string& folder) {
  const std::string command = "/usr/bin/python3 '" + kScript + "' inspect '" + eml + "' '" +
                              folder + "' > '" + folder + "/facts'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::multimap<std::string, std::string> facts;
  std::istringstream lines(ReadBytes(folder + "/facts"));
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) facts.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  return facts;
}

std::string Fact(const std::multimap<std::string, std::string>& facts, const std::string& key) {
  const auto it = facts.find(key);
  return it == facts.end() ? "<missing>" : it->second;
}

class Mail : public Program {
 protected:
  void SetUp() override {
    if (!HaveAiosmtpd()) GTEST_SKIP() << "python3-aiosmtpd is missing (make deps)";
    Program::SetUp();
    std::filesystem::create_directory(File("smtp"));
  }
  void MailIni(const std::string& text, mode_t mode) {
    WriteBytes(File("mail.ini"), text);
    chmod(File("mail.ini").c_str(), mode);
  }
};

constexpr const char* kPassword = "s3greta-Pw";

// Every way a delivery can go, against the server the case starts.
TEST_F(Mail, DeliversOrFailsWithTheCause) {
  const std::string rows =
      "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < 25) ";
  WriteBytes(
      File("blocks.ini"),
      testing::BlockText(1, "Ordini", "", "SELECT 12 AS Ordini, 'aperto' AS Stato", "KPI") +
          testing::BlockText(2, "Righe", "", rows + "SELECT n, 'riga ' || n AS t FROM r", "TABLE") +
          testing::BlockText(3, "Vendite", "", rows + "SELECT 'M' || n AS m, n * 10 AS v FROM r",
                             "CHART") +
          testing::BlockText(4, "Rotto", "", "SELECT * FROM manca", "TABLE"));
  Config({"PAGETITLE=Cruscotto"});
  ASSERT_EQ(std::system(("cd '" + File("smtp") +
                         "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out "
                         "cert.pem -days 1 -subj /CN=localhost -addext "
                         "subjectAltName=IP:127.0.0.1 >/dev/null 2>&1")
                            .c_str()),
            0);
  const std::string cert = File("smtp/cert.pem");
  const std::string key = File("smtp/key.pem");
  struct Case {
    const char* name;
    std::vector<std::string> server;  // empty name: no server at all
    bool up;
    std::string ini;  // after SMTP=smtp://127.0.0.1:PORT
    mode_t mode;
    int exit;
    const char* err;  // part of the stderr line when it fails
  };
  const std::vector<Case> cases = {
      {"relay without TLS",
       {},
       true,
       "TLS=0\nFROM=Cruscotto Vendite <report@ditta.it>\n"
       "SUBJECT=Vendite di luglio è così\n",
       0644,
       3,
       ""},
      {"STARTTLS and AUTH",
       {"--tls", cert, key, "--auth", std::string("user:") + kPassword},
       true,
       "CAFILE=" + cert + "\nUSER=user\nPASSWORD=" + kPassword + "\nFROM=report@ditta.it\n",
       0600,
       3,
       ""},
      {"TLS=1 and no STARTTLS", {}, true, "FROM=report@ditta.it\n", 0644, 1, "STARTTLS"},
      {"recipient refused",
       {"--refuse", "b@ditta.it"},
       true,
       "TLS=0\n",
       0644,
       1,
       "Errore invio e-mail: "},
      {"server down", {}, false, "TLS=0\n", 0644, 1, "Errore invio e-mail: "},
      {"password readable by others",
       {},
       true,
       "TLS=0\nUSER=user\nPASSWORD=" + std::string(kPassword) + "\n",
       0644,
       1,
       "chmod 600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(File("smtp/out"));
    std::filesystem::create_directory(File("smtp/out"));
    std::filesystem::remove(File("page.html"));
    std::filesystem::remove(File("panorello.log"));
    std::optional<SmtpServer> server;
    if (c.up) server.emplace(File("smtp/out"), c.server);
    const std::string port = c.up ? server->port : ClosedPort();
    ASSERT_FALSE(port.empty()) << "the SMTP server did not start";
    MailIni("SMTP=smtp://127.0.0.1:" + port + "\n" + c.ini, c.mode);
    EXPECT_EQ(Run("/RUN /MAIL=a@ditta.it,b@ditta.it"), c.exit) << err;
    const std::string page = ReadBytes(File("page.html"));
    EXPECT_FALSE(page.empty());  // the page stays written whatever the mail did
    const std::string message = ReadBytes(File("smtp/out/1.eml"));
    EXPECT_EQ(err.find(kPassword), std::string::npos);
    EXPECT_EQ(message.find(kPassword), std::string::npos);
    EXPECT_EQ(Log().find(kPassword), std::string::npos);
    if (c.exit == 1) {
      EXPECT_TRUE(message.empty());
      EXPECT_NE(err.find(std::string("Batch terminato con errore: ") + "Errore invio e-mail: "),
                std::string::npos)
          << err;
      EXPECT_NE(err.find(c.err), std::string::npos) << err;
      EXPECT_NE(Log().find(" - Errore invio e-mail: "), std::string::npos);
      continue;
    }
    EXPECT_NE(Log().find(" - Invio e-mail a a@ditta.it, b@ditta.it OK\r\n"), std::string::npos);
    EXPECT_EQ(ReadBytes(File("smtp/out/1.env")), "report@ditta.it\na@ditta.it\nb@ditta.it\n");
    const auto facts = Inspect(File("smtp/out/1.eml"), File("smtp/out"));
    EXPECT_EQ(Fact(facts, "structure"),
              "multipart/mixed[multipart/related[multipart/alternative[text/plain,text/html],"
              "image/png],text/html]");
    EXPECT_EQ(Fact(facts, "header.To"), "a@ditta.it, b@ditta.it");
    EXPECT_EQ(Fact(facts, "header.MIME-Version"), "1.0");
    EXPECT_NE(Fact(facts, "header.Date"), "");
    EXPECT_TRUE(Fact(facts, "header.Message-ID").ends_with("@ditta.it>"));
    EXPECT_EQ(Fact(facts, "raw_ascii") + Fact(facts, "crlf_only") + Fact(facts, "long_lines"),
              "TrueTrue0");
    EXPECT_EQ(Fact(facts, "cids") + Fact(facts, "pngs") + Fact(facts, "cids_without_png"), "110");
    EXPECT_EQ(Fact(facts, "png_signature"), "True");
    EXPECT_EQ(Fact(facts, "html_svg_or_script") + Fact(facts, "html_width_640"), "FalseTrue");
    EXPECT_TRUE(ReadBytes(File("smtp/out/attachment.html")) == page);
    const std::string plain = ReadBytes(File("smtp/out/plain.txt"));
    for (const char* part : {"Ordini: 12", "Stato: aperto", "== Righe ==", "20 | riga 20",
                             "… altre 5 righe nella pagina allegata", "Errore query: "}) {
      EXPECT_NE(plain.find(part), std::string::npos) << part << "\n" << plain;
    }
    EXPECT_EQ(plain.find("21 | riga 21"), std::string::npos);
    const std::string html = ReadBytes(File("smtp/out/mail.html"));
    EXPECT_NE(html.find("… altre 5 righe nella pagina allegata"), std::string::npos);
    EXPECT_NE(html.find("background:#2563eb"), std::string::npos);  // the first KPI card
    if (c.mode == 0644) {
      EXPECT_EQ(Fact(facts, "header.From"), "Cruscotto Vendite <report@ditta.it>");
      EXPECT_EQ(Fact(facts, "header.Subject"), "Vendite di luglio è così");
    } else {
      EXPECT_TRUE(Fact(facts, "header.Subject").starts_with("Cruscotto - "))
          << Fact(facts, "header.Subject");
    }
  }
}

// A stop signal reaches a mail server that never answers: the run ends at once, the page stays.
TEST_F(Mail, StopReachesASilentServer) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 4), 0);  // the kernel accepts; no greeting ever comes
  socklen_t len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  MailIni("SMTP=smtp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "\nTLS=0\n", 0644);
  const auto start = std::chrono::steady_clock::now();
  const int status =
      std::system(("cd '" + folder.Path() +
                   "' && env -i PATH=/usr/bin:/bin timeout --preserve-status -s TERM "
                   "2 ./panorello /RUN /MAIL=a@ditta.it 2> err.txt")
                      .c_str());
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
          .count();
  close(listener);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 128 + SIGTERM);
  EXPECT_LT(seconds, 10);
  EXPECT_NE(Log().find(" - Errore invio e-mail: invio interrotto"), std::string::npos) << Log();
  EXPECT_FALSE(ReadBytes(File("page.html")).empty());
}

// The demo's blocks, every kind of body, go out without an error.
TEST_F(Mail, DemoBlocksAreMailed) {
  WriteBytes(File("blocks.ini"), ReadBytes(testing::DemoBlocksSource()));
  Config({"DATABASE=" + File("demo_panorello.mdb")});
  SmtpServer server(File("smtp"), {});
  ASSERT_FALSE(server.port.empty());
  MailIni("SMTP=smtp://127.0.0.1:" + server.port + "\nTLS=0\nTO=team@ditta.it\n", 0644);
  EXPECT_EQ(Run("/RUN /DASH=DEMO /MAIL"), 0) << err;
  EXPECT_NE(Log().find(" - Invio e-mail a team@ditta.it OK"), std::string::npos) << Log();
  const auto facts = Inspect(File("smtp/1.eml"), File("smtp"));
  EXPECT_NE(Fact(facts, "pngs"), "0");
  EXPECT_EQ(Fact(facts, "cids"), Fact(facts, "pngs"));
  EXPECT_EQ(Fact(facts, "cids_without_png"), "0");
  EXPECT_TRUE(ReadBytes(File("smtp/attachment.html")) == ReadBytes(File("page.html")));
}

}  // namespace
}  // namespace panorello
