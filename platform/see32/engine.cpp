#include "engine.h"

#include <atomic>
#include <charconv>

#include "error_text.h"
#include "message_headers.h"

namespace see32 {
namespace {

std::atomic<bool> gCurlReady{false};
std::string gCurlProblem = "libcurl was not initialised";  // written once, at load time

// The calling thread's last failure, for seeErrorText when no channel holds it.
struct LastFailure {
  std::int32_t code = kSeeOk;
  std::string text;
};
thread_local LastFailure tLastFailure;

constexpr std::int32_t kDefaultSmtpPort = 25;
constexpr std::int32_t kImplicitTlsPort = 465;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

SeeStatus notAttached() {
  return {kSeeNotAttached, "the mail engine is not attached: call seeAttach first"};
}

}  // namespace

// Releases the thread's session when the thread ends; made by the first attach of a thread.
struct ThreadExit {
  std::thread::id id = std::this_thread::get_id();
  ~ThreadExit() { Engine::instance().dropThread(id); }
};

Engine& Engine::instance() {
  static Engine* const engine = new Engine();  // never destroyed, see the header
  return *engine;
}

void Engine::setCurlReady(bool ready, std::string why) {
  if (!ready) gCurlProblem = std::move(why);
  gCurlReady.store(ready);
}

Engine::Session* Engine::current() {
  std::lock_guard lock(mu_);
  const auto it = sessions_.find(std::this_thread::get_id());
  return it == sessions_.end() ? nullptr : it->second.get();
}

SeeResult<Engine::Channel*> Engine::channel(std::int32_t chan) {
  Session* s = current();
  if (s == nullptr) return notAttached();
  if (chan < 0 || static_cast<std::size_t>(chan) >= s->channels.size()) {
    return SeeStatus(kSeeBadChannel, "channel " + std::to_string(chan) +
                                         " is not attached (channels 0 to " +
                                         std::to_string(s->channels.size() - 1) + ")");
  }
  return s->channels[static_cast<std::size_t>(chan)].get();
}

void Engine::dropThread(std::thread::id id) {
  std::unique_ptr<Session> gone;
  {
    std::lock_guard lock(mu_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    gone = std::move(it->second);
    sessions_.erase(it);
  }
  // `gone` closes its connections here, outside the lock: QUIT may take a moment.
}

SeeResult<std::int32_t> Engine::attach(std::int32_t channels, std::int32_t keyCode) {
  if (!gCurlReady.load()) return SeeStatus(kSeeEngineFailure, gCurlProblem);
  if (channels < 1 || channels > kSeeMaxChannels) {
    return SeeStatus(kSeeBadArgument, "cannot attach " + std::to_string(channels) +
                                          " channels: 1 to " + std::to_string(kSeeMaxChannels) +
                                          " are possible");
  }
  auto session = std::make_unique<Session>();
  session->keyCode = keyCode;
  for (std::int32_t i = 0; i < channels; ++i) {
    session->channels.push_back(std::make_unique<Channel>());
  }
  thread_local ThreadExit exitGuard;
  (void)exitGuard.id;
  std::unique_ptr<Session> replaced;
  {
    std::lock_guard lock(mu_);
    std::unique_ptr<Session>& slot = sessions_[std::this_thread::get_id()];
    replaced = std::move(slot);
    slot = std::move(session);
  }
  return channels;
}

SeeStatus Engine::release() {
  const std::thread::id id = std::this_thread::get_id();
  {
    std::lock_guard lock(mu_);
    if (sessions_.find(id) == sessions_.end()) return notAttached();
  }
  dropThread(id);
  return SeeStatus::ok();
}

SeeStatus Engine::integerParam(std::int32_t chan, std::int32_t index, std::int32_t value) {
  SeeResult<Channel*> ch = channel(chan);
  if (!ch) return ch.status();
  return (*ch)->smtp.setInteger(index, value);
}

SeeStatus Engine::stringParam(std::int32_t chan, std::int32_t index, std::string_view value) {
  SeeResult<Channel*> ch = channel(chan);
  if (!ch) return ch.status();
  return (*ch)->smtp.setString(index, value);
}

SeeStatus Engine::configSsl(std::int32_t code, std::string_view settings) {
  Session* s = current();
  if (s == nullptr) return notAttached();
  if (code != kSeeConfigSettings) {
    return {kSeeNotSupported,
            "TLS configuration code " + std::to_string(code) + " is not supported by this engine"};
  }
  std::int32_t debug = s->tlsDebug;
  while (!settings.empty()) {
    const std::size_t end = settings.find_first_of(";\r\n");
    const std::string_view entry = trim(settings.substr(0, end));
    settings.remove_prefix(end == std::string_view::npos ? settings.size() : end + 1);
    if (entry.empty()) continue;
    const std::size_t eq = entry.find('=');
    const std::string_view key = trim(entry.substr(0, eq));
    const std::string_view value = eq == std::string_view::npos ? "" : trim(entry.substr(eq + 1));
    if (!sameWord(key, "debug")) {
      return {kSeeNotSupported,
              "TLS setting \"" + std::string(key) + "\" is not supported by this engine"};
    }
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), debug);
    if (ec != std::errc() || ptr != value.data() + value.size() || debug < 0) {
      return {kSeeBadArgument, "TLS setting debug=" + std::string(value) + ": not a number"};
    }
  }
  s->tlsDebug = debug;
  return SeeStatus::ok();
}

