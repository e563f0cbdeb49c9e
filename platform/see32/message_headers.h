// The header block and text conventions of one outgoing message.
//
// libcurl writes the MIME structure (multipart/mixed, boundaries, Content-Type and
// Content-Transfer-Encoding of each part, the base64 and quoted-printable bodies, MIME-Version)
// and the SMTP dialogue with its dot-stuffing. What it leaves to us is what this file holds:
//
//   the top-level headers   Date, From, To, Cc, Reply-To, Subject, Message-ID, each one full
//                           "Name: value" line, folded at blanks before 78 columns
//                           ("\r\n " + the rest), non-ASCII words as RFC 2047 encoded words
//   the text part           its charset (us-ascii, utf-8, or windows-1252 for bytes that are
//                           not UTF-8: the code page the suite's tables are written in) and its
//                           line ends (CRLF, as SMTP wants them)
//   the attachments         the name shown to the reader and the media type by extension
//
// Blind copies are not a header: they live only in the SMTP envelope.
//
// Thread safety: pure functions.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "address_list.h"

namespace see32 {

struct HeaderFields {
  Address from;
  Address replyTo;          // left out when empty or the same mailbox as `from`
  std::vector<Address> to;  // empty: "To: undisclosed-recipients:;"
  std::vector<Address> cc;  // left out when empty
  std::string subject;      // bytes as given; control characters become blanks
  std::string date;         // the value of Date:, see rfc5322Date()
  std::string messageId;    // "<...@...>", see makeMessageId()
};

// The header lines, in the order above (Date first). Each has no trailing CRLF.
std::vector<std::string> buildHeaders(const HeaderFields& fields);

// The text of an unstructured header value: ASCII as it is, otherwise RFC 2047 "B" encoded
// words in the charset of the bytes (charsetOf). Control characters become blanks.
std::string encodeHeaderText(std::string_view text);

// "Accounts <ap@carrier.com>", "\"Smith, J.\" <js@x>", "<ap@carrier.com>".
std::string formatAddress(const Address& address);

// `line` folded for a header: each blank after the header's name where the line would pass 78
// columns becomes CRLF + blank. Text without blanks is not broken.
std::string foldHeader(std::string_view line);

// "Thu, 09 Mar 2016 14:05:00 +0100": `local` is the broken-down local time, `offsetSeconds`
// its distance from UTC (east positive). Day and month names are English whatever the locale.
std::string rfc5322Date(const std::tm& local, long offsetSeconds);
// rfc5322Date for `t` in the host's time zone.
std::string rfc5322Date(std::time_t t);

// "<5f0c9a11d2e4b7c3.1457528700@carrier.com>": random token, time and the domain of `from`
// (or `fallbackDomain` when from has none).
std::string makeMessageId(const Address& from, std::string_view fallbackDomain, std::time_t t);

// "us-ascii" when every byte is below 0x80, "utf-8" for valid UTF-8, else "windows-1252".
std::string_view charsetOf(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

// CR LF, bare LF and bare CR all become CR LF.
std::string crlfLineEnds(std::string_view text);

// The last component of a host or Windows path ("C:\vadnorel\VENDOR.PDF" gives "VENDOR.PDF").
std::string_view fileNamePart(std::string_view path);

// The media type for a file name by its extension, without regard to case
// (".pdf" application/pdf, ".txt" text/plain, ...); application/octet-stream when unknown.
std::string_view mediaTypeFor(std::string_view fileName);

}  // namespace see32
