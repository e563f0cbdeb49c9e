// The mail engine through its exports, called by name as the suite calls it (dyncall), against
// a real SMTP server (aiosmtpd) on loopback: delivery with copies, blind copies and a binary
// attachment; STARTTLS with a certificate from the proxy settings; AUTH; and the failures the
// user must be told about in words.
#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <climits>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dyncall.h"
#include "see32.h"
#include "test_smtp_server.h"

namespace see32 {
namespace {

namespace fs = std::filesystem;
using test::Received;
using test::ServerOptions;
using test::TempDir;
using test::TestSmtpServer;

constexpr const char* kPassword = "S3cret-Pa55";

template <typename... A>
std::int32_t see(const char* name, A... args) {
  dbe::Result<std::int32_t> r = dyncall::callExport("SEE32.DLL", name, args...);
  EXPECT_TRUE(r) << r.status().toString();
  return r ? *r : INT32_MIN;
}

std::string errorText(std::int32_t code, std::int32_t chan = 0) {
  std::array<char, 128> buf;
  buf.fill(' ');
  see("seeErrorText", chan, code, buf.data(), 128);
  return buf.data();
}

struct Mail {
  std::string to = "<to1@example.com>;<to2@example.net>";
  std::string cc = "<cc@example.org>";
  std::string bcc = "<hidden@example.com>";
  std::string subject = "Vendor list";
  std::string text = "Attached is the vendor list.\n";
  std::string attachment;
  std::string from = "<ap@carrier.com>";
  std::string reply = "<ap@carrier.com>";
};

// How a session ended: the first negative result and its text, or 0 and "".
struct Outcome {
  std::int32_t code = 0;
  std::string text;
  std::string stage;  // "connect" or "send"
};

// Connect and send on channel 0, then close and release, in the order the mail code uses.
template <typename Connect>
Outcome session(const Mail& m, Connect&& connect) {
  Outcome out;
  EXPECT_EQ(see("seeAttach", 1, 0), 1);
  std::int32_t rc = connect();
  if (rc < 0) {
    out = {rc, errorText(rc), "connect"};
  } else {
    rc = see("seeSendEmail", 0, m.to.c_str(), m.cc.c_str(), m.bcc.c_str(), m.subject.c_str(),
             m.text.c_str(), m.attachment.c_str());
    if (rc < 0) out = {rc, errorText(rc), "send"};
  }
  EXPECT_EQ(see("seeClose", 0), 0);
  EXPECT_EQ(see("seeRelease"), 0);
  return out;
}

// The plain path: port, 29 = 4, 8 = 1, user and password as parameters, seeSmtpConnect.
Outcome plain(int port, const Mail& m, const std::string& user = "", const std::string& pass = "") {
  return session(m, [&] {
    see("seeIntegerParam", 0, kSeeParamSmtpPort, port);
    see("seeIntegerParam", 0, kSeeParamAuthMethod, 4);
    see("seeIntegerParam", 0, kSeeParamTextEncoding, 1);
    see("seeStringParam", 0, kSeeParamUser, user.c_str());
    see("seeStringParam", 0, kSeeParamPassword, pass.c_str());
    return see("seeSmtpConnect", 0, "127.0.0.1", m.reply.c_str(), m.reply.c_str());
  });
}

// The secure path: TLS settings, the proxy settings naming the certificate, seeSmtpConnectSSL.
Outcome secure(int port, const Mail& m, const fs::path& certDir, const std::string& user,
               const std::string& pass, const char* certName = "cert.pem") {
  return session(m, [&] {
    see("seeIntegerParam", 0, kSeeParamSmtpPort, port);
    see("seeIntegerParam", 0, kSeeParamTextEncoding, 1);
    std::string config = "debug=0";
    see("seeConfigSSL", 1, config.c_str());
    see("seeSetProxySSL", 0, 1, certDir.c_str(), certName, "stunnel.exe");
    return see("seeSmtpConnectSSL", 0, 8801, port, "127.0.0.1", user.c_str(), pass.c_str(),
               m.reply.c_str(), m.reply.c_str(), "");
  });
}

std::string binaryContent() {
  std::mt19937 gen(20160309);
  std::string bytes(150000, '\0');
  for (char& b : bytes) b = static_cast<char>(gen() & 0xFF);
  // Every byte value, and what SMTP treats specially, at line starts and ends.
  for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(i);
  bytes.replace(300, 7, "\r\n.\r\n\n.");
  return bytes;
}

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << p;
}

class SmtpEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::optional<std::string> why = test::serverUnavailable()) {
      GTEST_SKIP() << "SMTP tests skipped: " << *why;
    }
    ASSERT_FALSE(tmp_.path().empty());
    attachment_ = binaryContent();
    writeFile(tmp_ / "out" / "report.pdf", attachment_);
    mail_.attachment = (tmp_ / "out" / "report.pdf").string();
  }

  void startServer(ServerOptions o = {}) {
    if (o.tls) {
      ASSERT_TRUE(test::makeCertificate(certDir())) << "openssl could not make a certificate";
      o.certDir = certDir();
    }
    const std::string problem = server_.start(o);
    ASSERT_EQ(problem, "");
  }
  fs::path certDir() const { return tmp_ / "certs"; }
  Received received(int n = 1) {
    std::optional<Received> r = server_.message(n);
    EXPECT_TRUE(r.has_value()) << "message " << n << " never arrived\n" << server_.output();
    return r.value_or(Received{});
  }

  TempDir tmp_;
  TestSmtpServer server_{tmp_ / "server"};
  std::string attachment_;
  Mail mail_;
};

