#include "smtp_channel.h"

#include <algorithm>
#include <ctime>
#include <type_traits>
#include <unistd.h>

#include "error_text.h"
#include "message_headers.h"
#include "smtp_failure.h"

namespace see32 {
namespace {

struct SlistFree {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;
struct MimeFree {
  void operator()(curl_mime* m) const { curl_mime_free(m); }
};
using Mime = std::unique_ptr<curl_mime, MimeFree>;
struct UrlFree {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlStringFree {
  void operator()(char* s) const { curl_free(s); }
};

constexpr std::int32_t kDefaultPort = 25;

SeeStatus outOfMemory(std::string_view what) {
  return {kSeeEngineFailure, "out of memory while " + std::string(what)};
}

// Appends to a curl list; false when curl is out of memory (the list is then unchanged).
bool append(Slist& list, const std::string& text) {
  curl_slist* grown = curl_slist_append(list.get(), text.c_str());
  if (grown == nullptr) return false;
  (void)list.release();
  list.reset(grown);
  return true;
}

bool isHostNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

const char* encoderName(std::int32_t textEncoding) {
  switch (textEncoding) {
    case 0:
      return "8bit";
    case 2:
      return "base64";
    default:
      return "quoted-printable";
  }
}

const char* loginOptions(std::int32_t authMethod) {
  switch (authMethod) {
    case 1:
      return "AUTH=LOGIN";
    case 2:
      return "AUTH=PLAIN";
    case 3:
      return "AUTH=CRAM-MD5";
    default:
      return "AUTH=*";
  }
}

}  // namespace

// Sets options one after the other and remembers the first that libcurl refused, so that a
// transfer never runs with half its options (an unknown option would otherwise be ignored).
class SmtpChannel::Options {
 public:
  explicit Options(CURL* handle) : handle_(handle) {}

  template <typename T>
  void set(CURLoption option, T value, const char* name) {
    // libcurl reads numbers as long and everything else as a pointer.
    static_assert(std::is_same_v<T, long> || std::is_pointer_v<T>,
                  "curl options take long or a pointer");
    if (rc_ != CURLE_OK) return;
    rc_ = (curl_easy_setopt)(handle_, option, value);
    if (rc_ != CURLE_OK) name_ = name;
  }
  SeeStatus status() const {
    if (rc_ == CURLE_OK) return SeeStatus::ok();
    return {kSeeEngineFailure,
            std::string("libcurl refused ") + name_ + ": " + curl_easy_strerror(rc_)};
  }

