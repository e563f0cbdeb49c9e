// The SMTP mail engine: the see* exports of libsee32.so.
//
// The suite's mail code reaches its engine only through exports called by name ("SEE32.DLL",
// "seeSendEmail"; see dyncall.h for the call). This library is that engine for our platform.
// Every export has C linkage, takes 32-bit signed integers by value and `char*` buffers (text
// read up to its NUL, or a buffer of nBufLen bytes written into) and returns a 32-bit signed
// integer: 0 or more for success, a negative code from the list below for failure. Nothing is
// ever thrown out of an export.
//
// A session, in the order the mail code uses it:
//
//   seeAttach(1, key)                         channels 0 .. nNbrChans-1, default parameters
//   seeIntegerParam(0, kSeeParamSmtpPort, 587) / seeStringParam(0, kSeeParamUser, "...")
//   seeSmtpConnect(0, "mail.example.com", "<me@example.com>", "<me@example.com>")
//       or seeConfigSSL(...), seeSetProxySSL(...), seeSmtpConnectSSL(0, ...)
//   seeSendEmail(0, "<a@x>;<b@y>", "<c@z>", "", "Subject", "Body", "C:\\vadnorel\\R.PDF")
//   seeErrorText(0, code, buffer, 128)        after any negative result
//   seeClose(0), seeRelease()
//
// SMTP, STARTTLS, implicit TLS, authentication and MIME are libcurl's; the engine only decides
// what to ask for and turns curl's answers into the codes and texts below.
//
// Connecting. seeSmtpConnect and seeSmtpConnectSSL record the server, the envelope sender and
// the reply-to address, then check that the server answers: greeting, EHLO, STARTTLS where
// required, AUTH where credentials are set, and a NOOP. A server that is down, a TLS handshake
// that fails or credentials that are refused are reported by the connect call, not later. The
// live connection is kept on the channel and reused by seeSendEmail (libcurl opens a new one
// if the server has dropped it meanwhile); seeClose ends it with QUIT.
//
//   plain path (seeSmtpConnect): port = parameter kSeeParamSmtpPort, 25 when 0. No TLS,
//     except that port 465 always speaks implicit TLS (it carries nothing else). AUTH when
//     both kSeeParamUser and kSeeParamPassword are set.
//   secure path (seeSmtpConnectSSL): port = nSmtpPort, else kSeeParamSmtpPort, else 25.
//     Native TLS to the server itself: implicit TLS on port 465, STARTTLS on any other port,
//     and the session fails rather than go on in plain text. The certificate is always
//     verified, name included. When the file cProxyDir + cProxyCert given to seeSetProxySSL
//     exists, it is the set of trusted certificates (CA bundle); otherwise the system's store
//     is used. nProxyPort, cProxyIP and the proxy program of seeSetProxySSL are recorded for
//     the record only: the engine never starts a proxy program and never connects to one,
//     because talking TLS itself is what the proxy was for. cUser/cPass, when not empty, are
//     the credentials (else the parameters are).
//
// Sending. seeSendEmail(nChan, cRcpt, cCC, cBCC, cSubj, cMsg, cAttach) sends one message on a
// connected channel. Address lists are bracketed addresses separated by ';' ("<a@x>;<b@y>");
// blanks around entries and empty entries ("<>", ";;") are ignored, a bare address (no
// brackets) and "Name <a@x>" are accepted too. The envelope holds every To, Cc and Bcc address
// (each once); the headers hold From, To (or "undisclosed-recipients:;" when only blind copies
// are given), Cc, Reply-To (when it differs from From), Subject, Date, Message-ID; blind copies
// never appear in any header. The message is multipart/mixed: the text part (charset us-ascii,
// utf-8 or windows-1252 as the bytes show, line ends made CRLF) and one base64 part per
// attachment, named after the file. cAttach is empty (none) or file names separated by ';'.
//
// File names (cAttach, cProxyDir + cProxyCert) are host paths when they begin with '/', and
// otherwise Windows paths as the suite writes them ("C:\vadnorel\VENDORLIST.PDF",
// "\rovudo\stunnel.pem", "\\server\share\x.pdf"). Those are resolved like the program resolves
// them: drives and shares through VENDORLIST_DRIVES and VENDORLIST_UNC (or seeSetDriveMap),
// each component found without regard to case; a path without drive is on drive C:, a
// relative one is taken from C:'s root (the engine cannot see the program's current directory,
// so the program hands it full paths, as it does).
//
// Thread safety and state. Every export may be called from any thread. The state (attached
// channels, their parameters and connections, the TLS and proxy settings, the last error
// texts) belongs to the calling thread: each thread that calls seeAttach gets a session of its
// own, so two report threads can mail at the same time, each with its own channel 0. The table
// of sessions is guarded by a mutex, held only to find, create or drop a session, never while
// the network is used. A thread that ends without seeRelease has its session released (and its
// connections closed) when it ends. Calling seeAttach again replaces the thread's session.
//
// libcurl is initialised once when the library is loaded (a library constructor, before any
// export can run); it is not cleaned up, since another thread may still be inside an export
// when the process ends. Every transfer sets CURLOPT_NOSIGNAL, a connect time-out and a time-out
// for the whole transfer (parameters below).
//
// Passwords are never logged, printed or put into an error text: the engine keeps no copy of
// what it sends during authentication, and a reply of the server that quotes the password has
// it masked before it becomes a text.
#pragma once