// What the headers and parts of the standard message must be, whichever path sent it.
void expectStandardMessage(const Received& r, const std::string& attachment) {
  EXPECT_EQ(r.get("mail_from"), "ap@carrier.com");
  const std::vector<std::string> rcpt = r.all("rcpt");
  EXPECT_EQ(std::set<std::string>(rcpt.begin(), rcpt.end()),
            (std::set<std::string>{"to1@example.com", "to2@example.net", "cc@example.org",
                                   "hidden@example.com"}));
  // As written, and as Python's parser reads them.
  EXPECT_NE(r.raw.find("\r\nTo: <to1@example.com>, <to2@example.net>\r\n"), std::string::npos);
  EXPECT_NE(r.raw.find("\r\nCc: <cc@example.org>\r\n"), std::string::npos);
  EXPECT_EQ(r.get("header:To"), "to1@example.com, to2@example.net");
  EXPECT_EQ(r.get("header:Cc"), "cc@example.org");
  EXPECT_EQ(r.get("header:From"), "ap@carrier.com");
  EXPECT_EQ(r.get("header:Subject"), "Vendor list");
  EXPECT_TRUE(r.has("header:Date"));
  EXPECT_TRUE(r.has("header:Message-ID"));
  // The blind copy is in the envelope only.
  EXPECT_FALSE(r.has("header:Bcc"));
  EXPECT_EQ(r.raw.find("hidden@example.com"), std::string::npos);

  EXPECT_EQ(r.get("defects"), "0");
  EXPECT_EQ(r.get("type"), "multipart/mixed");
  ASSERT_EQ(r.get("part.count"), "2");
  EXPECT_EQ(r.get("part1.type"), "text/plain");
  EXPECT_EQ(r.get("part1.defects"), "0");
  EXPECT_EQ(r.get("part2.filename"), "report.pdf");
  EXPECT_EQ(r.get("part2.type"), "application/pdf");
  EXPECT_EQ(r.get("part2.encoding"), "base64");
  EXPECT_EQ(r.get("part2.defects"), "0");
  ASSERT_EQ(r.parts.size(), 2u);
  EXPECT_TRUE(r.parts[1] == attachment)
      << "the attachment differs after decoding (" << r.parts[1].size() << " bytes of "
      << attachment.size() << ")";
}

