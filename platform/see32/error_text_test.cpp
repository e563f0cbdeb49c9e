#include "error_text.h"

#include <array>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "see32.h"

namespace see32 {
namespace {

// A buffer with guard bytes on both sides, to see that nothing is written outside it.
class BufferTest : public testing::Test {
 protected:
  static constexpr char kGuard = '#';
  void SetUp() override { bytes_.fill(kGuard); }
  char* buffer() { return bytes_.data() + 8; }
  bool guardsIntact(std::size_t len) const {
    for (std::size_t i = 0; i < 8; ++i) {
      if (bytes_[i] != kGuard) return false;
    }
    for (std::size_t i = 8 + len; i < bytes_.size(); ++i) {
      if (bytes_[i] != kGuard) return false;
    }
    return true;
  }
  std::array<char, 200> bytes_{};
};

struct CopyCase {
  std::int32_t bufLen;
  const char* text;
  const char* expected;  // nullptr: nothing written at all
};

const CopyCase kCopies[] = {
    {0, "cannot connect", nullptr},
    {-5, "cannot connect", nullptr},
    {1, "cannot connect", ""},
    {5, "cannot connect", "cann"},
    {15, "cannot connect", "cannot connect"},
    {128, "cannot connect", "cannot connect"},
    {1, "", ""},
    // A cut never splits a UTF-8 sequence ("é" is 2 bytes)...
    {3, "a\xC3\xA9z", "a"},
    {4, "a\xC3\xA9z", "a\xC3\xA9"},
    // ...but cuts bytes of a code page where they fall.
    {3, "a\xE9z", "a\xE9"},
};

TEST_F(BufferTest, CopiesAtMostBufLenIncludingNul) {
  for (const CopyCase& c : kCopies) {
    SCOPED_TRACE(testing::Message() << "bufLen " << c.bufLen << " text " << c.text);
    bytes_.fill(kGuard);
    const std::int32_t n = copyToBuffer(c.text, buffer(), c.bufLen);
    if (c.expected == nullptr) {
      EXPECT_EQ(n, 0);
      EXPECT_TRUE(guardsIntact(0));
      continue;
    }
    EXPECT_EQ(std::string(buffer()), c.expected);
    EXPECT_EQ(n, static_cast<std::int32_t>(std::string(c.expected).size()));
    EXPECT_TRUE(guardsIntact(static_cast<std::size_t>(c.bufLen)));
  }
}

TEST(CopyToBuffer, NullBufferWritesNothing) { EXPECT_EQ(copyToBuffer("x", nullptr, 10), 0); }

TEST(GenericText, EveryCodeHasItsOwnText) {
  const std::int32_t codes[] = {kSeeNotSupported,   kSeeNotAttached,   kSeeBadChannel,
                                kSeeBadArgument,    kSeeNotConnected,  kSeeEngineFailure,
                                kSeeCannotConnect,  kSeeTimeout,       kSeeTlsFailed,
                                kSeeAuthRefused,    kSeeSenderRefused, kSeeRecipientRefused,
                                kSeeMessageRefused, kSeeNoRecipient,   kSeeBadAddress,
                                kSeeNoAttachment,   kSeeSmtpFailed};
  std::set<std::string> seen;
  for (std::int32_t c : codes) {
    const std::string t = genericErrorText(c);
    EXPECT_EQ(t.find("unknown"), std::string::npos) << c;
    EXPECT_TRUE(seen.insert(t).second) << "duplicate text " << t;
  }
  EXPECT_EQ(genericErrorText(kSeeNotSupported), "not supported by this engine");
  EXPECT_EQ(genericErrorText(0), "no error");
  EXPECT_EQ(genericErrorText(-777), "unknown error code -777");
}

TEST(OneLine, SqueezesControlsAndBlanks) {
  EXPECT_EQ(oneLine("  550-first\r\n550 second\t end \r\n"), "550-first 550 second end");
  EXPECT_EQ(oneLine(""), "");
}

TEST(MaskSecret, ReplacesEveryOccurrence) {
  EXPECT_EQ(maskSecret("535 bad S3cret for S3cret", "S3cret"), "535 bad **** for ****");
  EXPECT_EQ(maskSecret("no secret here", "S3cret"), "no secret here");
  // Too short to mask without garbling ordinary words.
  EXPECT_EQ(maskSecret("a b", "a"), "a b");
}

}  // namespace
}  // namespace see32
