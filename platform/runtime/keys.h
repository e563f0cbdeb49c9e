// Hot keys and the keyboard buffer, per thread.
//
// A thread binds key codes to callables (SetKey); when the dialog layer sees a bound key in one
// of that thread's dialogs, it runs the callable on that thread. The keyboard buffer holds keys
// "typed" by the program itself (KEYBOARD): the read-exit keys put Ctrl+W (23) there, which ends
// the current text entry.
//
// Thread safety: both are thread-local.
#pragma once

#include <optional>
#include <string_view>

#include "value.h"

namespace rt {

inline constexpr int kKeyF10 = -9;
inline constexpr int kKeyF1 = 28;
inline constexpr int kKeyCtrlW = 23;
inline constexpr int kKeyAltP = 281;

// Binds `code` for the calling thread (a nil value unbinds) and returns the previous binding.
Value setKey(int code, const Value& action);
Value keyBinding(int code);
// Runs the calling thread's binding of `code` with the key code as its argument; false when the
// key is not bound.
bool dispatchKey(int code);

// The calling thread's keyboard buffer.
void keyboardPush(int code);
void keyboardPut(std::string_view chars);
std::optional<int> keyboardNext();   // takes the next key, if any
std::optional<int> keyboardPeek();
void keyboardClear();

// Binds F10 and F1 for the calling thread as the read-exit keys: each stores its key code in
// `nLastKey` (the session-wide variable where one is declared, otherwise a private of the running
// procedure) and puts Ctrl+W into the keyboard buffer.
void bindReadExitKeys();

}  // namespace rt