#include <cstdint>

namespace see32 {

// ---- result codes ------------------------------------------------------------------------------
// Success results: seeAttach returns the number of channels, seeErrorText the length of the text
// it wrote, every other export 0.
inline constexpr std::int32_t kSeeOk = 0;
inline constexpr std::int32_t kSeeNotSupported = -1;       // export or setting this engine lacks
inline constexpr std::int32_t kSeeNotAttached = -2;        // no seeAttach in this thread
inline constexpr std::int32_t kSeeBadChannel = -3;         // channel number out of range
inline constexpr std::int32_t kSeeBadArgument = -4;        // bad parameter index/value, NULL text
inline constexpr std::int32_t kSeeNotConnected = -5;       // send before a successful connect
inline constexpr std::int32_t kSeeEngineFailure = -6;      // libcurl unusable, out of memory
inline constexpr std::int32_t kSeeCannotConnect = -10;     // no server, unknown host, refused
inline constexpr std::int32_t kSeeTimeout = -11;           // connect or transfer time-out
inline constexpr std::int32_t kSeeTlsFailed = -12;         // handshake, certificate, no STARTTLS
inline constexpr std::int32_t kSeeAuthRefused = -13;       // AUTH refused, or required and absent
inline constexpr std::int32_t kSeeSenderRefused = -14;     // MAIL FROM refused
inline constexpr std::int32_t kSeeRecipientRefused = -15;  // a RCPT TO refused
inline constexpr std::int32_t kSeeMessageRefused = -16;    // DATA or the message refused
inline constexpr std::int32_t kSeeNoRecipient = -17;       // To, Cc and Bcc all empty
inline constexpr std::int32_t kSeeBadAddress = -18;        // an address that cannot be used
inline constexpr std::int32_t kSeeNoAttachment = -19;      // attachment file missing/unreadable
inline constexpr std::int32_t kSeeSmtpFailed = -20;        // any other SMTP failure

// ---- parameters (seeIntegerParam / seeStringParam), per channel ------------------------------
// Body text encoding: 1 = quoted-printable (default; 7-bit safe, any line length),
// 0 = 8bit (bytes as typed; the server must accept 8-bit data), 2 = base64.
inline constexpr std::int32_t kSeeParamTextEncoding = 8;
// SMTP port, 1..65535; 0 = the default port 25.
inline constexpr std::int32_t kSeeParamSmtpPort = 15;
// Seconds allowed to reach the server (TCP and TLS handshake), 1..3600; default 30.
inline constexpr std::int32_t kSeeParamConnectTimeout = 20;
// Seconds allowed for one whole connect check or send, 1..86400; default 300.
inline constexpr std::int32_t kSeeParamTransferTimeout = 21;
// Authentication mechanism when credentials are set: 4 = the best one the server offers
// (default), 1 = LOGIN, 2 = PLAIN, 3 = CRAM-MD5, 0 = never authenticate.
inline constexpr std::int32_t kSeeParamAuthMethod = 29;
// String parameters: password and user name for AUTH (used only when both are non-empty),
// and the name this machine gives in EHLO (default: its host name).
inline constexpr std::int32_t kSeeParamPassword = 57;
inline constexpr std::int32_t kSeeParamUser = 58;
inline constexpr std::int32_t kSeeParamHeloName = 59;

inline constexpr std::int32_t kSeeMaxChannels = 32;

// seeConfigSSL codes: 1 = a text of "key=value" settings separated by ';', newlines or NULs.
// Known key: "debug" (a number; accepted and recorded: the engine writes no TLS debug output).
inline constexpr std::int32_t kSeeConfigSettings = 1;

}  // namespace see32