TEST_F(SmtpEngineTest, PlainPathDeliversCopiesBlindCopiesAndAttachment) {
  startServer();
  mail_.text = "Dear vendor,\nline two\n.\n..two dots\r\nlast line";
  const Outcome o = plain(server_.port(), mail_);
  ASSERT_EQ(o.code, 0) << o.stage << ": " << o.text;
  const Received r = received();
  expectStandardMessage(r, attachment_);
  EXPECT_EQ(r.get("tls"), "0");
  EXPECT_FALSE(r.has("header:Reply-To"));  // the same as From
  EXPECT_EQ(r.get("part1.charset"), "us-ascii");
  ASSERT_EQ(r.parts.size(), 2u);
  EXPECT_EQ(r.parts[0], "Dear vendor,\r\nline two\r\n.\r\n..two dots\r\nlast line");
}

TEST_F(SmtpEngineTest, ReplyToNonAsciiSubjectAndBodyAndNoAttachment) {
  startServer();
  mail_.reply = "<office@carrier.com>";
  mail_.subject = "Lieferanten M\xC3\xBCller & S\xC3\xB6hne \xE2\x80\x93 Liste";
  mail_.text =
      "Gr\xC3\xBC\xC3\x9F"
      "e\n";
  mail_.attachment = "";
  mail_.bcc = "";
  const Outcome o = session(mail_, [&] {
    see("seeIntegerParam", 0, kSeeParamSmtpPort, server_.port());
    return see("seeSmtpConnect", 0, "127.0.0.1", "<office@carrier.com>", "<ap@carrier.com>");
  });
  ASSERT_EQ(o.code, 0) << o.stage << ": " << o.text;
  const Received r = received();
  EXPECT_EQ(r.get("mail_from"), "office@carrier.com");
  EXPECT_EQ(r.get("header:Reply-To"), "ap@carrier.com");
  EXPECT_EQ(r.get("header:Subject"), mail_.subject);
  EXPECT_EQ(r.get("part.count"), "1");
  EXPECT_EQ(r.get("part1.charset"), "utf-8");
  ASSERT_EQ(r.parts.size(), 1u);
  EXPECT_EQ(r.parts[0],
            "Gr\xC3\xBC\xC3\x9F"
            "e\r\n");
}

// The suite names files the Windows way; the drive map (here set through the engine's own
// export, in the program through VENDORLIST_DRIVES) finds them without regard to case.
TEST_F(SmtpEngineTest, WindowsAttachmentPathThroughTheDriveMap) {
  startServer();
  writeFile(tmp_ / "c" / "VadNorel" / "VendorList.PDF", attachment_);
  const std::string drives = "C=" + (tmp_ / "c").string();
  ASSERT_EQ(see("seeSetDriveMap", drives.c_str(), ""), 0);
  mail_.attachment = "C:\\vadnorel\\VENDORLIST.PDF";
  const Outcome o = plain(server_.port(), mail_);
  ASSERT_EQ(o.code, 0) << o.stage << ": " << o.text;
  const Received r = received();
  EXPECT_EQ(r.get("part2.filename"), "VENDORLIST.PDF");
  ASSERT_EQ(r.parts.size(), 2u);
  EXPECT_TRUE(r.parts[1] == attachment_);
  ASSERT_EQ(see("seeSetDriveMap", "", ""), 0);
}

TEST_F(SmtpEngineTest, MissingAttachmentNamesTheFile) {
  startServer();
  mail_.attachment = (tmp_ / "out" / "gone.pdf").string();
  const Outcome o = plain(server_.port(), mail_);
  EXPECT_EQ(o.code, kSeeNoAttachment);
  EXPECT_EQ(o.stage, "send");
  EXPECT_NE(o.text.find("gone.pdf: file not found"), std::string::npos) << o.text;
  EXPECT_EQ(server_.messageCount(), 0);
}

