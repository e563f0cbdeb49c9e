#include "hot_keys.h"

#include <array>
#include <atomic>
#include <vector>

#include "runtime/routines.h"

namespace gui {

namespace {

std::atomic<bool> gKeyActive{false};
std::atomic<int> gPopKey{0};

constexpr int kKeyEventF1 = 65648;

// The runtime codes of F1..F12.
constexpr std::array<int, 12> kFunctionKeys = {28, -1, -2, -3, -4, -5, -6, -7, -8, -9, -40, -41};

// Alt+letters: the keyboard scan code + 256, in letter order A..Z.
constexpr std::array<int, 26> kAltLetters = {286, 304, 302, 288, 274, 289, 290, 291, 279,
                                             292, 293, 294, 306, 305, 280, 281, 272, 275,
                                             287, 276, 278, 303, 273, 301, 277, 300};

std::vector<int> buildCodes() {
  std::vector<int> codes;
  for (int n = 1; n <= 12; ++n) {
    for (KeyModifier m :
         {KeyModifier::kNone, KeyModifier::kShift, KeyModifier::kCtrl, KeyModifier::kAlt}) {
      codes.push_back(functionKeyCode(n, m));
    }
  }
  for (char c = 'A'; c <= 'Z'; ++c) {
    codes.push_back(letterKeyCode(c, KeyModifier::kCtrl));
    codes.push_back(letterKeyCode(c, KeyModifier::kAlt));
  }
  for (int d = 0; d <= 9; ++d) codes.push_back(digitKeyCode(d, KeyModifier::kAlt));
  return codes;
}

}  // namespace

bool setKeyActive(bool on) { return gKeyActive.exchange(on); }
bool keyActive() { return gKeyActive.load(); }

int setPopKey(int keyEventCode) { return gPopKey.exchange(keyEventCode); }
int popKeyCode() { return keyCodeFromKeyEvent(gPopKey.load()); }

std::span<const int> hotKeyCodes() {
  static const std::vector<int> codes = buildCodes();
  return codes;
}

int functionKeyCode(int n, KeyModifier m) {
  if (n < 1 || n > 12) return 0;
  if (n <= 10) {
    switch (m) {
      case KeyModifier::kNone:
        return kFunctionKeys[static_cast<size_t>(n - 1)];
      case KeyModifier::kShift:
        return -9 - n;
      case KeyModifier::kCtrl:
        return -19 - n;
      case KeyModifier::kAlt:
        return -29 - n;
    }
    return 0;
  }
  const int k = n - 11;  // 0 for F11, 1 for F12
  switch (m) {
    case KeyModifier::kNone:
      return -40 - k;
    case KeyModifier::kShift:
      return -42 - k;
    case KeyModifier::kCtrl:
      return -44 - k;
    case KeyModifier::kAlt:
      return -46 - k;
  }
  return 0;
}

int letterKeyCode(char letter, KeyModifier m) {
  const int up = letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter;
  if (up < 'A' || up > 'Z') return 0;
  if (m == KeyModifier::kCtrl) return up - 'A' + 1;
  if (m == KeyModifier::kAlt) return kAltLetters[static_cast<size_t>(up - 'A')];
  return 0;
}

int digitKeyCode(int digit, KeyModifier m) {
  if (digit < 0 || digit > 9 || m != KeyModifier::kAlt) return 0;
  return 376 + digit;
}

int keyCodeFromKeyEvent(int keyEventCode) {
  const int i = keyEventCode - kKeyEventF1;
  if (i < 0 || i >= static_cast<int>(kFunctionKeys.size())) return 0;
  return kFunctionKeys[static_cast<size_t>(i)];
}

rt::Value dcDo(std::string_view callText) { return rt::callText(callText); }

}  // namespace gui
