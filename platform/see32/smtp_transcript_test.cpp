#include "smtp_transcript.h"

#include <gtest/gtest.h>
#include <string>

namespace see32 {
namespace {

// Feeds a dialogue the way libcurl's debug callback does: "C: " lines as commands, "S: " lines
// as replies, each with its CRLF.
void play(SmtpTranscript& t, std::initializer_list<const char*> lines) {
  for (const char* l : lines) {
    const std::string line = std::string(l + 3) + "\r\n";
    if (l[0] == 'C') {
      t.commandBytes(line);
    } else {
      t.replyBytes(line);
    }
  }
}

std::string all(const SmtpTranscript& t) {
  std::string out;
  for (const std::string& l : t.lines()) out += l + "\n";
  return out;
}

TEST(SmtpTranscript, RecipientRefusalSurvivesTheQuitAfterIt) {
  SmtpTranscript t;
  play(t, {"S: 220 mx ready", "C: EHLO ws01", "S: 250-mx", "S: 250 HELP", "C: MAIL FROM:<a@x>",
           "S: 250 OK", "C: RCPT TO:<refuse@y>", "S: 550 5.1.1 <refuse@y>: mailbox unavailable",
           "C: QUIT", "S: 221 Bye"});
  EXPECT_EQ(t.lastVerb(), "QUIT");
  EXPECT_EQ(t.lastReplyCode(), 221);
  const SmtpTranscript::Refusal& r = t.lastRefusal();
  EXPECT_EQ(r.verb, "RCPT");
  EXPECT_EQ(r.command, "RCPT TO:<refuse@y>");
  EXPECT_EQ(r.code, 550);
  EXPECT_EQ(r.reply, "550 5.1.1 <refuse@y>: mailbox unavailable");
  EXPECT_FALSE(t.messageStarted());
}

TEST(SmtpTranscript, MultiLineReplyIsJoined) {
  SmtpTranscript t;
  play(t, {"C: MAIL FROM:<a@x>", "S: 553-5.7.1 sender not allowed", "S: 553 5.7.1 see policy"});
  EXPECT_EQ(t.lastRefusal().reply, "553 5.7.1 sender not allowed 5.7.1 see policy");
}

TEST(SmtpTranscript, RefusalOfTheMessageItselfIsAfterData) {
  SmtpTranscript t;
  play(t, {"C: DATA", "S: 354 go ahead", "S: 554 5.6.0 message rejected"});
  EXPECT_TRUE(t.messageStarted());
  EXPECT_EQ(t.lastRefusal().verb, "DATA");
  EXPECT_TRUE(t.lastRefusal().afterMessage);
}

TEST(SmtpTranscript, PiecesAreJoinedIntoLines) {
  SmtpTranscript t;
  t.commandBytes("RCPT TO:");
  t.commandBytes("<b@y>\r\n");
  t.replyBytes("550 no");
  EXPECT_EQ(t.lastRefusal().code, 0);  // the reply has not ended yet
  t.replyBytes(" such user\r\n");
  EXPECT_EQ(t.lastRefusal().command, "RCPT TO:<b@y>");
  EXPECT_EQ(t.lastRefusal().reply, "550 no such user");
}

// No form of authentication keeps its secret: AUTH PLAIN with and without initial response,
// AUTH LOGIN's two base64 lines, CRAM-MD5's answer.
TEST(SmtpTranscript, KeepsNoAuthenticationData) {
  const char* kSecrets[] = {"AHVzZXIAUzNjcmV0", "dXNlcg==", "UzNjcmV0", "dXNlciBhYmNkZWY="};
  SmtpTranscript t;
  play(t, {"C: AUTH PLAIN AHVzZXIAUzNjcmV0", "S: 535 5.7.8 invalid", "C: AUTH PLAIN", "S: 334 ",
           "C: AHVzZXIAUzNjcmV0", "S: 535 5.7.8 invalid", "C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6",
           "C: dXNlcg==", "S: 334 UGFzc3dvcmQ6", "C: UzNjcmV0", "S: 235 2.7.0 ok",
           "C: AUTH CRAM-MD5", "S: 334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2U+",
           "C: dXNlciBhYmNkZWY=", "S: 235 ok", "C: MAIL FROM:<a@x>", "S: 250 OK"});
  const std::string kept = all(t);
  for (const char* secret : kSecrets) EXPECT_EQ(kept.find(secret), std::string::npos) << secret;
  EXPECT_NE(kept.find("C: AUTH PLAIN\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find("C: (authentication data)"), std::string::npos) << kept;
  // After the exchange ended, commands are kept again.
  EXPECT_NE(kept.find("C: MAIL FROM:<a@x>"), std::string::npos) << kept;
}

TEST(SmtpTranscript, UnknownCommandsAreNotKept) {
  SmtpTranscript t;
  play(t, {"C: XSECRET abc", "S: 500 unknown"});
  EXPECT_EQ(t.lastCommand(), "(command)");
}

TEST(SmtpTranscript, RefusedGreetingHasNoCommand) {
  SmtpTranscript t;
  play(t, {"S: 554 no service for you"});
  EXPECT_EQ(t.lastRefusal().verb, "");
  EXPECT_EQ(t.lastRefusal().code, 554);
}

TEST(SmtpTranscript, HoldsAtMostMaxLines) {
  SmtpTranscript t;
  for (std::size_t i = 0; i < SmtpTranscript::kMaxLines + 50; ++i) t.replyBytes("250 OK\r\n");
  EXPECT_EQ(t.lines().size(), SmtpTranscript::kMaxLines);
}

}  // namespace
}  // namespace see32