TEST_F(SmtpEngineTest, StartTlsWithTheProxyCertificateAsTrustedCertificate) {
  ServerOptions o;
  o.tls = true;
  o.user = "ap";
  o.password = kPassword;
  startServer(o);
  const Outcome out = secure(server_.port(), mail_, certDir(), "ap", kPassword);
  ASSERT_EQ(out.code, 0) << out.stage << ": " << out.text << "\n" << server_.output();
  const Received r = received();
  expectStandardMessage(r, attachment_);
  EXPECT_EQ(r.get("tls"), "1");
  EXPECT_EQ(r.get("auth_user"), "ap");
  EXPECT_EQ(r.raw.find(kPassword), std::string::npos);
}

TEST_F(SmtpEngineTest, WrongPasswordIsRefusedAtConnect) {
  ServerOptions o;
  o.tls = true;
  o.user = "ap";
  o.password = kPassword;
  startServer(o);
  const Outcome out = secure(server_.port(), mail_, certDir(), "ap", "wrong-password");
  EXPECT_EQ(out.code, kSeeAuthRefused);
  EXPECT_EQ(out.stage, "connect");
  EXPECT_NE(out.text.find("authentication refused by 127.0.0.1:"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("535"), std::string::npos) << out.text;
  EXPECT_EQ(out.text.find("wrong-password"), std::string::npos) << out.text;
  EXPECT_EQ(server_.messageCount(), 0);
}

TEST_F(SmtpEngineTest, UntrustedCertificateFailsWithTlsText) {
  ServerOptions o;
  o.tls = true;
  startServer(o);
  // The named certificate file does not exist, so only the system's store is trusted.
  const Outcome out = secure(server_.port(), mail_, certDir(), "", "", "stunnel.pem");
  EXPECT_EQ(out.code, kSeeTlsFailed);
  EXPECT_EQ(out.stage, "connect");
  EXPECT_NE(out.text.find("TLS with 127.0.0.1:"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("certificate"), std::string::npos) << out.text;
}

TEST_F(SmtpEngineTest, PlainPathToAServerThatRequiresTls) {
  ServerOptions o;
  o.tls = true;
  startServer(o);
  const Outcome out = plain(server_.port(), mail_);
  EXPECT_EQ(out.code, kSeeTlsFailed);
  EXPECT_NE(out.text.find("TLS required by 127.0.0.1:"), std::string::npos) << out.text;
}

struct AuthCase {
  const char* name;
  const char* user;
  const char* password;
  std::int32_t code;
  const char* stage;
  const char* textPart;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const AuthCase& c, std::ostream* os) { *os << c.name; }

const AuthCase kAuthCases[] = {
    {"Accepted", "ap", kPassword, kSeeOk, "", ""},
    {"WrongPassword", "ap", "not-it", kSeeAuthRefused, "connect", "authentication refused by"},
    {"WrongUser", "someone", kPassword, kSeeAuthRefused, "connect", "535"},
    // Without credentials the engine does not authenticate; the server then refuses the mail.
    {"NoCredentials", "", "", kSeeAuthRefused, "send", "authentication required by"},
    {"UserWithoutPassword", "ap", "", kSeeAuthRefused, "send", "530"},
};

class SmtpAuthTest : public SmtpEngineTest, public testing::WithParamInterface<AuthCase> {};

TEST_P(SmtpAuthTest, PlainPathWithUserAndPasswordParameters) {
  ServerOptions o;
  o.user = "ap";
  o.password = kPassword;
  o.authPlaintext = true;
  startServer(o);
  const AuthCase& c = GetParam();
  const Outcome out = plain(server_.port(), mail_, c.user, c.password);
  EXPECT_EQ(out.code, c.code) << out.text;
  EXPECT_EQ(out.stage, c.stage);
  EXPECT_NE(out.text.find(c.textPart), std::string::npos) << out.text;
  EXPECT_EQ(out.text.find(kPassword), std::string::npos) << out.text;
  if (c.code == kSeeOk) {
    EXPECT_EQ(received().get("auth_user"), "ap");
  }
}

INSTANTIATE_TEST_SUITE_P(Auth, SmtpAuthTest, testing::ValuesIn(kAuthCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(SmtpEngineTest, RefusedRecipientStopsTheMessageWithTheServersReply) {
  startServer();
  mail_.to = "<ok@example.com>;<refuse.me@example.com>";
  const Outcome o = plain(server_.port(), mail_);
  EXPECT_EQ(o.code, kSeeRecipientRefused);
  EXPECT_EQ(o.stage, "send");
  EXPECT_EQ(o.text,
            "recipient <refuse.me@example.com> refused: 550 5.1.1 <refuse.me@example.com>: "
            "recipient refused by this server");
  EXPECT_EQ(server_.messageCount(), 0);
}

TEST_F(SmtpEngineTest, RefusedSender) {
  startServer();
  mail_.reply = "<refuse@carrier.com>";
  const Outcome o = plain(server_.port(), mail_);
  EXPECT_EQ(o.code, kSeeSenderRefused);
  EXPECT_NE(o.text.find("sender <refuse@carrier.com> refused: 553"), std::string::npos) << o.text;
}

TEST_F(SmtpEngineTest, NoRecipientAtAll) {
  startServer();
  mail_.to = "<>";
  mail_.cc = "";
  mail_.bcc = " ; ";
  const Outcome o = plain(server_.port(), mail_);
  EXPECT_EQ(o.code, kSeeNoRecipient);
  EXPECT_EQ(server_.messageCount(), 0);
}

TEST_F(SmtpEngineTest, OnlyBlindCopies) {
  startServer();
  mail_.to = "";
  mail_.cc = "";
  const Outcome o = plain(server_.port(), mail_);
  ASSERT_EQ(o.code, 0) << o.text;
  const Received r = received();
  EXPECT_EQ(r.all("rcpt"), std::vector<std::string>{"hidden@example.com"});
  EXPECT_EQ(r.get("header:To"), "undisclosed-recipients:;");
  EXPECT_EQ(r.raw.find("hidden@example.com"), std::string::npos);
}

// Two report threads mail at once, each with its own channel 0; one thread's release does not
// touch the other's session.
TEST_F(SmtpEngineTest, EachThreadHasItsOwnSession) {
  startServer();
  std::promise<void> connected, otherReleased;
  std::future<void> otherDone = otherReleased.get_future();
  std::thread first([&] {
    EXPECT_EQ(see("seeAttach", 1, 0), 1);
    see("seeIntegerParam", 0, kSeeParamSmtpPort, server_.port());
    EXPECT_EQ(see("seeSmtpConnect", 0, "127.0.0.1", "<ap@carrier.com>", "<ap@carrier.com>"), 0);
    connected.set_value();
    otherDone.wait();
    std::string subject = "first";
    EXPECT_EQ(see("seeSendEmail", 0, "<a@example.com>", "", "", subject.c_str(), "x", ""), 0)
        << errorText(kSeeNotAttached);
    see("seeClose", 0);
    EXPECT_EQ(see("seeRelease"), 0);
  });
  connected.get_future().wait();
  std::thread second([&] {
    EXPECT_EQ(see("seeAttach", 2, 0), 2);
    EXPECT_EQ(see("seeRelease"), 0);
    EXPECT_EQ(see("seeRelease"), kSeeNotAttached);
    otherReleased.set_value();
  });
  second.join();
  first.join();
  EXPECT_EQ(received(1).get("header:Subject"), "first");

  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&, t] {
      Mail m = mail_;
      m.subject = "parallel " + std::to_string(t);
      const Outcome o = plain(server_.port(), m);
      EXPECT_EQ(o.code, 0) << o.text;
    });
  }
  for (std::thread& s : senders) s.join();
  std::set<std::string> subjects;
  for (int n = 2; n <= 4; ++n) subjects.insert(received(n).get("header:Subject"));
  EXPECT_EQ(subjects, (std::set<std::string>{"parallel 0", "parallel 1", "parallel 2"}));
}

// ---- failures that need no SMTP server ----

TEST(SmtpEngineFailures, ServerDownCannotConnect) {
  const int port = test::closedPort();
  ASSERT_GT(port, 0);
  const Outcome o = plain(port, Mail{});
  EXPECT_EQ(o.code, kSeeCannotConnect);
  EXPECT_EQ(o.stage, "connect");
  EXPECT_NE(o.text.find("cannot connect to 127.0.0.1:" + std::to_string(port)), std::string::npos)
      << o.text;
}

TEST(SmtpEngineFailures, BlankServerReachesTheConnectCall) {
  EXPECT_EQ(see("seeAttach", 1, 0), 1);
  const std::int32_t rc = see("seeSmtpConnect", 0, "", "<ap@carrier.com>", "<ap@carrier.com>");
  EXPECT_EQ(rc, kSeeCannotConnect);
  EXPECT_EQ(errorText(rc), "cannot connect: no SMTP server given");
  EXPECT_EQ(see("seeRelease"), 0);
}

// A server that takes the connection but never greets.
TEST(SmtpEngineFailures, SilentServerTimesOut) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  const Outcome o = session(Mail{}, [&] {
    see("seeIntegerParam", 0, kSeeParamSmtpPort, static_cast<std::int32_t>(ntohs(a.sin_port)));
    see("seeIntegerParam", 0, kSeeParamTransferTimeout, 1);
    return see("seeSmtpConnect", 0, "127.0.0.1", "<ap@carrier.com>", "");
  });
  ::close(fd);
  EXPECT_EQ(o.code, kSeeTimeout);
  EXPECT_NE(o.text.find("time-out talking to 127.0.0.1:"), std::string::npos) << o.text;
}

