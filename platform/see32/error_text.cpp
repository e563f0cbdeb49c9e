#include "error_text.h"

#include <cstring>

#include "see32.h"

namespace see32 {

std::string genericErrorText(std::int32_t code) {
  switch (code) {
    case kSeeNotSupported:
      return "not supported by this engine";
    case kSeeNotAttached:
      return "the mail engine is not attached";
    case kSeeBadChannel:
      return "no such mail channel";
    case kSeeBadArgument:
      return "bad argument to the mail engine";
    case kSeeNotConnected:
      return "not connected to an SMTP server";
    case kSeeEngineFailure:
      return "the mail engine cannot work (libcurl failed)";
    case kSeeCannotConnect:
      return "cannot connect to the SMTP server";
    case kSeeTimeout:
      return "time-out talking to the SMTP server";
    case kSeeTlsFailed:
      return "TLS with the SMTP server failed";
    case kSeeAuthRefused:
      return "authentication refused by the SMTP server";
    case kSeeSenderRefused:
      return "sender refused by the SMTP server";
    case kSeeRecipientRefused:
      return "recipient refused by the SMTP server";
    case kSeeMessageRefused:
      return "message refused by the SMTP server";
    case kSeeNoRecipient:
      return "no recipient address";
    case kSeeBadAddress:
      return "bad e-mail address";
    case kSeeNoAttachment:
      return "attachment file not found";
    case kSeeSmtpFailed:
      return "sending the e-mail failed";
    default:
      break;
  }
  if (code >= 0) return "no error";
  return "unknown error code " + std::to_string(code);
}

std::int32_t copyToBuffer(std::string_view text, char* buffer, std::int32_t bufLen) {
  if (buffer == nullptr || bufLen <= 0) return 0;
  std::size_t n = text.size();
  const auto room = static_cast<std::size_t>(bufLen) - 1;
  if (n > room) {
    n = room;
    // Back off over continuation bytes (10xxxxxx) so that the cut falls before a lead byte.
    auto isContinuation = [&](std::size_t i) {
      return (static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u;
    };
    std::size_t cut = n;
    while (cut > 0 && isContinuation(cut)) --cut;
    // Only a multi-byte lead byte before the continuations makes a sequence worth keeping
    // whole; in text that is not UTF-8 (code page 1252) the bytes are cut where they fall.
    if (cut < n && cut < text.size() && static_cast<unsigned char>(text[cut]) >= 0xC0u) n = cut;
  }
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<std::int32_t>(n);
}

std::string oneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool blank = false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ' ') {
      blank = !out.empty();
      continue;
    }
    if (blank) out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  return out;
}

std::string maskSecret(std::string text, std::string_view secret) {
  if (secret.size() < 3) return text;
  for (std::size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + 4)) {
    text.replace(at, secret.size(), "****");
  }
  return text;
}

}  // namespace see32