 private:
  CURL* handle_;
  CURLcode rc_ = CURLE_OK;
  const char* name_ = "";
};

SmtpChannel::~SmtpChannel() { close(); }

SeeStatus SmtpChannel::setInteger(std::int32_t index, std::int32_t value) {
  auto range = [&](std::int32_t lo, std::int32_t hi, std::int32_t& into) -> SeeStatus {
    if (value < lo || value > hi) {
      return {kSeeBadArgument, "value " + std::to_string(value) + " of parameter " +
                                   std::to_string(index) + " is not in " + std::to_string(lo) +
                                   ".." + std::to_string(hi)};
    }
    into = value;
    return SeeStatus::ok();
  };
  switch (index) {
    case kSeeParamTextEncoding:
      return range(0, 2, params_.textEncoding);
    case kSeeParamSmtpPort:
      return range(0, 65535, params_.port);
    case kSeeParamConnectTimeout:
      return range(1, 3600, params_.connectTimeout);
    case kSeeParamTransferTimeout:
      return range(1, 86400, params_.transferTimeout);
    case kSeeParamAuthMethod:
      return range(0, 4, params_.authMethod);
    default:
      return {kSeeNotSupported,
              "integer parameter " + std::to_string(index) + " is not supported by this engine"};
  }
}

SeeStatus SmtpChannel::setString(std::int32_t index, std::string_view value) {
  switch (index) {
    case kSeeParamPassword:
      params_.password = std::string(value);
      return SeeStatus::ok();
    case kSeeParamUser:
      params_.user = std::string(trim(value));
      return SeeStatus::ok();
    case kSeeParamHeloName:
      params_.heloName = std::string(trim(value));
      return SeeStatus::ok();
    default:
      return {kSeeNotSupported,
              "string parameter " + std::to_string(index) + " is not supported by this engine"};
  }
}

std::string SmtpChannel::heloNameFor(std::string_view configured) {
  auto plain = [](std::string_view s) {
    if (s.empty() || s.size() > 253 || s.front() == '.' || s.front() == '-') return false;
    for (char c : s) {
      if (!isHostNameChar(c)) return false;
    }
    return true;
  };
  if (plain(configured)) return std::string(configured);
  std::array<char, 256> host{};
  if (::gethostname(host.data(), host.size() - 1) == 0 && plain(host.data())) {
    return host.data();
  }
  return "localhost";
}

SeeResult<std::string> SmtpChannel::makeUrl(std::string_view rawHost, std::int32_t port,
                                            TlsMode tls, std::string_view heloName) {
  const std::string_view host = trim(rawHost);
  if (host.empty()) return SeeStatus(kSeeCannotConnect, "cannot connect: no SMTP server given");
  const std::string shown(host);
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '/' || c == '@' || c == '?' || c == '#' || c == '\\') {
      return SeeStatus(kSeeCannotConnect,
                       "cannot connect: \"" + shown + "\" is not a server name or address");
    }
  }
  const std::size_t colons = static_cast<std::size_t>(std::count(host.begin(), host.end(), ':'));
  if (colons == 1) {
    return SeeStatus(kSeeCannotConnect, "cannot connect: \"" + shown +
                                            "\": give the server without a port (the port is "
                                            "a setting of its own)");
  }
  std::string urlHost = shown;
  if (colons > 1 && urlHost.front() != '[') urlHost = "[" + urlHost + "]";  // IPv6 literal

  std::unique_ptr<CURLU, UrlFree> u(curl_url());
  if (!u) return outOfMemory("building the server address");
  const std::string scheme = tls == TlsMode::kImplicit ? "smtps" : "smtp";
  const std::string portText = std::to_string(port);
  const std::string path = "/" + heloNameFor(heloName);
  if (curl_url_set(u.get(), CURLUPART_SCHEME, scheme.c_str(), 0) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_HOST, urlHost.c_str(), 0) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_PORT, portText.c_str(), 0) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_PATH, path.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
    return SeeStatus(kSeeCannotConnect,
                     "cannot connect: \"" + shown + "\" is not a server name or address");
  }
  char* text = nullptr;
  if (curl_url_get(u.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) {
    return outOfMemory("building the server address");
  }
  std::unique_ptr<char, CurlStringFree> owned(text);
  return std::string(text);
}

SeeStatus SmtpChannel::masked(SeeStatus s, std::string_view extra) const {
  if (s.isOk()) return s;
  std::string text = maskSecret(s.text(), password_);
  text = maskSecret(std::move(text), params_.password);
  text = maskSecret(std::move(text), extra);
  return {s.code(), std::move(text)};
}

int SmtpChannel::onDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
  auto* channel = static_cast<SmtpChannel*>(self);
  try {
    if (type == CURLINFO_HEADER_OUT) channel->transcript_.commandBytes({data, size});
    if (type == CURLINFO_HEADER_IN) channel->transcript_.replyBytes({data, size});
  } catch (...) {
    // Out of memory while keeping the transcript: the transfer goes on, the text is poorer.
  }
  return 0;
}

std::size_t SmtpChannel::onWrite(char*, std::size_t size, std::size_t count, void*) {
  return size * count;  // the reply to NOOP is in the transcript already
}