TEST(SmtpEngineFailures, CallsOutOfOrderOrOutOfRange) {
  EXPECT_EQ(see("seeSendEmail", 0, "<a@x>", "", "", "s", "t", ""), kSeeNotAttached);
  EXPECT_EQ(errorText(kSeeNotAttached), "the mail engine is not attached: call seeAttach first");
  EXPECT_EQ(see("seeAttach", 0, 0), kSeeBadArgument);
  EXPECT_EQ(see("seeAttach", kSeeMaxChannels + 1, 0), kSeeBadArgument);
  EXPECT_EQ(see("seeAttach", 2, 12345), 2);
  EXPECT_EQ(see("seeIntegerParam", 2, kSeeParamSmtpPort, 25), kSeeBadChannel);
  EXPECT_EQ(errorText(kSeeBadChannel, 2), "channel 2 is not attached (channels 0 to 1)");
  EXPECT_EQ(see("seeIntegerParam", 1, kSeeParamSmtpPort, 70000), kSeeBadArgument);
  EXPECT_EQ(see("seeIntegerParam", 1, 12, 1), kSeeNotSupported);
  EXPECT_EQ(see("seeSendEmail", 1, "<a@x>", "", "", "s", "t", ""), kSeeNotConnected);
  EXPECT_EQ(errorText(kSeeNotConnected, 1), "not connected: connect to the SMTP server first");
  EXPECT_EQ(see("seeClose", 1), 0);  // closing a channel that never connected is fine
  EXPECT_EQ(see("seeConfigSSL", 1, "debug=1;verify=0"), kSeeNotSupported);
  EXPECT_EQ(see("seeConfigSSL", 7, "debug=0"), kSeeNotSupported);
  EXPECT_EQ(see("seeConfigSSL", 1, "debug=0"), 0);
  EXPECT_EQ(see("seeRelease"), 0);
  // A code nobody reported gets its general meaning.
  EXPECT_EQ(errorText(kSeeMessageRefused), "message refused by the SMTP server");
}

