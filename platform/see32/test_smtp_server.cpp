#include "test_smtp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "dyncall.h"

extern char** environ;

namespace see32::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

pid_t spawn(const std::vector<std::string>& argv, const fs::path& log) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int toInt(const std::string& text) {
  int v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

bool answers(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "see32_test_XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

int run(const std::vector<std::string>& argv, const fs::path& log) {
  const pid_t pid = spawn(argv, log);
  if (pid < 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> serverUnavailable() {
  if (::access(kPython, X_OK) != 0) return std::string(kPython) + " is not installed";
  TempDir tmp;
  if (run({kPython, "-c", "import aiosmtpd"}, tmp / "check.log") != 0) {
    return std::string(kPython) + " has no aiosmtpd (Debian package python3-aiosmtpd)";
  }
  return std::nullopt;
}

bool makeCertificate(const fs::path& dir) {
  const char* openssl = "/usr/bin/openssl";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return run({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
              (dir / "key.pem").string(), "-out", (dir / "cert.pem").string(), "-days", "2",
              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"},
             dir / "openssl.log") == 0;
}

int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

std::string Received::get(const std::string& key) const {
  const auto it = fields.find(key);
  return it == fields.end() ? "(missing)" : it->second;
}

std::vector<std::string> Received::all(const std::string& key) const {
  std::vector<std::string> out;
  for (auto [it, end] = fields.equal_range(key); it != end; ++it) out.push_back(it->second);
  return out;
}

std::string TestSmtpServer::start(const ServerOptions& o) {
  const fs::path script = dyncall::executableDirectory() / "smtp_server.py";
  if (!fs::exists(script)) return "the server script is missing: " + script.string();
  fs::create_directories(dir_ / "mail");
  std::vector<std::string> argv = {kPython,       script.string(),
                                   "--dir",       (dir_ / "mail").string(),
                                   "--port-file", (dir_ / "port").string()};
  if (o.tls) {
    argv.insert(argv.end(),
                {"--tls", (o.certDir / "cert.pem").string(), (o.certDir / "key.pem").string()});
  }
  if (!o.user.empty()) argv.insert(argv.end(), {"--auth", o.user, o.password});
  if (o.authPlaintext) argv.push_back("--auth-plaintext");
  pid_ = spawn(argv, dir_ / "server.log");
  if (pid_ < 0) return "cannot start " + std::string(kPython);
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return "the server ended at once:\n" + output();
    }
    if (fs::exists(dir_ / "port")) {
      port_ = toInt(readFile(dir_ / "port"));
      if (port_ > 0 && answers(port_)) return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  stop();
  return "the server did not answer within 20 s:\n" + output();
}

void TestSmtpServer::stop() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (::waitpid(pid_, &status, WNOHANG) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (::waitpid(pid_, &status, WNOHANG) == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

std::string TestSmtpServer::output() const { return readFile(dir_ / "server.log"); }

int TestSmtpServer::messageCount() const {
  int n = 0;
  while (fs::exists(dir_ / "mail" / (std::to_string(n + 1) + ".done"))) ++n;
  return n;
}

std::optional<Received> TestSmtpServer::message(int n, std::chrono::seconds limit) {
  const fs::path base = dir_ / "mail" / std::to_string(n);
  const auto deadline = Clock::now() + limit;
  while (!fs::exists(base.string() + ".done")) {
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Received r;
  r.raw = readFile(base.string() + ".eml");
  std::istringstream lines(readFile(base.string() + ".txt"));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) r.fields.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  const int parts = toInt(r.get("part.count"));
  for (int k = 1; k <= parts; ++k) {
    r.parts.push_back(readFile(base.string() + ".part" + std::to_string(k) + ".bin"));
  }
  return r;
}

}  // namespace see32::test
