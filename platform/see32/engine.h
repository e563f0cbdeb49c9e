// Engine: the state behind the see* exports, one session per calling thread.
//
// A session holds the attached channels (SmtpChannel), the TLS settings of seeConfigSSL, the
// proxy settings of seeSetProxySSL and the last failure of each channel, so that seeErrorText
// can say what went wrong. Sessions are per thread because the suite mails from report threads
// that run side by side, each attaching, using channel 0 and releasing on its own; one
// process-wide session would let one thread's release cut another's send.
//
// Thread safety: every member may be called from any thread. The table of sessions is guarded
// by mu_, held only while a session is found, made or removed; a session is used only by its
// own thread, so no lock is held while a channel talks to a server. A thread's session is
// released when the thread ends, if it has not been released before.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host_files.h"
#include "see_status.h"
#include "smtp_channel.h"

namespace see32 {

struct ProxySettings {
  std::int32_t code = 0;
  std::int32_t flags = 0;
  std::string directory;
  std::string certificate;
  std::string program;  // recorded only: the engine never starts a program
  std::int32_t port = 0;
  std::string address;
};

struct SecureConnect {
  std::int32_t proxyPort = 0;
  std::int32_t smtpPort = 0;
  std::string_view server, user, password, from, replyTo, proxyAddress;
};

class Engine {
 public:
  // The process-wide engine. Never destroyed, so that a thread ending late still finds it.
  static Engine& instance();

  // Whether libcurl was initialised when the library was loaded; attach() fails otherwise.
  static void setCurlReady(bool ready, std::string why);

  SeeResult<std::int32_t> attach(std::int32_t channels, std::int32_t keyCode);
  SeeStatus release();
  SeeStatus integerParam(std::int32_t chan, std::int32_t index, std::int32_t value);
  SeeStatus stringParam(std::int32_t chan, std::int32_t index, std::string_view value);
  SeeStatus configSsl(std::int32_t code, std::string_view settings);
  SeeStatus setProxy(std::int32_t code, std::int32_t flags, std::string_view directory,
                     std::string_view certificate, std::string_view program);
  SeeStatus connect(std::int32_t chan, std::string_view server, std::string_view from,
                    std::string_view replyTo);
  SeeStatus connectSecure(std::int32_t chan, const SecureConnect& request);
  SeeStatus send(std::int32_t chan, std::string_view to, std::string_view cc, std::string_view bcc,
                 std::string_view subject, std::string_view text, std::string_view attachments);
  SeeStatus close(std::int32_t chan);
  SeeStatus setDriveMap(std::string_view drives, std::string_view shares);

  // The text for `code` as seeErrorText gives it (see32.h).
  std::string errorText(std::int32_t chan, std::int32_t code);
  // Records `s` as the calling thread's last failure (the exports do this for every failure,
  // so that the texts of failures outside a channel can be asked for too). Returns s.code().
  std::int32_t fail(const SeeStatus& s, std::int32_t chan = -1);

  // The session's proxy settings (tests).
  SeeResult<ProxySettings> proxySettings();
  // How many sessions exist (tests of the per-thread rule).
  std::size_t sessionCount();

 private:
  struct Channel {
    SmtpChannel smtp;
    std::int32_t lastCode = kSeeOk;
    std::string lastText;
  };
  struct Session {
    std::vector<std::unique_ptr<Channel>> channels;
    std::int32_t keyCode = 0;
    std::int32_t tlsDebug = 0;
    ProxySettings proxy;
  };

  Engine() = default;
  Session* current();
  SeeResult<Channel*> channel(std::int32_t chan);
  void dropThread(std::thread::id id);
  friend struct ThreadExit;

  std::mutex mu_;  // guards sessions_
  std::unordered_map<std::thread::id, std::unique_ptr<Session>> sessions_;
  HostFiles files_;
};

}  // namespace see32