SeeStatus Engine::setProxy(std::int32_t code, std::int32_t flags, std::string_view directory,
                           std::string_view certificate, std::string_view program) {
  Session* s = current();
  if (s == nullptr) return notAttached();
  s->proxy.code = code;
  s->proxy.flags = flags;
  s->proxy.directory = std::string(trim(directory));
  s->proxy.certificate = std::string(trim(certificate));
  s->proxy.program = std::string(trim(program));
  return SeeStatus::ok();
}

SeeStatus Engine::connect(std::int32_t chan, std::string_view server, std::string_view from,
                          std::string_view replyTo) {
  SeeResult<Channel*> ch = channel(chan);
  if (!ch) return ch.status();
  SmtpChannel& smtp = (*ch)->smtp;
  const ChannelParams& p = smtp.params();
  ConnectRequest r;
  r.server = server;
  r.port = p.port > 0 ? p.port : kDefaultSmtpPort;
  // Port 465 carries only implicit TLS; plain text there can never work.
  r.tls = r.port == kImplicitTlsPort ? TlsMode::kImplicit : TlsMode::kNone;
  r.user = p.user;
  r.password = p.password;
  r.from = from;
  r.replyTo = replyTo;
  return smtp.connect(r);
}

SeeStatus Engine::connectSecure(std::int32_t chan, const SecureConnect& q) {
  SeeResult<Channel*> ch = channel(chan);
  if (!ch) return ch.status();
  if (q.smtpPort < 0 || q.smtpPort > 65535) {
    return {kSeeBadArgument, "SMTP port " + std::to_string(q.smtpPort) + " is not in 0..65535"};
  }
  Session* s = current();
  s->proxy.port = q.proxyPort;
  s->proxy.address = std::string(trim(q.proxyAddress));
  SmtpChannel& smtp = (*ch)->smtp;
  const ChannelParams& p = smtp.params();
  ConnectRequest r;
  r.server = q.server;
  r.port = q.smtpPort > 0 ? q.smtpPort : p.port > 0 ? p.port : kDefaultSmtpPort;
  r.tls = r.port == kImplicitTlsPort ? TlsMode::kImplicit : TlsMode::kStartTls;
  const std::string certificate = HostFiles::join(s->proxy.directory, s->proxy.certificate);
  if (!certificate.empty() && !s->proxy.certificate.empty()) {
    // A certificate file that is not there leaves the system's store alone in charge.
    SeeResult<std::filesystem::path> file = files_.existingFile(certificate, kSeeTlsFailed);
    if (file) r.caFile = std::move(file).value();
  }
  const bool ownCredentials = !trim(q.user).empty() || !q.password.empty();
  r.user = ownCredentials ? q.user : std::string_view(p.user);
  r.password = ownCredentials ? q.password : std::string_view(p.password);
  r.from = q.from;
  r.replyTo = q.replyTo;
  return smtp.connect(r);
}

SeeStatus Engine::send(std::int32_t chan, std::string_view to, std::string_view cc,
                       std::string_view bcc, std::string_view subject, std::string_view text,
                       std::string_view attachments) {
  SeeResult<Channel*> ch = channel(chan);
  if (!ch) return ch.status();
  SmtpChannel& smtp = (*ch)->smtp;
  if (!smtp.connected()) {
    return {kSeeNotConnected, "not connected: connect to the SMTP server first"};
  }
  OutgoingMessage m;
  m.to = to;
  m.cc = cc;
  m.bcc = bcc;
  m.subject = subject;
  m.text = text;
  while (!attachments.empty()) {
    const std::size_t semi = attachments.find(';');
    const std::string_view name = trim(attachments.substr(0, semi));
    attachments.remove_prefix(semi == std::string_view::npos ? attachments.size() : semi + 1);
    if (name.empty()) continue;
    SeeResult<std::filesystem::path> file = files_.existingFile(name, kSeeNoAttachment);
    if (!file) {
      return {kSeeNoAttachment, "attachment " + file.status().text()};
    }
    m.attachments.push_back({std::move(file).value(), std::string(fileNamePart(name))});
  }
  return smtp.send(m);
}

SeeStatus Engine::close(std::int32_t chan) {
  SeeResult<Channel*> ch = channel(chan);
  if (!ch) return ch.status();
  (*ch)->smtp.close();
  return SeeStatus::ok();
}

SeeStatus Engine::setDriveMap(std::string_view drives, std::string_view shares) {
  return files_.setMappings(drives, shares);
}

std::int32_t Engine::fail(const SeeStatus& s, std::int32_t chan) {
  if (s.isOk()) return s.code();
  tLastFailure = {s.code(), s.text()};
  if (Session* session = current(); session != nullptr && chan >= 0 &&
                                    static_cast<std::size_t>(chan) < session->channels.size()) {
    Channel& c = *session->channels[static_cast<std::size_t>(chan)];
    c.lastCode = s.code();
    c.lastText = s.text();
  }
  return s.code();
}

std::string Engine::errorText(std::int32_t chan, std::int32_t code) {
  if (code >= 0) return genericErrorText(code);
  if (Session* session = current(); session != nullptr && chan >= 0 &&
                                    static_cast<std::size_t>(chan) < session->channels.size()) {
    const Channel& c = *session->channels[static_cast<std::size_t>(chan)];
    if (c.lastCode == code && !c.lastText.empty()) return c.lastText;
  }
  if (tLastFailure.code == code && !tLastFailure.text.empty()) return tLastFailure.text;
  return genericErrorText(code);
}

SeeResult<ProxySettings> Engine::proxySettings() {
  Session* s = current();
  if (s == nullptr) return notAttached();
  return s->proxy;
}

std::size_t Engine::sessionCount() {
  std::lock_guard lock(mu_);
  return sessions_.size();
}

}  // namespace see32