TEST(SmtpEngineFailures, EveryOtherExportIsNotSupported) {
  const char* kNames[] = {"seeImapConnect", "seePop3ConnectSSL", "seeVerifyUser", "seeSendHTML"};
  for (const char* name : kNames) {
    EXPECT_EQ(see(name, 0), kSeeNotSupported) << name;
    EXPECT_EQ(errorText(kSeeNotSupported), std::string(name) + " is not supported by this engine");
  }
}

TEST(SmtpEngineFailures, ErrorTextFitsAnyBuffer) {
  EXPECT_EQ(see("seeAttach", 1, 0), 1);
  see("seeSmtpConnect", 0, "", "<a@x>", "");
  for (const std::int32_t len : {0, 1, 2, 10, 128}) {
    std::array<char, 140> buf;
    buf.fill('#');
    const std::int32_t n = see("seeErrorText", 0, kSeeCannotConnect, buf.data() + 4, len);
    const std::string full = "cannot connect: no SMTP server given";
    const std::size_t expected = len <= 0 ? 0 : std::min<std::size_t>(full.size(), len - 1);
    EXPECT_EQ(n, static_cast<std::int32_t>(expected)) << len;
    if (len > 0) {
      EXPECT_EQ(std::string(buf.data() + 4), full.substr(0, expected));
    }
    const std::size_t written = len > 0 ? static_cast<std::size_t>(len) : 0;
    for (std::size_t i = 0; i < buf.size(); ++i) {
      if (i < 4 || i >= 4 + written) {
        EXPECT_EQ(buf[i], '#') << "len " << len << " byte " << i;
      }
    }
  }
  EXPECT_EQ(see("seeRelease"), 0);
}