template <typename Extra>
SeeStatus SmtpChannel::transfer(Extra&& extra) {
  if (!curl_) {
    curl_.reset(curl_easy_init());
    if (!curl_) return {kSeeEngineFailure, "libcurl cannot make a transfer handle"};
  }
  CURL* h = curl_.get();
  curl_easy_reset(h);
  transcript_.clear();
  errorBuffer_[0] = '\0';

  Options o(h);
  o.set(CURLOPT_URL, url_.c_str(), "the server address");
  o.set(CURLOPT_PROTOCOLS_STR, "smtp,smtps", "the protocols");
  // No signals: libcurl would otherwise use SIGALRM for DNS time-outs, which is not safe in a
  // process with several threads.
  o.set(CURLOPT_NOSIGNAL, 1L, "NOSIGNAL");
  o.set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(params_.connectTimeout), "the connect time-out");
  o.set(CURLOPT_TIMEOUT, static_cast<long>(params_.transferTimeout), "the transfer time-out");
  o.set(CURLOPT_ERRORBUFFER, errorBuffer_.data(), "the error buffer");
  // The debug callback is how we learn which command the server refused; VERBOSE only makes
  // libcurl call it (nothing is printed, since the callback replaces the default output).
  o.set(CURLOPT_DEBUGFUNCTION, &SmtpChannel::onDebug, "the debug callback");
  o.set(CURLOPT_DEBUGDATA, static_cast<void*>(this), "the debug callback");
  o.set(CURLOPT_VERBOSE, 1L, "VERBOSE");
  o.set(CURLOPT_WRITEFUNCTION, &SmtpChannel::onWrite, "the write callback");
  // Certificate and host name are always verified; nothing here can turn that off.
  o.set(CURLOPT_SSL_VERIFYPEER, 1L, "peer verification");
  o.set(CURLOPT_SSL_VERIFYHOST, 2L, "host verification");
  if (tls_ == TlsMode::kStartTls) {
    o.set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL), "STARTTLS");
  }
  if (!caFile_.empty()) o.set(CURLOPT_CAINFO, caFile_.c_str(), "the certificate file");
  if (!user_.empty() && !password_.empty() && params_.authMethod != 0) {
    o.set(CURLOPT_USERNAME, user_.c_str(), "the user name");
    o.set(CURLOPT_PASSWORD, password_.c_str(), "the password");
    o.set(CURLOPT_LOGIN_OPTIONS, loginOptions(params_.authMethod), "the login options");
  }
  extra(o);
  SeeStatus s = o.status();
  if (s.isOk()) {
    const CURLcode rc = curl_easy_perform(h);
    s = describeTransfer(rc, errorBuffer_.data(), transcript_, where_);
  }
  curl_easy_reset(h);  // forget pointers into the caller's lists and mime before they go
  return masked(std::move(s));
}

// Every text either call returns is masked, whichever step failed: a server name or an address
// may quote the password as well as a server reply can.
SeeStatus SmtpChannel::connect(const ConnectRequest& r) {
  return masked(connectUnmasked(r), r.password);
}

SeeStatus SmtpChannel::send(const OutgoingMessage& m) { return masked(sendUnmasked(m)); }

SeeStatus SmtpChannel::connectUnmasked(const ConnectRequest& r) {
  close();
  SeeResult<std::string> url = makeUrl(r.server, r.port, r.tls, params_.heloName);
  if (!url) return url.status();
  SeeResult<Address> from = parseSingleAddress(r.from, "sender");
  if (!from) return from.status();
  if (from->mailbox.empty()) return {kSeeBadAddress, "no sender (From) address given"};
  SeeResult<Address> reply = parseSingleAddress(r.replyTo, "reply-to");
  if (!reply) return reply.status();

  url_ = std::move(url).value();
  where_ = std::string(trim(r.server)) + ":" + std::to_string(r.port);
  tls_ = r.tls;
  caFile_ = r.caFile.string();
  user_ = std::string(trim(r.user));
  password_ = std::string(r.password);
  from_ = std::move(from).value();
  replyTo_ = std::move(reply).value();

  // The check: NOOP with no recipient makes libcurl run the whole connection phase (greeting,
  // EHLO, STARTTLS, AUTH) and one harmless command, and keep the connection for the send.
  SeeStatus s = transfer([](Options& o) { o.set(CURLOPT_CUSTOMREQUEST, "NOOP", "NOOP"); });
  if (!s) {
    curl_.reset();
    return s;
  }
  connected_ = true;
  return s;
}

