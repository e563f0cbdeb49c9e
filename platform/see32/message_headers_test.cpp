#include "message_headers.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace see32 {
namespace {

TEST(Charset, ByTheBytes) {
  EXPECT_EQ(charsetOf("Vendor list"), "us-ascii");
  EXPECT_EQ(charsetOf("Lieferant M\xC3\xBCller"), "utf-8");
  EXPECT_EQ(charsetOf("Lieferant M\xFCller"), "windows-1252");  // code page 1252 from a table
  EXPECT_EQ(charsetOf("\xC0\xAF"), "windows-1252");             // overlong: not UTF-8
  EXPECT_EQ(charsetOf("\xED\xA0\x80"), "windows-1252");         // surrogate: not UTF-8
  EXPECT_EQ(charsetOf("ab\xE2\x82"), "windows-1252");           // cut short: not UTF-8
}

struct SubjectCase {
  const char* subject;
  const char* expected;
};

const SubjectCase kSubjects[] = {
    {"Vendor list", "Vendor list"},
    {"", ""},
    {"two\r\nlines", "two  lines"},  // no header injection
    {"M\xC3\xBCller", "=?utf-8?B?TcO8bGxlcg==?="},
    {"M\xFCller", "=?windows-1252?B?TfxsbGVy?="},
};

TEST(EncodeHeaderText, AsciiAsIsElseEncodedWords) {
  for (const SubjectCase& c : kSubjects) {
    EXPECT_EQ(encodeHeaderText(c.subject), c.expected) << c.subject;
  }
}

TEST(EncodeHeaderText, LongTextGivesShortWordsWithoutSplittingCharacters) {
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "\xC3\xA9";  // 40 x "é"
  const std::string encoded = encodeHeaderText(subject);
  std::size_t start = 0;
  int words = 0;
  while (start < encoded.size()) {
    std::size_t end = encoded.find(' ', start);
    if (end == std::string::npos) end = encoded.size();
    const std::string word = encoded.substr(start, end - start);
    EXPECT_LE(word.size(), 75u) << word;
    EXPECT_EQ(word.rfind("=?utf-8?B?", 0), 0u) << word;
    // 44 bytes per word: an even number, so no "é" is cut in two.
    ++words;
    start = end + 1;
  }
  EXPECT_EQ(words, 2);
}

TEST(FormatAddress, QuotesOnlyWhereNeeded) {
  EXPECT_EQ(formatAddress({"", "ap@carrier.com"}), "<ap@carrier.com>");
  EXPECT_EQ(formatAddress({"Accounts Payable", "ap@x.com"}), "Accounts Payable <ap@x.com>");
  EXPECT_EQ(formatAddress({"Smith, J.", "js@x.com"}), "\"Smith, J.\" <js@x.com>");
  EXPECT_EQ(formatAddress({"say \"hi\"", "h@x.com"}), "\"say \\\"hi\\\"\" <h@x.com>");
  EXPECT_EQ(formatAddress({"M\xC3\xBCller", "m@x.com"}), "=?utf-8?B?TcO8bGxlcg==?= <m@x.com>");
}

TEST(FoldHeader, BreaksAtBlanksBefore78Columns) {
  std::string line = "To: ";
  for (int i = 0; i < 12; ++i)
    line += (i ? ", " : "") + std::string("<user") + std::to_string(i) + "@example.com>";
  const std::string folded = foldHeader(line);
  std::string unfolded;
  std::size_t start = 0;
  while (true) {
    const std::size_t crlf = folded.find("\r\n", start);
    const std::string piece = folded.substr(start, crlf == std::string::npos ? crlf : crlf - start);
    EXPECT_LE(piece.size(), 78u) << piece;
    unfolded += piece;
    if (crlf == std::string::npos) break;
    EXPECT_EQ(folded[crlf + 2], ' ');  // continuation lines begin with a blank
    start = crlf + 2;
  }
  EXPECT_EQ(unfolded, line);  // unfolding (removing CRLF) gives the line back
  EXPECT_NE(folded.find("\r\n"), std::string::npos);
}

TEST(FoldHeader, ShortOrUnbreakableLinesStay) {
  EXPECT_EQ(foldHeader("Subject: Vendor list"), "Subject: Vendor list");
  const std::string longWord = "Subject: " + std::string(100, 'x');
  EXPECT_EQ(foldHeader(longWord), longWord);
}

TEST(Date, Rfc5322WithEnglishNamesAndOffset) {
  std::tm t{};
  t.tm_year = 2016 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 9;
  t.tm_wday = 3;
  t.tm_hour = 14;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(rfc5322Date(t, 3600), "Wed, 09 Mar 2016 14:05:07 +0100");
  EXPECT_EQ(rfc5322Date(t, -(5 * 3600 + 30 * 60)), "Wed, 09 Mar 2016 14:05:07 -0530");
  EXPECT_EQ(rfc5322Date(t, 0), "Wed, 09 Mar 2016 14:05:07 +0000");
}

TEST(MessageId, DomainOfTheSenderAndUnique) {
  const std::string a = makeMessageId({"", "ap@carrier.com"}, "ws01", 1457528700);
  const std::string b = makeMessageId({"", "ap@carrier.com"}, "ws01", 1457528700);
  EXPECT_EQ(a.front(), '<');
  EXPECT_NE(a.find(".1457528700@carrier.com>"), std::string::npos) << a;
  EXPECT_NE(a, b);
  EXPECT_NE(makeMessageId({"", "postmaster"}, "ws01", 1).find("@ws01>"), std::string::npos);
}

TEST(LineEnds, AllBecomeCrlf) {
  EXPECT_EQ(crlfLineEnds("a\nb\r\nc\rd\n\n"), "a\r\nb\r\nc\r\nd\r\n\r\n");
  EXPECT_EQ(crlfLineEnds("no end"), "no end");
  EXPECT_EQ(crlfLineEnds("\r\r\n"), "\r\n\r\n");
}

TEST(FileNames, LastComponentAndMediaType) {
  EXPECT_EQ(fileNamePart("C:\\vadnorel\\VENDORLIST.PDF"), "VENDORLIST.PDF");
  EXPECT_EQ(fileNamePart("/srv/out/report.txt"), "report.txt");
  EXPECT_EQ(fileNamePart("\\\\server\\share\\out.pdf"), "out.pdf");
  EXPECT_EQ(fileNamePart("C:OUT.TXT"), "OUT.TXT");
  EXPECT_EQ(fileNamePart("plain.xls"), "plain.xls");
  EXPECT_EQ(mediaTypeFor("VENDORLIST.PDF"), "application/pdf");
  EXPECT_EQ(mediaTypeFor("vendor.Txt"), "text/plain");
  EXPECT_EQ(mediaTypeFor("vendor.xls"), "application/vnd.ms-excel");
  EXPECT_EQ(mediaTypeFor("vendor"), "application/octet-stream");
  EXPECT_EQ(mediaTypeFor("vendor.pdf.bak"), "application/octet-stream");
}

class HeadersTest : public testing::Test {
 protected:
  HeadersTest() {
    fields_.from = {"", "ap@carrier.com"};
    fields_.replyTo = {"", "ap@carrier.com"};
    fields_.to = {{"", "a@x.com"}, {"", "b@y.com"}};
    fields_.subject = "Vendor list";
    fields_.date = "Wed, 09 Mar 2016 14:05:07 +0100";
    fields_.messageId = "<id@carrier.com>";
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const std::string& l : buildHeaders(fields_)) out.push_back(l.substr(0, l.find(':')));
    return out;
  }
  HeaderFields fields_;
};

TEST_F(HeadersTest, FullSet) {
  fields_.cc = {{"", "c@z.com"}};
  fields_.replyTo = {"", "office@carrier.com"};
  const std::vector<std::string> lines = buildHeaders(fields_);
  const std::vector<std::string> expected = {"Date: Wed, 09 Mar 2016 14:05:07 +0100",
                                             "From: <ap@carrier.com>",
                                             "To: <a@x.com>, <b@y.com>",
                                             "Cc: <c@z.com>",
                                             "Reply-To: <office@carrier.com>",
                                             "Subject: Vendor list",
                                             "Message-ID: <id@carrier.com>"};
  EXPECT_EQ(lines, expected);
}

TEST_F(HeadersTest, NoCcNoReplyToWhenSameAsFrom) {
  EXPECT_EQ(names(), (std::vector<std::string>{"Date", "From", "To", "Subject", "Message-ID"}));
}

TEST_F(HeadersTest, OnlyBlindCopiesGiveUndisclosedRecipients) {
  fields_.to.clear();
  const std::vector<std::string> lines = buildHeaders(fields_);
  EXPECT_EQ(lines[2], "To: undisclosed-recipients:;");
}

}  // namespace
}  // namespace see32