// No failure, whatever the path, puts the password into a text: every code's text is read
// after each failure while the password is set both as a parameter and on the connect call.
TEST_F(SmtpEngineTest, NoPasswordInAnyErrorText) {
  ServerOptions o;
  o.tls = true;
  o.user = "ap";
  o.password = "other-password";
  startServer(o);
  std::vector<std::string> texts;
  auto collect = [&](auto&& connect) {
    EXPECT_EQ(see("seeAttach", 1, 0), 1);
    see("seeStringParam", 0, kSeeParamUser, "ap");
    see("seeStringParam", 0, kSeeParamPassword, kPassword);
    see("seeSetProxySSL", 0, 1, certDir().c_str(), "cert.pem", "stunnel.exe");
    const std::int32_t rc = connect();
    if (rc == 0) {
      see("seeSendEmail", 0, "<refuse@example.com>", "", "", "s", kPassword, "");
    }
    for (std::int32_t code = 0; code >= -25; --code) texts.push_back(errorText(code));
    see("seeClose", 0);
    see("seeRelease");
  };
  const int port = server_.port();
  collect([&] {  // refused login over TLS
    return see("seeSmtpConnectSSL", 0, 8801, port, "127.0.0.1", "ap", kPassword, "<a@x.com>",
               "<a@x.com>", "");
  });
  collect([&] {  // plain text to a server that wants TLS
    see("seeIntegerParam", 0, kSeeParamSmtpPort, port);
    return see("seeSmtpConnect", 0, "127.0.0.1", "<a@x.com>", "<a@x.com>");
  });
  collect([&] {  // nobody there
    return see("seeSmtpConnectSSL", 0, 8801, test::closedPort(), "127.0.0.1", "ap", kPassword,
               "<a@x.com>", "<a@x.com>", "");
  });
  collect([&] {  // a server name made of the password
    return see("seeSmtpConnectSSL", 0, 8801, port, kPassword, "ap", kPassword, "<a@x.com>",
               "<a@x.com>", "");
  });
  collect([&] {  // a server name that is no host name and quotes the password
    const std::string server = std::string(kPassword) + " host";
    return see("seeSmtpConnectSSL", 0, 8801, port, server.c_str(), "ap", kPassword, "<a@x.com>",
               "<a@x.com>", "");
  });
  collect([&] {  // an address that quotes the password, refused before any network use
    const std::string from = std::string("<") + kPassword + " @x.com>";
    return see("seeSmtpConnectSSL", 0, 8801, port, "127.0.0.1", "ap", kPassword, from.c_str(), "",
               "");
  });
  ASSERT_FALSE(texts.empty());
  for (const std::string& t : texts) {
    EXPECT_EQ(t.find(kPassword), std::string::npos) << t;
    EXPECT_EQ(t.find("UzNjcmV0LVBhNTU"), std::string::npos) << t;  // base64 of the password
  }
}

}  // namespace
}  // namespace see32
