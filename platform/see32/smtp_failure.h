// What went wrong in one libcurl SMTP transfer, as one of the engine's codes and a text.
//
// libcurl tells how a transfer ended (a CURLcode and the message in its error buffer, such as
// "RCPT failed: 550"); the transcript tells which command the server refused and with what
// reply. Together they make the text the user reads:
//
//   cannot connect to mail.carrier.com:25: Could not connect to server
//   time-out talking to mail.carrier.com:25: Operation timed out after 1001 milliseconds ...
//   TLS with mail.carrier.com:587 failed: SSL certificate problem: self-signed certificate
//   authentication refused by mail.carrier.com:587: 535 5.7.8 Authentication credentials invalid
//   sender <ap@carrier.com> refused: 553 5.7.1 sender not allowed
//   recipient <x@y.com> refused: 550 5.1.1 <x@y.com>: mailbox unavailable
//   message refused: 554 5.6.0 message rejected
//
// The texts never contain a password: callers mask it (maskSecret) before storing the text.
//
// Thread safety: pure function.
#pragma once

#include <string_view>

#include <curl/curl.h>

#include "see_status.h"
#include "smtp_transcript.h"

namespace see32 {

// `server` is "host:port"; `curlMessage` the error buffer (may be empty). OK for CURLE_OK.
SeeStatus describeTransfer(CURLcode rc, std::string_view curlMessage,
                           const SmtpTranscript& transcript, std::string_view server);

}  // namespace see32
