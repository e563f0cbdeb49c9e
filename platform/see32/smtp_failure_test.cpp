#include "smtp_failure.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace see32 {
namespace {

SmtpTranscript dialogue(const std::vector<const char*>& lines) {
  SmtpTranscript t;
  for (const char* l : lines) {
    const std::string line = std::string(l + 3) + "\r\n";
    if (l[0] == 'C') {
      t.commandBytes(line);
    } else {
      t.replyBytes(line);
    }
  }
  return t;
}

struct FailureCase {
  const char* name;
  CURLcode rc;
  const char* curlMessage;
  std::vector<const char*> lines;
  std::int32_t code;
  const char* text;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const FailureCase kCases[] = {
    {"Refused",
     CURLE_COULDNT_CONNECT,
     "Failed to connect to 127.0.0.1 port 9: Connection refused",
     {},
     kSeeCannotConnect,
     "cannot connect to mx:25: Failed to connect to 127.0.0.1 port 9: Connection refused"},
    {"UnknownHost",
     CURLE_COULDNT_RESOLVE_HOST,
     "Could not resolve host: nohost",
     {},
     kSeeCannotConnect,
     "cannot connect to mx:25: Could not resolve host: nohost"},
    {"Timeout",
     CURLE_OPERATION_TIMEDOUT,
     "Operation timed out after 1000 milliseconds",
     {},
     kSeeTimeout,
     "time-out talking to mx:25: Operation timed out after 1000 milliseconds"},
    {"Certificate",
     CURLE_PEER_FAILED_VERIFICATION,
     "SSL certificate problem: self-signed certificate",
     {},
     kSeeTlsFailed,
     "TLS with mx:25 failed: SSL certificate problem: self-signed certificate"},
    {"NoStartTls",
     CURLE_USE_SSL_FAILED,
     "STARTTLS not supported.",
     {},
     kSeeTlsFailed,
     "TLS with mx:25 failed: STARTTLS not supported."},
    {"WrongPassword",
     CURLE_LOGIN_DENIED,
     "Authentication failed: 535",
     {"C: AUTH PLAIN", "S: 334 ", "C: AHUAcA==", "S: 535 5.7.8 Authentication credentials invalid"},
     kSeeAuthRefused,
     "authentication refused by mx:25: 535 5.7.8 Authentication credentials invalid"},
    {"AuthRequired",
     CURLE_SEND_ERROR,
     "MAIL failed: 530",
     {"C: MAIL FROM:<a@x>", "S: 530 5.7.0 Authentication required", "C: QUIT", "S: 221 Bye"},
     kSeeAuthRefused,
     "authentication required by mx:25: 530 5.7.0 Authentication required"},
    {"StartTlsRequired",
     CURLE_SEND_ERROR,
     "MAIL failed: 530",
     {"C: MAIL FROM:<a@x>", "S: 530 Must issue a STARTTLS command first", "C: QUIT"},
     kSeeTlsFailed,
     "TLS required by mx:25: 530 Must issue a STARTTLS command first"},
    {"Sender",
     CURLE_SEND_ERROR,
     "MAIL failed: 553",
     {"C: MAIL FROM:<refuse@x>", "S: 553 5.7.1 sender refused", "C: QUIT", "S: 221 Bye"},
     kSeeSenderRefused,
     "sender <refuse@x> refused: 553 5.7.1 sender refused"},
    {"Recipient",
     CURLE_SEND_ERROR,
     "RCPT failed: 550",
     {"C: MAIL FROM:<a@x>", "S: 250 OK", "C: RCPT TO:<refuse@y>",
      "S: 550 5.1.1 <refuse@y>: mailbox unavailable", "C: QUIT", "S: 221 Bye"},
     kSeeRecipientRefused,
     "recipient <refuse@y> refused: 550 5.1.1 <refuse@y>: mailbox unavailable"},
    {"Message",
     CURLE_WEIRD_SERVER_REPLY,
     "",
     {"C: DATA", "S: 354 go", "S: 554 5.6.0 rejected"},
     kSeeMessageRefused,
     "message refused: 554 5.6.0 rejected"},
    {"Greeting",
     CURLE_WEIRD_SERVER_REPLY,
     "Got unexpected smtp-server response: 554",
     {"S: 554 no service"},
     kSeeCannotConnect,
     "mx:25 refuses service: 554 no service"},
    {"ClosedBeforeGreeting",
     CURLE_GOT_NOTHING,
     "",
     {},
     kSeeCannotConnect,
     "cannot connect to mx:25: Server returned nothing (no headers, no data)"},
    {"Other",
     CURLE_RECV_ERROR,
     "Connection reset",
     {"S: 220 hi", "C: EHLO a", "S: 250 OK"},
     kSeeSmtpFailed,
     "mail through mx:25 failed: Connection reset"},
};

class DescribeTransferTest : public testing::TestWithParam<FailureCase> {};

TEST_P(DescribeTransferTest, CodeAndText) {
  const FailureCase& c = GetParam();
  const SeeStatus s = describeTransfer(c.rc, c.curlMessage, dialogue(c.lines), "mx:25");
  EXPECT_EQ(s.code(), c.code);
  EXPECT_EQ(s.text(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Failures, DescribeTransferTest, testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(DescribeTransfer, OkIsOk) {
  EXPECT_TRUE(describeTransfer(CURLE_OK, "", SmtpTranscript(), "mx:25").isOk());
}

}  // namespace
}  // namespace see32
