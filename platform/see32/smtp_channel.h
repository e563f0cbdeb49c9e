// SmtpChannel: one channel of the mail engine, with its parameters and its SMTP connection.
//
// A channel is configured by parameters (see32.h, kSeeParam*), connected to a server by
// connect(), which records the target and checks that the server answers (greeting, EHLO,
// STARTTLS where required, AUTH where credentials are set, NOOP), and then sends messages with
// send(). The libcurl easy handle lives from connect() to close() so that the send reuses the
// connection the check opened; libcurl reconnects by itself when the server has dropped it.
// Options are set afresh for each transfer (curl_easy_reset keeps the live connection).
//
// Secrets: the password is handed to libcurl and kept for the next transfer, but no text this
// class returns contains it (every failure text is masked), and the SMTP transcript drops
// authentication data (smtp_transcript.h).
//
// Thread safety: none; a channel belongs to one session, which belongs to one thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <curl/curl.h>

#include "address_list.h"
#include "see_status.h"
#include "smtp_transcript.h"

namespace see32 {

struct ChannelParams {
  std::int32_t textEncoding = 1;  // kSeeParamTextEncoding
  std::int32_t port = 0;          // kSeeParamSmtpPort; 0 = 25
  std::int32_t connectTimeout = 30;
  std::int32_t transferTimeout = 300;
  std::int32_t authMethod = 4;  // kSeeParamAuthMethod
  std::string user;
  std::string password;
  std::string heloName;  // empty: the host name
};

// How a connection talks TLS.
enum class TlsMode {
  kNone,      // plain SMTP
  kStartTls,  // STARTTLS required; the session fails rather than go on in plain text
  kImplicit,  // TLS from the first byte (port 465, "smtps")
};

struct ConnectRequest {
  std::string_view server;  // host name or IP address, blanks around it allowed
  std::int32_t port = 25;
  TlsMode tls = TlsMode::kNone;
  std::filesystem::path caFile;  // extra trusted certificates; empty: the system's only
  std::string_view user;         // credentials; AUTH only when both are non-empty
  std::string_view password;
  std::string_view from;     // "<ap@carrier.com>": envelope sender and From header
  std::string_view replyTo;  // "<ap@carrier.com>" or empty
};

struct Attachment {
  std::filesystem::path host;  // readable file
  std::string name;            // the name the reader sees ("VENDORLIST.PDF")
};

struct OutgoingMessage {
  std::string_view to;  // address lists (address_list.h)
  std::string_view cc;
  std::string_view bcc;
  std::string_view subject;
  std::string_view text;
  std::vector<Attachment> attachments;
};

class SmtpChannel {
 public:
  SmtpChannel() = default;
  ~SmtpChannel();
  SmtpChannel(const SmtpChannel&) = delete;
  SmtpChannel& operator=(const SmtpChannel&) = delete;

  // Sets a parameter (see32.h). kSeeNotSupported for an unknown index, kSeeBadArgument for a
  // value out of range.
  SeeStatus setInteger(std::int32_t index, std::int32_t value);
  SeeStatus setString(std::int32_t index, std::string_view value);
  const ChannelParams& params() const { return params_; }

  // Closes any earlier connection, records the target and checks the server. On failure the
  // channel is not connected. Fails with kSeeCannotConnect, kSeeBadAddress, kSeeTimeout,
  // kSeeTlsFailed, kSeeAuthRefused, kSeeSmtpFailed, kSeeEngineFailure.
  SeeStatus connect(const ConnectRequest& request);
  bool connected() const { return connected_; }
  // Sends one message. kSeeNotConnected before a successful connect(); the failures of
  // connect(), and kSeeNoRecipient, kSeeSenderRefused, kSeeRecipientRefused (any refused
  // recipient stops the message), kSeeMessageRefused.
  SeeStatus send(const OutgoingMessage& message);
  // Ends the connection (QUIT) and forgets the target; the parameters stay.
  void close();

  // The last transfer's dialogue as kept (for tests and diagnostics; holds no secret).
  const SmtpTranscript& transcript() const { return transcript_; }

  // The URL libcurl is given for a target: "smtp://mail.carrier.com:25/ws01",
  // "smtps://[::1]:465/ws01". Fails with kSeeCannotConnect for a name that is no host.
  static SeeResult<std::string> makeUrl(std::string_view host, std::int32_t port, TlsMode tls,
                                        std::string_view heloName);
  // The name this machine gives in EHLO: `configured` when it is a plain host name, else the
  // host name, else "localhost".
  static std::string heloNameFor(std::string_view configured);

 private:
  struct CurlCleanup {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
  };
  class Options;

  // Runs one transfer with the connection options plus those `extra` sets, and describes how
  // it ended. The handle is reset before returning, so that the caller may free what the
  // options pointed to.
  template <typename Extra>
  SeeStatus transfer(Extra&& extra);
  // `s` with the passwords (the recorded one, the parameter, `extra`) masked in its text.
  SeeStatus masked(SeeStatus s, std::string_view extra = {}) const;
  SeeStatus connectUnmasked(const ConnectRequest& request);
  SeeStatus sendUnmasked(const OutgoingMessage& message);

  static int onDebug(CURL* handle, curl_infotype type, char* data, std::size_t size, void* self);
  static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self);

  ChannelParams params_;
  std::unique_ptr<CURL, CurlCleanup> curl_;
  bool connected_ = false;

  // The recorded target.
  std::string url_;
  std::string where_;  // "host:port" for texts
  TlsMode tls_ = TlsMode::kNone;
  std::string caFile_;
  std::string user_;
  std::string password_;
  Address from_;
  Address replyTo_;

  SmtpTranscript transcript_;
  std::array<char, CURL_ERROR_SIZE> errorBuffer_{};
};

}  // namespace see32