// ---- the exports -------------------------------------------------------------------------------
// Text arguments may be NULL where empty text is meant, except where noted.
extern "C" {

// Attaches nNbrChans channels (1..kSeeMaxChannels) for the calling thread. nKeyCode is accepted
// whatever its value (the engine needs no key). Returns nNbrChans, or kSeeBadArgument,
// kSeeEngineFailure.
std::int32_t seeAttach(std::int32_t nNbrChans, std::int32_t nKeyCode);
// Closes every channel of the thread and forgets its session. kSeeNotAttached when none.
std::int32_t seeRelease(void);

std::int32_t seeIntegerParam(std::int32_t nChan, std::int32_t nIndex, std::int32_t nValue);
std::int32_t seeStringParam(std::int32_t nChan, std::int32_t nIndex, char* cValue);

// Session-wide TLS settings (kSeeConfigSettings) and the proxy settings described above.
std::int32_t seeConfigSSL(std::int32_t nConfigCode, char* cConfigPtr);
std::int32_t seeSetProxySSL(std::int32_t nProxyCode, std::int32_t nProxyFlags, char* cProxyDir,
                            char* cProxyCert, char* cProxyExe);

std::int32_t seeSmtpConnect(std::int32_t nChan, char* cServer, char* cFrom, char* cReply);
std::int32_t seeSmtpConnectSSL(std::int32_t nChan, std::int32_t nProxyPort, std::int32_t nSmtpPort,
                               char* cSmtpServer, char* cUser, char* cPass, char* cFrom,
                               char* cReply, char* cProxyIP);
std::int32_t seeSendEmail(std::int32_t nChan, char* cRcpt, char* cCC, char* cBCC, char* cSubj,
                          char* cMsg, char* cAttach);
// Ends the channel's connection (QUIT); the channel and its parameters stay. 0 also when it
// was not connected.
std::int32_t seeClose(std::int32_t nChan);

// Writes the text for nCode into cBuffer: at most nBufLen bytes including the closing NUL
// (nothing for nBufLen <= 0, only the NUL for 1), cut on a character boundary. When nCode is
// the last failure of channel nChan (or of the thread) the text says what went wrong there
// ("cannot connect to mail.example.com:25: Connection refused"), otherwise what the code
// means. Returns the number of bytes written before the NUL. Needs no attach.
std::int32_t seeErrorText(std::int32_t nChan, std::int32_t nCode, char* cBuffer,
                          std::int32_t nBufLen);

// Engine extension, not used by the suite's code: replaces the drive and share mappings used
// for Windows file names, in the formats of VENDORLIST_DRIVES and VENDORLIST_UNC (either may
// be empty or NULL). All or nothing; kSeeBadArgument naming the bad entry.
std::int32_t seeSetDriveMap(char* cDrives, char* cShares);

// Present for the suite's wrappers, not supported by this engine: each returns
// kSeeNotSupported ("seeImapConnect is not supported by this engine") and ignores whatever
// arguments it is given (C calling convention: the caller owns the argument area).
// clang-format off
#define SEE32_UNSUPPORTED_EXPORTS(X)                                                          \
  X(seeAbort) X(seeAttachmentParams) X(seeByteToShort) X(seeCommand) X(seeDebug)               \
  X(seeDecodeBuffer) X(seeDecodeUTF8) X(seeDecodeUU) X(seeDeleteEmail) X(seeDriver)            \
  X(seeEncodeBuffer) X(seeEncodeUTF8) X(seeExtractLine) X(seeExtractText) X(seeForwardEmail)   \
  X(seeGetEmailCount) X(seeGetEmailFile) X(seeGetEmailLines) X(seeGetEmailSize)                \
  X(seeGetEmailUID) X(seeGetHeader) X(seeImapConnect) X(seeImapConnectSSL)                     \
  X(seeImapCopyMBmail) X(seeImapCreateMB) X(seeImapDeleteMB) X(seeImapFlags) X(seeImapListMB)  \
  X(seeImapMsgNumber) X(seeImapRenameMB) X(seeImapSearch) X(seeImapSelectMB) X(seeImapSource)  \
  X(seeIsConnected) X(seeKillProgram) X(seePop3Connect) X(seePop3ConnectSSL) X(seePop3Source)  \
  X(seeQuoteBuffer) X(seeReadQuoted) X(seeSendHTML) X(seeSetErrorText) X(seeShortToByte)       \
  X(seeSleep) X(seeSmtpTarget) X(seeStartProgram) X(seeStatistics) X(seeTestFileSet)           \
  X(seeUnQuoteBuffer) X(seeVerifyFormat) X(seeVerifyUser)
// clang-format on

#define SEE32_DECLARE_UNSUPPORTED(name) std::int32_t name(void);
SEE32_UNSUPPORTED_EXPORTS(SEE32_DECLARE_UNSUPPORTED)
#undef SEE32_DECLARE_UNSUPPORTED

}  // extern "C"
