// The library's dialog hot keys, and running a routine given as text.
//
// Key codes are the runtime's (runtime/keys.h): F1 is 28, F2 to F10 are -1 to -9, F11 and F12
// -40 and -41, Shift+F1..F10 -10..-19, Ctrl+F1..F10 -20..-29, Alt+F1..F10 -30..-39, Ctrl+A..Z
// 1..26, Alt+A..Z the keyboard scan code plus 256 (Alt+P is 281), Alt+0..9 376..385. A dialog
// forwards exactly the codes of this list that its thread has bound, while hot keys are on.
//
// The pop-up key is given in the platform's key-event numbering, in which the function keys F1
// to F12 are 65648 to 65659 (so 65649 is F2); pressed in an entry field that has a pop-up
// action, it runs that action on the dialog's thread.
//
// Thread safety: the switches are process-wide atomics; dcDo runs on the calling thread.
#pragma once

#include <span>
#include <string_view>

#include "runtime/value.h"

namespace gui {

// Turns the library's dialog hot keys on or off (off at start) and returns the previous state.
bool setKeyActive(bool on);
bool keyActive();

// Sets the pop-up key (key-event numbering; 0: none) and returns the previous one.
int setPopKey(int keyEventCode);
// The pop-up key as a runtime key code, 0 when none is set or the code is not a function key.
int popKeyCode();

enum class KeyModifier { kNone, kShift, kCtrl, kAlt };

// The runtime code of a key, 0 when it has none: F1..F12 with one modifier or none; Ctrl or Alt
// with a letter (either case); Alt with a digit.
int functionKeyCode(int n, KeyModifier m);
int letterKeyCode(char letter, KeyModifier m);
int digitKeyCode(int digit, KeyModifier m);

// Every runtime key code a dialog can forward.
std::span<const int> hotKeyCodes();
// The runtime key code of a key-event code (function keys only), 0 for others.
int keyCodeFromKeyEvent(int keyEventCode);

// Runs a routine given as text, "DC_WaitOnObject()" (rt::callText).
rt::Value dcDo(std::string_view callText);

}  // namespace gui
