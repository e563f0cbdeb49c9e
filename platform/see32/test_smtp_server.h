// Test helpers for the mail engine against a real SMTP server: a temporary directory, the
// aiosmtpd server of testdata/smtp_server.py (copied beside the test binary by the build) run
// with /usr/bin/python3, a self-signed certificate made with openssl, and a port where nothing
// listens.
//
// Test-only. Thread safety: a TestSmtpServer is used by the test's main thread; the messages
// it saves may be read from any thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace see32::test {

inline constexpr const char* kPython = "/usr/bin/python3";

// A fresh directory under the host's temporary directory, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs argv[0] (a full path) with the arguments, output into `log`; the exit status, or -1.
int run(const std::vector<std::string>& argv, const std::filesystem::path& log);

// Why /usr/bin/python3 cannot run the server (no python, no aiosmtpd), or nullopt when it can.
std::optional<std::string> serverUnavailable();

// Makes cert.pem and key.pem (CN and subjectAltName 127.0.0.1) in `dir`; false on failure.
bool makeCertificate(const std::filesystem::path& dir);

// A loopback port where nothing listens (bound, then closed again).
int closedPort();

// One saved message: the parser's summary (see smtp_server.py), the raw bytes and its parts.
struct Received {
  std::multimap<std::string, std::string> fields;
  std::string raw;
  std::vector<std::string> parts;  // decoded bodies of the leaf parts, part 1 first

  // The first value of `key`, or "(missing)".
  std::string get(const std::string& key) const;
  std::vector<std::string> all(const std::string& key) const;
  bool has(const std::string& key) const { return fields.count(key) > 0; }
};

struct ServerOptions {
  bool tls = false;               // STARTTLS offered and required (needs a certificate)
  std::filesystem::path certDir;  // holds cert.pem and key.pem
  std::string user, password;     // AUTH required when set
  bool authPlaintext = false;     // allow AUTH without TLS
};

class TestSmtpServer {
 public:
  explicit TestSmtpServer(std::filesystem::path workDir) : dir_(std::move(workDir)) {}
  ~TestSmtpServer() { stop(); }
  TestSmtpServer(const TestSmtpServer&) = delete;
  TestSmtpServer& operator=(const TestSmtpServer&) = delete;

  // Starts the server and waits until its port answers. An empty text when it runs, else why
  // not (with the server's output).
  std::string start(const ServerOptions& options);
  void stop();
  int port() const { return port_; }
  // The server's output so far (for failure messages).
  std::string output() const;

  // Waits for message n (1 for the first) to be saved, up to `limit`.
  std::optional<Received> message(int n, std::chrono::seconds limit = std::chrono::seconds(20));
  // How many messages have been saved so far.
  int messageCount() const;

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace see32::test
