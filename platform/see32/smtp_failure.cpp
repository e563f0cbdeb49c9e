#include "smtp_failure.h"

#include <string>

#include "error_text.h"

namespace see32 {
namespace {

// "RCPT TO:<x@y>" gives "<x@y>"; the address the refused command named.
std::string commandAddress(std::string_view command) {
  const std::size_t open = command.find('<');
  const std::size_t close = command.find('>', open);
  if (open == std::string_view::npos || close == std::string_view::npos) return {};
  return std::string(command.substr(open, close - open + 1));
}

bool mentionsStartTls(std::string_view reply) {
  static constexpr std::string_view kWord = "STARTTLS";
  for (std::size_t i = 0; i + kWord.size() <= reply.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < kWord.size() && same; ++k) {
      char c = reply[i + k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == kWord[k];
    }
    if (same) return true;
  }
  return false;
}

bool isTlsFailure(CURLcode rc) {
  switch (rc) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return true;
    default:
      return false;
  }
}

}  // namespace

SeeStatus describeTransfer(CURLcode rc, std::string_view curlMessage,
                           const SmtpTranscript& transcript, std::string_view server) {
  if (rc == CURLE_OK) return SeeStatus::ok();
  std::string reason = oneLine(curlMessage);
  if (reason.empty()) reason = curl_easy_strerror(rc);
  const std::string where(server);
  const SmtpTranscript::Refusal& refused = transcript.lastRefusal();

  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return {kSeeCannotConnect, "cannot connect to " + where + ": " + reason};
    case CURLE_OPERATION_TIMEDOUT:
      return {kSeeTimeout, "time-out talking to " + where + ": " + reason};
    case CURLE_LOGIN_DENIED:
      return {kSeeAuthRefused, "authentication refused by " + where +
                                   (refused.code != 0 ? ": " + refused.reply : ": " + reason)};
    case CURLE_OUT_OF_MEMORY:
      return {kSeeEngineFailure, "out of memory while mailing through " + where};
    case CURLE_READ_ERROR:
      return {kSeeNoAttachment, "cannot read the message or its attachment: " + reason};
    default:
      break;
  }
  if (isTlsFailure(rc)) return {kSeeTlsFailed, "TLS with " + where + " failed: " + reason};

  if (refused.code != 0) {
    // 530: the server wants STARTTLS (RFC 3207) or AUTH (RFC 4954) first.
    if (refused.code == 530 && mentionsStartTls(refused.reply)) {
      return {kSeeTlsFailed, "TLS required by " + where + ": " + refused.reply};
    }
    if (refused.code == 530) {
      return {kSeeAuthRefused, "authentication required by " + where + ": " + refused.reply};
    }
    if (refused.verb.empty()) {
      return {kSeeCannotConnect, where + " refuses service: " + refused.reply};
    }
    if (refused.verb == "MAIL") {
      return {kSeeSenderRefused,
              "sender " + commandAddress(refused.command) + " refused: " + refused.reply};
    }
    if (refused.verb == "RCPT") {
      return {kSeeRecipientRefused,
              "recipient " + commandAddress(refused.command) + " refused: " + refused.reply};
    }
    if (refused.verb == "DATA") return {kSeeMessageRefused, "message refused: " + refused.reply};
    if (refused.verb == "AUTH") {
      return {kSeeAuthRefused, "authentication refused by " + where + ": " + refused.reply};
    }
    if (refused.verb == "STARTTLS") {
      return {kSeeTlsFailed, "TLS with " + where + " failed: " + refused.reply};
    }
    return {kSeeSmtpFailed, "mail through " + where + " failed: " + reason + " (" +
                                refused.command + ": " + refused.reply + ")"};
  }
  if (rc == CURLE_GOT_NOTHING || rc == CURLE_RECV_ERROR || rc == CURLE_SEND_ERROR) {
    if (transcript.lastReplyCode() == 0) {
      return {kSeeCannotConnect, "cannot connect to " + where + ": " + reason};
    }
  }
  return {kSeeSmtpFailed, "mail through " + where + " failed: " + reason};
}

}  // namespace see32
