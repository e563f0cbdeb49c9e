// Error texts of the mail engine: what each result code means, and the copy of a text into a
// caller's fixed-size buffer that seeErrorText makes.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace see32 {

// What `code` means, in a few words ("cannot connect to the SMTP server"); for 0 and positive
// codes "no error"; for a negative code the engine does not know "unknown error code -77".
std::string genericErrorText(std::int32_t code);

// Copies `text` into `buffer` of `bufLen` bytes, always NUL-terminated: at most bufLen - 1
// bytes of text, cut so that a UTF-8 sequence is never split. Nothing is written when buffer
// is NULL or bufLen <= 0. Returns the number of text bytes written (without the NUL).
std::int32_t copyToBuffer(std::string_view text, char* buffer, std::int32_t bufLen);

// `text` with every control character (CR, LF, TAB, ...) turned into a blank and runs of
// blanks squeezed, surrounding blanks removed: server replies and curl's messages become one
// readable line.
std::string oneLine(std::string_view text);

// `text` with every occurrence of `secret` replaced by "****". Secrets shorter than 3 bytes are
// left alone, since masking them would garble ordinary words without hiding anything.
std::string maskSecret(std::string text, std::string_view secret);

}  // namespace see32
