#include "smtp_transcript.h"

#include <array>

#include "error_text.h"

namespace see32 {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Commands whose whole line carries nothing secret.
bool isPublicCommand(std::string_view verb) {
  static constexpr std::array<std::string_view, 12> kPublic = {"EHLO", "HELO", "STARTTLS", "MAIL",
                                                               "RCPT", "DATA", "RSET",     "NOOP",
                                                               "QUIT", "VRFY", "EXPN",     "HELP"};
  for (std::string_view v : kPublic) {
    if (v == verb) return true;
  }
  return false;
}

std::string_view stripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// Splits `bytes` into lines ending with LF, keeping an unfinished tail in `pending`.
template <typename F>
void forEachLine(std::string& pending, std::string_view bytes, F&& onLine) {
  pending.append(bytes);
  std::size_t start = 0;
  for (std::size_t lf = pending.find('\n'); lf != std::string::npos;
       lf = pending.find('\n', start)) {
    onLine(stripLineEnd(std::string_view(pending).substr(start, lf - start + 1)));
    start = lf + 1;
  }
  pending.erase(0, start);
  // A server that never ends its line must not make us hold its bytes for ever.
  if (pending.size() > 4096) pending.erase(4096);
}

}  // namespace

void SmtpTranscript::clear() { *this = SmtpTranscript(); }

void SmtpTranscript::commandBytes(std::string_view bytes) {
  forEachLine(pendingOut_, bytes, [this](std::string_view line) { commandLine(line); });
}

void SmtpTranscript::replyBytes(std::string_view bytes) {
  forEachLine(pendingIn_, bytes, [this](std::string_view line) { replyLine(line); });
}

void SmtpTranscript::commandLine(std::string_view line) {
  const std::size_t blank = line.find(' ');
  std::string verb = upper(line.substr(0, blank));
  const std::size_t colon = verb.find(':');  // "MAIL FROM:<x>" has its verb before the blank
  if (colon != std::string::npos) verb.erase(colon);
  std::string kept;
  if (inAuth_) {
    verb = "AUTH";
    kept = "(authentication data)";
  } else if (verb == "AUTH") {
    // "AUTH PLAIN <initial response>": the mechanism is public, the response is not.
    std::string_view rest = blank == std::string_view::npos ? "" : line.substr(blank + 1);
    rest = rest.substr(0, rest.find(' '));
    kept = "AUTH" + (rest.empty() ? std::string() : " " + upper(rest));
    inAuth_ = true;
  } else if (isPublicCommand(verb)) {
    kept = oneLine(line);
  } else {
    kept = "(command)";
  }
  awaitingData_ = verb == "DATA";
  lastVerb_ = verb;
  lastCommand_ = kept;
  keep("C: " + kept);
}

void SmtpTranscript::replyLine(std::string_view line) {
  keep("S: " + oneLine(line));
  int code = 0;
  std::size_t digits = 0;
  while (digits < line.size() && digits < 3 && line[digits] >= '0' && line[digits] <= '9') {
    code = code * 10 + (line[digits] - '0');
    ++digits;
  }
  const bool continued = digits == 3 && line.size() > 3 && line[3] == '-';
  const std::string_view text = digits == 3 && line.size() > 4 ? line.substr(4) : "";
  if (!partialReply_.empty()) partialReply_ += ' ';
  partialReply_ += oneLine(digits == 3 ? text : line);
  if (continued) return;
  lastCode_ = digits == 3 ? code : 0;
  lastReply_ = digits == 3 ? std::to_string(code) : std::string();
  if (!partialReply_.empty()) lastReply_ += (lastReply_.empty() ? "" : " ") + partialReply_;
  partialReply_.clear();
  // 334 asks for more authentication data; any other reply ends the exchange.
  if (inAuth_ && code != 334) inAuth_ = false;
  if (lastCode_ >= 400) {
    refusal_ = Refusal{lastVerb_, lastCommand_, lastCode_, lastReply_,
                       lastVerb_ == "DATA" && messageStarted_};
  }
  if (awaitingData_ && code == 354) messageStarted_ = true;
  awaitingData_ = false;
}

void SmtpTranscript::keep(std::string line) {
  if (lines_.size() == kMaxLines) lines_.pop_front();
  lines_.push_back(std::move(line));
}

}  // namespace see32