SeeStatus SmtpChannel::sendUnmasked(const OutgoingMessage& m) {
  if (!connected_) return {kSeeNotConnected, "not connected: connect to the SMTP server first"};
  SeeResult<std::vector<Address>> to = parseAddressList(m.to, "recipient");
  if (!to) return to.status();
  SeeResult<std::vector<Address>> cc = parseAddressList(m.cc, "CC");
  if (!cc) return cc.status();
  SeeResult<std::vector<Address>> bcc = parseAddressList(m.bcc, "BCC");
  if (!bcc) return bcc.status();
  if (to->empty() && cc->empty() && bcc->empty()) {
    return {kSeeNoRecipient, "no recipient address: To, CC and BCC are all empty"};
  }

  // The envelope: every address once, blind copies included.
  Slist rcpt;
  std::vector<std::string> seen;
  for (const std::vector<Address>* list : {&to.value(), &cc.value(), &bcc.value()}) {
    for (const Address& a : *list) {
      if (std::find(seen.begin(), seen.end(), a.mailbox) != seen.end()) continue;
      seen.push_back(a.mailbox);
      if (!append(rcpt, a.bracketed())) return outOfMemory("listing the recipients");
    }
  }

  const std::time_t now = std::time(nullptr);
  HeaderFields fields;
  fields.from = from_;
  fields.replyTo = replyTo_;
  fields.to = std::move(to).value();
  fields.cc = std::move(cc).value();
  fields.subject = std::string(m.subject);
  fields.date = rfc5322Date(now);
  fields.messageId = makeMessageId(from_, heloNameFor(params_.heloName), now);
  Slist headers;
  for (const std::string& line : buildHeaders(fields)) {
    if (!append(headers, line)) return outOfMemory("writing the headers");
  }

  Mime mime(curl_mime_init(curl_.get()));
  if (!mime) return outOfMemory("building the message");
  const std::string text = crlfLineEnds(m.text);
  const std::string textType = "text/plain; charset=" + std::string(charsetOf(text));
  curl_mimepart* part = curl_mime_addpart(mime.get());
  if (part == nullptr || curl_mime_data(part, text.data(), text.size()) != CURLE_OK ||
      curl_mime_type(part, textType.c_str()) != CURLE_OK ||
      curl_mime_encoder(part, encoderName(params_.textEncoding)) != CURLE_OK) {
    return outOfMemory("building the text part");
  }
  for (const Attachment& a : m.attachments) {
    part = curl_mime_addpart(mime.get());
    if (part == nullptr) return outOfMemory("building an attachment part");
    if (const CURLcode rc = curl_mime_filedata(part, a.host.c_str()); rc != CURLE_OK) {
      return {kSeeNoAttachment, a.name + ": " + curl_easy_strerror(rc)};
    }
    const std::string type(mediaTypeFor(a.name));
    if (curl_mime_filename(part, a.name.c_str()) != CURLE_OK ||
        curl_mime_type(part, type.c_str()) != CURLE_OK ||
        curl_mime_encoder(part, "base64") != CURLE_OK) {
      return outOfMemory("building an attachment part");
    }
  }

  const std::string mailFrom = from_.bracketed();
  return transfer([&](Options& o) {
    o.set(CURLOPT_MAIL_FROM, mailFrom.c_str(), "the sender");
    o.set(CURLOPT_MAIL_RCPT, rcpt.get(), "the recipients");
    o.set(CURLOPT_HTTPHEADER, headers.get(), "the headers");
    o.set(CURLOPT_MIMEPOST, mime.get(), "the message");
  });
}

void SmtpChannel::close() {
  curl_.reset();  // libcurl says QUIT on a live connection
  connected_ = false;
  password_.clear();
  user_.clear();
}

}  // namespace see32
