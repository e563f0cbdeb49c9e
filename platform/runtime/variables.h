// Session-wide and private variables.
//
// Session-wide variables live for the whole run and are visible to every procedure of every
// thread. Private variables belong to the procedure that creates them (a PrivateFrame opened
// when the procedure starts) and to everything it calls, on its own thread only; they vanish when
// the frame closes. Names compare without regard to case.
//
// Resolution of a name: the innermost private frame of the calling thread that holds it, then
// outer frames, then the session-wide store. Assigning a name that exists nowhere creates it in
// the innermost open frame of the calling thread (or, where the thread has no frame open, in a
// base frame that lives as long as the thread).
//
// Thread safety: the session-wide store is guarded by a mutex inside it; callers need not lock.
// Private frames are thread-local and never seen by other threads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "value.h"

namespace rt {

// ---- session-wide store ----

// Declares a session-wide variable (a second declaration keeps the name and sets the value).
void sessionDeclare(std::string_view name);                     // holds logical false
void sessionDeclare(std::string_view name, const Value& value);
bool sessionExists(std::string_view name);
std::optional<Value> sessionGet(std::string_view name);
// Assigns an existing session-wide variable; false when no such variable is declared.
bool sessionSet(std::string_view name, const Value& value);
// Removes every session-wide variable (tests and a second start-up in one process only).
void sessionClearForTest();

// ---- private frames ----

class PrivateFrame {
 public:
  PrivateFrame();
  ~PrivateFrame();
  PrivateFrame(const PrivateFrame&) = delete;
  PrivateFrame& operator=(const PrivateFrame&) = delete;

  // Creates (or resets) a private of this frame, hiding any outer variable of that name.
  void declare(std::string_view name, const Value& value = Value(false));
};

// Declares a private in the calling thread's innermost frame.
void privateDeclare(std::string_view name, const Value& value = Value(false));
// True when the calling thread has a private of that name in any open frame.
bool privateExists(std::string_view name);

// ---- resolution through privates then session ----

// The value of a variable, or nullopt when no variable of that name is visible.
std::optional<Value> varGet(std::string_view name);
// The value of a variable; a name visible nowhere raises "Variable does not exist: NAME".
Value var(std::string_view name);
// Assigns the visible variable of that name, or creates a private in the innermost frame.
void varSet(std::string_view name, const Value& value);
bool varExists(std::string_view name);
// Assigns the variable whose name is the text held by the variable `holder` (the indirect
// assignment start-up uses for the EDI program's call text).
void varSetIndirect(std::string_view holder, const Value& value);
// The one-letter type of a visible variable ("U" when none is visible).
char varType(std::string_view name);

}  // namespace rt
