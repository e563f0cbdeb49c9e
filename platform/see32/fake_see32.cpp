// A recording stand-in for the mail engine, loaded by dyncall_test in place of SEE32.DLL: each
// export appends its name and arguments to a list that fakeCallLog() hands back.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex gMu;
std::string gLog;  // one line per call: "seeAttach(1,7)"

void record(const std::string& line) {
  std::lock_guard lock(gMu);
  gLog += line + "\n";
}

std::string quoted(const char* s) { return s == nullptr ? "NULL" : "\"" + std::string(s) + "\""; }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) std::int32_t seeAttach(std::int32_t n, std::int32_t key) {
  record("seeAttach(" + std::to_string(n) + "," + std::to_string(key) + ")");
  return n;
}

__attribute__((visibility("default"))) std::int32_t seeStringParam(std::int32_t chan,
                                                                   std::int32_t index,
                                                                   char* value) {
  record("seeStringParam(" + std::to_string(chan) + "," + std::to_string(index) + "," +
         quoted(value) + ")");
  return 0;
}

__attribute__((visibility("default"))) std::int32_t seeSmtpConnectSSL(
    std::int32_t chan, std::int32_t proxyPort, std::int32_t smtpPort, char* server, char* user,
    char* pass, char* from, char* reply, char* proxyIp) {
  record("seeSmtpConnectSSL(" + std::to_string(chan) + "," + std::to_string(proxyPort) + "," +
         std::to_string(smtpPort) + "," + quoted(server) + "," + quoted(user) + "," + quoted(pass) +
         "," + quoted(from) + "," + quoted(reply) + "," + quoted(proxyIp) + ")");
  return -12;
}

// Writes "error <code>" into the caller's buffer, as the engine's seeErrorText would.
__attribute__((visibility("default"))) std::int32_t seeErrorText(std::int32_t chan,
                                                                 std::int32_t code, char* buf,
                                                                 std::int32_t len) {
  record("seeErrorText(" + std::to_string(chan) + "," + std::to_string(code) + ",buffer," +
         std::to_string(len) + ")");
  const std::string text = "error " + std::to_string(code);
  if (buf == nullptr || len <= 0) return 0;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(len) - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return static_cast<std::int32_t>(n);
}

__attribute__((visibility("default"))) std::int32_t seeRelease(void) {
  record("seeRelease()");
  return 0;
}

// The calls so far, copied into `buf` (NUL-terminated); returns the full length.
__attribute__((visibility("default"))) std::int32_t fakeCallLog(char* buf, std::int32_t len) {
  std::lock_guard lock(gMu);
  if (buf != nullptr && len > 0) {
    const std::size_t n = std::min(gLog.size(), static_cast<std::size_t>(len) - 1);
    std::memcpy(buf, gLog.data(), n);
    buf[n] = '\0';
  }
  return static_cast<std::int32_t>(gLog.size());
}

__attribute__((visibility("default"))) std::int32_t fakeReset(void) {
  std::lock_guard lock(gMu);
  gLog.clear();
  return 0;
}

}  // extern "C"
