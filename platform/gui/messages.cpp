#include "messages.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "backend.h"
#include "colors.h"
#include "runtime/routines.h"
#include "text_lines.h"

namespace gui {

namespace {

std::mutex& colourMutex() {
  static std::mutex m;
  return m;
}
ColourPair& alertColours() {
  static ColourPair c;
  return c;
}

thread_local std::vector<rt::Value> tWaits;

std::vector<std::string> orOk(const std::vector<std::string>& buttons) {
  return buttons.empty() ? std::vector<std::string>{"OK"} : buttons;
}

std::vector<std::string> linesOf(const rt::Value& message) {
  std::vector<std::string> lines;
  if (message.isArray()) {
    for (const rt::Value& v : message.arr()) {
      for (std::string& l : splitLines(displayText(v))) lines.push_back(std::move(l));
    }
  } else {
    lines = splitLines(displayText(message));
  }
  return lines;
}

// An alert answers with a button: a box closed without one, or cut short by the program's
// closing, answers with the last.
int alertAnswer(int answer, size_t buttons) {
  if (answer >= 1 && static_cast<size_t>(answer) <= buttons) return answer;
  return static_cast<int>(buttons);
}

WaitWindow* waitWindowOf(const rt::Value& handle) {
  rt::Value obj = handle;
  if (handle.isArray() && !handle.arr().empty()) obj = handle.arr().front();
  if (!obj.isObject()) return nullptr;
  return dynamic_cast<WaitWindow*>(obj.object().get());
}

}  // namespace

int guiAlert(std::string_view text, const std::vector<std::string>& buttons,
             const rt::Value& colour, std::string_view title,
             const std::vector<std::string>& fonts) {
  MessageSpec spec;
  spec.kind = MessageSpec::Kind::kAlert;
  spec.title = std::string(title);
  spec.lines = splitLines(text);
  spec.buttons = orOk(buttons);
  spec.accent = colourCode(colour);
  if (!fonts.empty()) spec.textFont = fonts[0];
  if (fonts.size() > 1) spec.buttonFont = fonts[1];
  {
    std::lock_guard lock(colourMutex());
    spec.foreground = alertColours().foreground;
    spec.background = alertColours().background;
  }
  return alertAnswer(backend()->showMessage(spec), spec.buttons.size());
}

void guiAlertColor(const rt::Value& colours) {
  std::lock_guard lock(colourMutex());
  alertColours() = colourPair(colours);
}

void msgBox(const rt::Value& message, const rt::Value& wait, std::string_view title) {
  MessageSpec spec;
  spec.kind = MessageSpec::Kind::kMsgBox;
  spec.title = std::string(title);
  spec.lines = linesOf(message);
  spec.buttons = {"OK"};
  if (wait.isNumber() && wait.number() > 0) spec.timeoutSeconds = wait.number();
  backend()->showMessage(spec);
}

void winAlert(std::string_view text, std::string_view title) {
  MessageSpec spec;
  spec.kind = MessageSpec::Kind::kWinAlert;
  spec.title = std::string(title);
  spec.lines = splitLines(text);
  spec.buttons = {"OK"};
  backend()->showMessage(spec);
}

int messageBox(std::string_view text, std::string_view title,
               const std::vector<std::string>& options) {
  MessageSpec spec;
  spec.kind = MessageSpec::Kind::kMessageBox;
  spec.title = std::string(title);
  spec.lines = splitLines(text);
  spec.buttons = orOk(options);
  const int answer = backend()->showMessage(spec);
  return answer >= 1 && static_cast<size_t>(answer) <= spec.buttons.size() ? answer : 0;
}

int alert(std::string_view text, const std::vector<std::string>& buttons) {
  MessageSpec spec;
  spec.kind = MessageSpec::Kind::kStartAlert;
  spec.lines = splitLines(text);
  spec.buttons = orOk(buttons);
  return alertAnswer(backend()->showMessage(spec), spec.buttons.size());
}

rt::Value waitOn(std::string_view text) {
  std::shared_ptr<WaitWindow> w = backend()->openWait(std::string(text));
  rt::Value handle = rt::Value::array({rt::Value(rt::ObjectRef(w)), rt::Value(text)});
  tWaits.push_back(handle);
  return handle;
}

void impl(const rt::Value& handle) {
  WaitWindow* w = waitWindowOf(handle);
  if (w == nullptr) return;
  w->close();
  std::erase_if(tWaits, [w](const rt::Value& h) { return waitWindowOf(h) == w; });
}

rt::Value waitOnObject() { return tWaits.empty() ? rt::Value() : tWaits.back(); }

void registerRoutines() {
  rt::registerRoutine("DC_WaitOnObject", [](rt::Args&) { return waitOnObject(); });
  rt::registerRoutine("DC_IMPL", [](rt::Args& a) {
    impl(rt::arg(a, 0));
    return rt::Value();
  });
  rt::registerRoutine("DC_GUIALERT", [](rt::Args& a) {
    // (nil, text, buttons, colour, title, nil, nil, fonts)
    std::vector<std::string> buttons;
    if (rt::arg(a, 2).isArray()) {
      for (const rt::Value& b : rt::arg(a, 2).arr()) buttons.push_back(displayText(b));
    }
    std::vector<std::string> fonts;
    if (rt::arg(a, 7).isArray()) {
      for (const rt::Value& f : rt::arg(a, 7).arr()) fonts.push_back(displayText(f));
    }
    return rt::Value(guiAlert(displayText(rt::arg(a, 1)), buttons, rt::arg(a, 3),
                              displayText(rt::arg(a, 4)), fonts));
  });
  rt::registerRoutine("DC_MSGBOX", [](rt::Args& a) {
    msgBox(rt::arg(a, 0), rt::arg(a, 1));
    return rt::Value();
  });
  rt::registerRoutine("DC_WINALERT", [](rt::Args& a) {
    winAlert(displayText(rt::arg(a, 0)));
    return rt::Value();
  });
}

}  // namespace gui
