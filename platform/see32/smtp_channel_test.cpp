#include "smtp_channel.h"

#include <gtest/gtest.h>
#include <string>

namespace see32 {
namespace {

struct UrlCase {
  const char* host;
  std::int32_t port;
  TlsMode tls;
  const char* expected;  // nullptr: refused with kSeeCannotConnect
};

const UrlCase kUrls[] = {
    {"mail.carrier.com", 25, TlsMode::kNone, "smtp://mail.carrier.com:25/ws01"},
    {"  mail.carrier.com ", 587, TlsMode::kStartTls, "smtp://mail.carrier.com:587/ws01"},
    {"mail.carrier.com", 465, TlsMode::kImplicit, "smtps://mail.carrier.com:465/ws01"},
    {"127.0.0.1", 2525, TlsMode::kNone, "smtp://127.0.0.1:2525/ws01"},
    {"::1", 25, TlsMode::kNone, "smtp://[::1]:25/ws01"},
    {"", 25, TlsMode::kNone, nullptr},
    {"   ", 25, TlsMode::kNone, nullptr},
    {"mail.carrier.com:587", 25, TlsMode::kNone, nullptr},
    {"user@mail.carrier.com", 25, TlsMode::kNone, nullptr},
    {"mail carrier", 25, TlsMode::kNone, nullptr},
    {"mail.carrier.com/x", 25, TlsMode::kNone, nullptr},
};

TEST(MakeUrl, SchemeHostPortAndHeloName) {
  for (const UrlCase& c : kUrls) {
    SCOPED_TRACE(c.host);
    SeeResult<std::string> url = SmtpChannel::makeUrl(c.host, c.port, c.tls, "ws01");
    if (c.expected == nullptr) {
      ASSERT_FALSE(url);
      EXPECT_EQ(url.status().code(), kSeeCannotConnect);
      EXPECT_NE(url.status().text().find("cannot connect"), std::string::npos);
    } else {
      ASSERT_TRUE(url) << url.status().text();
      EXPECT_EQ(*url, c.expected);
    }
  }
}

TEST(HeloName, ConfiguredOrHostName) {
  EXPECT_EQ(SmtpChannel::heloNameFor("ws01.carrier.com"), "ws01.carrier.com");
  const std::string fallback = SmtpChannel::heloNameFor("bad name/");
  EXPECT_FALSE(fallback.empty());
  EXPECT_EQ(fallback.find_first_of(" /"), std::string::npos);
  EXPECT_EQ(SmtpChannel::heloNameFor(""), fallback);
}

struct ParamCase {
  std::int32_t index;
  std::int32_t value;
  std::int32_t code;
};

const ParamCase kParams[] = {
    {kSeeParamSmtpPort, 0, kSeeOk},
    {kSeeParamSmtpPort, 65535, kSeeOk},
    {kSeeParamSmtpPort, 65536, kSeeBadArgument},
    {kSeeParamSmtpPort, -1, kSeeBadArgument},
    {kSeeParamAuthMethod, 4, kSeeOk},
    {kSeeParamAuthMethod, 5, kSeeBadArgument},
    {kSeeParamTextEncoding, 1, kSeeOk},
    {kSeeParamTextEncoding, 3, kSeeBadArgument},
    {kSeeParamConnectTimeout, 0, kSeeBadArgument},
    {kSeeParamTransferTimeout, 1, kSeeOk},
    {77, 1, kSeeNotSupported},
};

TEST(ChannelParams, RangesAndUnknownIndexes) {
  for (const ParamCase& c : kParams) {
    SmtpChannel ch;
    const SeeStatus s = ch.setInteger(c.index, c.value);
    EXPECT_EQ(s.code(), c.code) << "parameter " << c.index << " = " << c.value << ": " << s.text();
  }
  SmtpChannel ch;
  EXPECT_TRUE(ch.setInteger(kSeeParamSmtpPort, 2525).isOk());
  EXPECT_EQ(ch.params().port, 2525);
  EXPECT_FALSE(ch.setInteger(kSeeParamSmtpPort, 70000).isOk());
  EXPECT_EQ(ch.params().port, 2525);  // a refused value changes nothing
  EXPECT_EQ(ch.setString(99, "x").code(), kSeeNotSupported);
}

TEST(Channel, SendBeforeConnectIsNotConnected) {
  SmtpChannel ch;
  OutgoingMessage m;
  m.to = "<a@x>";
  EXPECT_EQ(ch.send(m).code(), kSeeNotConnected);
}

TEST(Channel, ConnectChecksServerAndSenderBeforeTheNetwork) {
  SmtpChannel ch;
  ConnectRequest r;
  r.server = "";
  r.from = "<me@x>";
  EXPECT_EQ(ch.connect(r).code(), kSeeCannotConnect);
  r.server = "127.0.0.1";
  r.from = "<>";
  EXPECT_EQ(ch.connect(r).code(), kSeeBadAddress);
  r.from = "<a b>";
  EXPECT_EQ(ch.connect(r).code(), kSeeBadAddress);
  EXPECT_FALSE(ch.connected());
}

}  // namespace
}  // namespace see32
