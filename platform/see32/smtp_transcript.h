// SmtpTranscript: what the engine keeps of one SMTP dialogue, fed from libcurl's debug
// callback, to say afterwards which command the server refused and with which reply.
//
// Only what may be shown is kept. Server replies are kept as sent (made one line each).
// Commands are kept whole only where they carry no secret (EHLO, MAIL FROM, RCPT TO, ...);
// for AUTH only the verb and the mechanism name ("AUTH PLAIN") are kept, and every line the
// client sends while an AUTH exchange is open (the base64 user name, password, or PLAIN
// response) is replaced by "(authentication data)". The message itself (curl's DATA_OUT) is
// never seen here.
//
// Thread safety: none; one transcript belongs to one transfer on one thread.
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace see32 {

class SmtpTranscript {
 public:
  static constexpr std::size_t kMaxLines = 400;  // bounds memory whatever the server sends

  void clear();
  // Bytes curl sent as protocol commands (CURLINFO_HEADER_OUT) and received as replies
  // (CURLINFO_HEADER_IN). Either may arrive in pieces; lines end with LF.
  void commandBytes(std::string_view bytes);
  void replyBytes(std::string_view bytes);

  // The last command sent, as kept ("RCPT TO:<b@y>", "AUTH PLAIN", "(authentication data)");
  // empty before the first.
  const std::string& lastCommand() const { return lastCommand_; }
  // Its verb, upper case ("RCPT"); "AUTH" also for the data lines of an AUTH exchange.
  const std::string& lastVerb() const { return lastVerb_; }
  // The last complete reply: its code (0 before the first) and text, the lines of a multi-line
  // reply joined by blanks ("550 5.1.1 <b@y>: mailbox unavailable").
  int lastReplyCode() const { return lastCode_; }
  const std::string& lastReply() const { return lastReply_; }
  // Whether the server answered DATA with 354, so that the message itself went out.
  bool messageStarted() const { return messageStarted_; }

  // The last reply of 400 or more and the command it answered (curl sends QUIT after a
  // refusal, so the last reply is often "221 Bye"). code is 0 while the server refused nothing.
  struct Refusal {
    std::string verb;     // as lastVerb(); empty for the greeting
    std::string command;  // as lastCommand()
    int code = 0;
    std::string reply;          // as lastReply()
    bool afterMessage = false;  // the reply to the end of the message, not to DATA itself
  };
  const Refusal& lastRefusal() const { return refusal_; }
  // The dialogue as kept, "C: ..." and "S: ..." lines, oldest first (at most kMaxLines).
  const std::deque<std::string>& lines() const { return lines_; }

 private:
  void commandLine(std::string_view line);
  void replyLine(std::string_view line);
  void keep(std::string line);

  std::string pendingOut_;
  std::string pendingIn_;
  std::string lastCommand_;
  std::string lastVerb_;
  int lastCode_ = 0;
  std::string lastReply_;
  std::string partialReply_;  // lines of a multi-line reply not yet ended
  bool inAuth_ = false;
  bool awaitingData_ = false;
  bool messageStarted_ = false;
  Refusal refusal_;
  std::deque<std::string> lines_;
};

}  // namespace see32
