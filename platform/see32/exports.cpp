// The see* exports: C entry points over Engine. Each converts its arguments, records a failure
// for seeErrorText, and keeps every C++ exception inside the library.
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include <curl/curl.h>

#include "engine.h"
#include "error_text.h"
#include "see32.h"

namespace {

using see32::Engine;
using see32::SeeStatus;

std::string_view text(const char* p) { return p == nullptr ? std::string_view() : p; }

// Runs `body`, which returns a SeeStatus (or a SeeResult<int32_t>), as an export: the result
// code, with the failure recorded against channel `chan`.
template <typename Body>
std::int32_t exported(std::int32_t chan, Body&& body) {
  try {
    auto r = body();
    if constexpr (std::is_same_v<decltype(r), SeeStatus>) {
      return r.isOk() ? see32::kSeeOk : Engine::instance().fail(r, chan);
    } else {
      return r.isOk() ? r.value() : Engine::instance().fail(r.status(), chan);
    }
  } catch (const std::bad_alloc&) {
  } catch (...) {
  }
  try {
    return Engine::instance().fail({see32::kSeeEngineFailure, "the mail engine ran out of memory"},
                                   chan);
  } catch (...) {
    return see32::kSeeEngineFailure;
  }
}

std::int32_t notSupported(const char* name) {
  return exported(-1, [name] {
    return SeeStatus(see32::kSeeNotSupported,
                     std::string(name) + " is not supported by this engine");
  });
}

// libcurl's global state is made once when the library is loaded, before any export can be
// called: curl_global_init is not safe to call from several threads at once, and the exports
// can be called from any thread.
__attribute__((constructor)) void initialiseLibcurl() {
  const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
  Engine::setCurlReady(rc == CURLE_OK,
                       std::string("libcurl could not be initialised: ") + curl_easy_strerror(rc));
}

}  // namespace

extern "C" {

std::int32_t seeAttach(std::int32_t nNbrChans, std::int32_t nKeyCode) {
  return exported(-1, [&] { return Engine::instance().attach(nNbrChans, nKeyCode); });
}

std::int32_t seeRelease(void) {
  return exported(-1, [] { return Engine::instance().release(); });
}

std::int32_t seeIntegerParam(std::int32_t nChan, std::int32_t nIndex, std::int32_t nValue) {
  return exported(nChan, [&] { return Engine::instance().integerParam(nChan, nIndex, nValue); });
}

std::int32_t seeStringParam(std::int32_t nChan, std::int32_t nIndex, char* cValue) {
  return exported(nChan, [&] {
    if (cValue == nullptr) return SeeStatus(see32::kSeeBadArgument, "no text given (NULL)");
    return Engine::instance().stringParam(nChan, nIndex, text(cValue));
  });
}

std::int32_t seeConfigSSL(std::int32_t nConfigCode, char* cConfigPtr) {
  return exported(-1, [&] { return Engine::instance().configSsl(nConfigCode, text(cConfigPtr)); });
}

std::int32_t seeSetProxySSL(std::int32_t nProxyCode, std::int32_t nProxyFlags, char* cProxyDir,
                            char* cProxyCert, char* cProxyExe) {
  return exported(-1, [&] {
    return Engine::instance().setProxy(nProxyCode, nProxyFlags, text(cProxyDir), text(cProxyCert),
                                       text(cProxyExe));
  });
}

std::int32_t seeSmtpConnect(std::int32_t nChan, char* cServer, char* cFrom, char* cReply) {
  return exported(nChan, [&] {
    return Engine::instance().connect(nChan, text(cServer), text(cFrom), text(cReply));
  });
}

std::int32_t seeSmtpConnectSSL(std::int32_t nChan, std::int32_t nProxyPort, std::int32_t nSmtpPort,
                               char* cSmtpServer, char* cUser, char* cPass, char* cFrom,
                               char* cReply, char* cProxyIP) {
  return exported(nChan, [&] {
    see32::SecureConnect q;
    q.proxyPort = nProxyPort;
    q.smtpPort = nSmtpPort;
    q.server = text(cSmtpServer);
    q.user = text(cUser);
    q.password = text(cPass);
    q.from = text(cFrom);
    q.replyTo = text(cReply);
    q.proxyAddress = text(cProxyIP);
    return Engine::instance().connectSecure(nChan, q);
  });
}

std::int32_t seeSendEmail(std::int32_t nChan, char* cRcpt, char* cCC, char* cBCC, char* cSubj,
                          char* cMsg, char* cAttach) {
  return exported(nChan, [&] {
    return Engine::instance().send(nChan, text(cRcpt), text(cCC), text(cBCC), text(cSubj),
                                   text(cMsg), text(cAttach));
  });
}

std::int32_t seeClose(std::int32_t nChan) {
  return exported(nChan, [&] { return Engine::instance().close(nChan); });
}

std::int32_t seeErrorText(std::int32_t nChan, std::int32_t nCode, char* cBuffer,
                          std::int32_t nBufLen) {
  try {
    return see32::copyToBuffer(Engine::instance().errorText(nChan, nCode), cBuffer, nBufLen);
  } catch (...) {
    return see32::copyToBuffer("the mail engine ran out of memory", cBuffer, nBufLen);
  }
}

std::int32_t seeSetDriveMap(char* cDrives, char* cShares) {
  return exported(-1, [&] { return Engine::instance().setDriveMap(text(cDrives), text(cShares)); });
}

#define SEE32_DEFINE_UNSUPPORTED(name) \
  std::int32_t name(void) { return notSupported(#name); }
SEE32_UNSUPPORTED_EXPORTS(SEE32_DEFINE_UNSUPPORTED)
#undef SEE32_DEFINE_UNSUPPORTED

}  // extern "C"
