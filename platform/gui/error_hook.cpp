#include "error_hook.h"

#include <mutex>

#include "messages.h"

namespace gui {

namespace {

std::mutex& callbackMutex() {
  static std::mutex m;
  return m;
}
std::function<void()>& callbackSlot() {
  static std::function<void()> f;
  return f;
}

thread_local bool tInHook = false;

// Line breaks of the alert are ";": one inside a description would break it where the
// description did not mean to.
std::string oneLine(std::string s) {
  for (char& c : s) {
    if (c == ';' || c == '\n' || c == '\r') c = ',';
  }
  return s;
}

void processError(const rt::Error& e) {
  // An error raised while the error is being reported (a failing alert, a failing close of
  // tables) must not report itself again.
  if (tInHook) return;
  tInHook = true;
  guiAlert(errorAlertText(e), {}, rt::Value(14), "Error Warning", {"9.Arial Bold", "9.Arial Bold"});
  std::function<void()> closeAll;
  {
    std::lock_guard lock(callbackMutex());
    closeAll = callbackSlot();
  }
  if (closeAll) {
    try {
      closeAll();
    } catch (...) {
      // The program ends either way; what could not be closed stays as the last write left it.
    }
  }
  tInHook = false;
}

}  // namespace

std::string errorAlertText(const rt::Error& e) {
  rt::Error head = e;
  head.operation.clear();
  head.filename.clear();
  head.osCode = 0;
  std::string text = oneLine(head.toString());
  if (!e.operation.empty()) text += ";Operation: " + oneLine(e.operation);
  if (!e.filename.empty()) text += ";File: " + oneLine(e.filename);
  if (e.osCode != 0) text += ";OS error " + std::to_string(e.osCode);
  text += ";The program will end.";
  return text;
}

void installDefaultErrorHook() { rt::setDefaultErrorHook(processError); }

void setCloseAllTablesCallback(std::function<void()> closeAll) {
  std::lock_guard lock(callbackMutex());
  callbackSlot() = std::move(closeAll);
}

}  // namespace gui
