#include "scripted_backend.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <optional>
#include <thread>

#include "text_lines.h"

namespace gui {

namespace {

// How long the main window waits for a dialog of a report thread to take an answer that is not
// meant for the main window, before it calls the answer a problem and drops it.
constexpr auto kMainWindowPatience = std::chrono::seconds(5);
constexpr long kPage = 50;

std::string stripMarks(std::string_view caption) {
  std::string out;
  for (char c : caption) {
    if (c != '~' && c != '&') out.push_back(c);
  }
  return trimRight(out);
}

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string number(double d) { return rt::Value(d).debugString(); }

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += sep;
    out += parts[i];
  }
  return out;
}

bool takesInput(ControlKind k) {
  return k == ControlKind::kGet || k == ControlKind::kMultiLineEdit ||
         k == ControlKind::kComboBox || k == ControlKind::kCheckBox ||
         k == ControlKind::kRadioButton || k == ControlKind::kPushButton ||
         k == ControlKind::kBrowse;
}

}  // namespace

struct ScriptedBackend::Answer {
  enum class Kind {
    kSet,
    kType,
    kPick,
    kCheck,
    kChoose,
    kPress,
    kKey,
    kFocus,
    kSelectRow,
    kScroll,
    kConfirm,
    kCancel,
    kClose,
    kInspect,
    kMessage,
    kMenu,
    kCloseWindow,
  };
  Kind kind = Kind::kClose;
  std::string target;
  std::string text;
  int n = 0;
  bool on = false;
  long row = 0;
  std::function<void(const ShownDialog&)> check;

  bool forMessage() const { return kind == Kind::kMessage; }
  bool forMainWindow() const { return kind == Kind::kMenu || kind == Kind::kCloseWindow; }
  bool forDialog() const { return !forMessage() && !forMainWindow(); }

  std::string describe() const {
    switch (kind) {
      case Kind::kSet:
        return "set " + target + " " + quoted(text);
      case Kind::kType:
        return "type " + target + " " + quoted(text);
      case Kind::kPick:
        return "pick " + target + " " + std::to_string(n);
      case Kind::kCheck:
        return std::string(on ? "check " : "uncheck ") + target;
      case Kind::kChoose:
        return "choose " + target;
      case Kind::kPress:
        return "press " + target;
      case Kind::kKey:
        return "key " + std::to_string(n);
      case Kind::kFocus:
        return "focus " + target;
      case Kind::kSelectRow:
        return "select row " + std::to_string(row) + " of " + target;
      case Kind::kScroll:
        return "scroll " + target;
      case Kind::kConfirm:
        return "confirm";
      case Kind::kCancel:
        return "cancel";
      case Kind::kClose:
        return "close";
      case Kind::kInspect:
        return "inspect";
      case Kind::kMessage:
        return "answer " + std::to_string(n);
      case Kind::kMenu:
        return "menu " + target;
      case Kind::kCloseWindow:
        return "close the main window";
    }
    return "?";
  }
};

struct ScriptedBackend::State {
  mutable std::mutex mu;
  std::condition_variable changed;  // the script, or the set of open dialogs, changed
  std::deque<Answer> script;
  std::vector<std::string> log;
  std::vector<ShownDialog> dialogs;
  std::vector<ShownMessage> messages;
  std::vector<ShownWait> waits;
  std::vector<ShownMainWindow> windows;
  std::vector<std::string> problems;
  std::vector<std::weak_ptr<EventQueue>> openQueues;
  int openDialogs = 0;
  bool closing = false;

  void note(std::string line) { log.push_back(std::move(line)); }
  void problem(std::string what) {
    log.push_back("  ! " + what);
    problems.push_back(std::move(what));
  }
};

// ---- dialogs ----

class ScriptedDialogView : public DialogView {
 public:
  using State = ScriptedBackend::State;
  using Answer = ScriptedBackend::Answer;

  ScriptedDialogView(std::shared_ptr<State> st, size_t record, DialogDesc desc,
                     std::vector<ControlState> states, std::shared_ptr<EventQueue> queue)
      : st_(std::move(st)),
        record_(record),
        desc_(std::move(desc)),
        states_(std::move(states)),
        queue_(std::move(queue)),
        browses_(desc_.controls.size()) {
    // A browse asks for its first page as soon as it shows.
    for (size_t i = 0; i < desc_.controls.size(); ++i) {
      if (desc_.controls[i].kind == ControlKind::kBrowse) requestPage(static_cast<int>(i), 0);
    }
  }

  ~ScriptedDialogView() override { close(); }

  Event nextEvent() override;
  void update(const std::vector<ControlUpdate>& updates) override;
  void setFocus(FocusTarget target) override;
  void focusNext(int control) override;
  void setHotKeys(const std::vector<int>& codes) override;
  void browseRows(int control, const BrowsePage& page) override;
  void browseReset(int control) override;
  std::vector<Edit> collectEdits() override {
    std::vector<Edit> out;
    out.swap(pending_);
    return out;
  }
  void close() override;

 private:
  struct BrowseRows {
    long rows = 0;
    bool atEnd = false;
  };

  std::optional<Answer> takeAnswer();
  int findControl(std::string_view name) const;
  int findRowButton(std::string_view name) const;
  std::string nameOf(int control) const;
  bool usable(int control) const;
  bool refuse(int control, const Answer& a, ControlKind want);
  Event make(Event::Kind kind);
  void requestPage(int control, long first);
  void saveFocus();
  // What the toolkit itself shows after a user's click or typing, before the dialog's thread
  // has seen the event: the control's new value, and the other radio buttons of its choice
  // cleared.
  void userChanged(int control);
  ShownDialog& rec() { return st_->dialogs[record_]; }  // REQUIRES st_->mu held

  std::shared_ptr<State> st_;
  size_t record_;
  DialogDesc desc_;
  std::vector<ControlState> states_;
  std::shared_ptr<EventQueue> queue_;
  std::vector<BrowseRows> browses_;
  std::vector<Edit> pending_;
  std::vector<int> hotKeys_;
  int focus_ = -1;
  int focusButton_ = -1;
  bool closed_ = false;
};

std::optional<ScriptedBackend::Answer> ScriptedDialogView::takeAnswer() {
  std::lock_guard lock(st_->mu);
  if (st_->script.empty()) {
    st_->note("  script empty: dialog " + quoted(desc_.title) + " closed");
    return std::nullopt;
  }
  if (!st_->script.front().forDialog()) {
    st_->problem("dialog " + quoted(desc_.title) + " wanted an answer, the script has " +
                 st_->script.front().describe() + "; the dialog was closed");
    return std::nullopt;
  }
  Answer a = std::move(st_->script.front());
  st_->script.pop_front();
  st_->note("  > " + a.describe());
  st_->changed.notify_all();
  return a;
}

int ScriptedDialogView::findControl(std::string_view name) const {
  if (name.size() > 1 && name.front() == '#') {
    int n = 0;
    for (char c : name.substr(1)) {
      if (!std::isdigit(static_cast<unsigned char>(c)) || n > 100000) return -1;
      n = n * 10 + (c - '0');
    }
    return n >= 1 && static_cast<size_t>(n) <= desc_.controls.size() ? n - 1 : -1;
  }
  for (size_t i = 0; i < desc_.controls.size(); ++i) {
    if (!desc_.controls[i].id.empty() && sameText(desc_.controls[i].id, name)) {
      return static_cast<int>(i);
    }
  }
  for (size_t i = 0; i < desc_.controls.size(); ++i) {
    if (!desc_.controls[i].caption.empty() &&
        sameText(stripMarks(desc_.controls[i].caption), stripMarks(name))) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int ScriptedDialogView::findRowButton(std::string_view name) const {
  for (size_t b = 0; b < desc_.buttons.size(); ++b) {
    if (sameText(desc_.buttons[b].id, name)) return static_cast<int>(b);
  }
  for (size_t b = 0; b < desc_.buttons.size(); ++b) {
    if (sameText(stripMarks(desc_.buttons[b].caption), stripMarks(name))) {
      return static_cast<int>(b);
    }
  }
  return -1;
}

std::string ScriptedDialogView::nameOf(int control) const {
  if (control < 0 || static_cast<size_t>(control) >= desc_.controls.size()) return {};
  const ControlDesc& c = desc_.controls[static_cast<size_t>(control)];
  if (!c.id.empty()) return c.id;
  if (!c.caption.empty()) return stripMarks(c.caption);
  return "#" + std::to_string(control + 1);
}

bool ScriptedDialogView::usable(int control) const {
  // A control takes input when it and every group around it are enabled and shown.
  for (int i = control; i >= 0; i = desc_.controls[static_cast<size_t>(i)].parent) {
    const ControlState& s = states_[static_cast<size_t>(i)];
    if (!s.enabled || s.hidden) return false;
  }
  return true;
}

bool ScriptedDialogView::refuse(int control, const Answer& a, ControlKind want) {
  std::string why;
  if (control < 0) {
    why = "no such control";
  } else if (desc_.controls[static_cast<size_t>(control)].kind != want) {
    why = std::string("it is a ") +
          controlKindName(desc_.controls[static_cast<size_t>(control)].kind);
  } else if (!usable(control)) {
    why = states_[static_cast<size_t>(control)].hidden ? "it is hidden" : "it is disabled";
  }
  if (why.empty()) return false;
  std::lock_guard lock(st_->mu);
  st_->problem("dialog " + quoted(desc_.title) + ": cannot " + a.describe() + ": " + why);
  return true;
}

Event ScriptedDialogView::make(Event::Kind kind) {
  Event e;
  e.kind = kind;
  e.focus = focus_;
  e.edits.swap(pending_);
  return e;
}

void ScriptedDialogView::requestPage(int control, long first) {
  Event e;
  e.kind = Event::Kind::kBrowseFetch;
  e.control = control;
  e.first = first;
  e.count = kPage;
  queue_->push(std::move(e));
}

void ScriptedDialogView::saveFocus() {
  std::lock_guard lock(st_->mu);
  if (focusButton_ >= 0) {
    rec().focus = desc_.buttons[static_cast<size_t>(focusButton_)].id;
  } else {
    rec().focus = nameOf(focus_);
  }
  st_->note("  focus " + rec().focus);
}

void ScriptedDialogView::userChanged(int control) {
  const ControlDesc& c = desc_.controls[static_cast<size_t>(control)];
  std::lock_guard lock(st_->mu);
  for (size_t k = 0; k < desc_.controls.size(); ++k) {
    const bool sameChoice = c.kind == ControlKind::kRadioButton && c.radioGroup >= 0 &&
                            desc_.controls[k].radioGroup == c.radioGroup;
    if (sameChoice) states_[k].checked = static_cast<int>(k) == control;
    if (sameChoice || static_cast<int>(k) == control) rec().controls[k].state = states_[k];
  }
}

Event ScriptedDialogView::nextEvent() {
  for (;;) {
    if (std::optional<Event> queued = queue_->tryPop()) return std::move(*queued);
    std::optional<Answer> a = takeAnswer();
    if (!a) return make(Event::Kind::kClosed);
    using K = Answer::Kind;
    switch (a->kind) {
      case K::kSet:
      case K::kType: {
        const int i = findControl(a->target);
        const ControlKind want =
            i >= 0 && desc_.controls[static_cast<size_t>(i)].kind == ControlKind::kMultiLineEdit
                ? ControlKind::kMultiLineEdit
                : ControlKind::kGet;
        if (refuse(i, *a, want)) continue;
        std::string text = a->text;
        const int max = states_[static_cast<size_t>(i)].maxLength;
        if (max > 0 && text.size() > static_cast<size_t>(max))
          text.resize(static_cast<size_t>(max));
        std::erase_if(pending_, [i](const Edit& e) { return e.control == i; });
        pending_.push_back({i, text, false, -1});
        states_[static_cast<size_t>(i)].text = text;
        userChanged(i);
        focus_ = i;
        focusButton_ = -1;
        if (a->kind == K::kType) continue;
        Event e = make(Event::Kind::kFieldLeft);
        e.control = i;
        return e;
      }
      case K::kPick: {
        const int i = findControl(a->target);
        if (refuse(i, *a, ControlKind::kComboBox)) continue;
        const auto& items = states_[static_cast<size_t>(i)].items;
        if (a->n < 1 || static_cast<size_t>(a->n) > items.size()) {
          std::lock_guard lock(st_->mu);
          st_->problem("dialog " + quoted(desc_.title) + ": cannot " + a->describe() + ": it has " +
                       std::to_string(items.size()) + " entries");
          continue;
        }
        focus_ = i;
        states_[static_cast<size_t>(i)].index = a->n - 1;
        userChanged(i);
        pending_.push_back({i, {}, false, a->n - 1});
        Event e = make(Event::Kind::kPicked);
        e.control = i;
        return e;
      }
      case K::kCheck: {
        const int i = findControl(a->target);
        if (refuse(i, *a, ControlKind::kCheckBox)) continue;
        if (states_[static_cast<size_t>(i)].checked == a->on) continue;  // nothing to click
        focus_ = i;
        states_[static_cast<size_t>(i)].checked = a->on;
        userChanged(i);
        pending_.push_back({i, {}, a->on, -1});
        Event e = make(Event::Kind::kToggled);
        e.control = i;
        return e;
      }
      case K::kChoose: {
        const int i = findControl(a->target);
        if (refuse(i, *a, ControlKind::kRadioButton)) continue;
        focus_ = i;
        userChanged(i);
        pending_.push_back({i, {}, true, -1});
        Event e = make(Event::Kind::kChosen);
        e.control = i;
        return e;
      }
      case K::kPress:
      case K::kConfirm:
      case K::kCancel: {
        const std::string name = a->kind == K::kConfirm  ? std::string(kButtonOkId)
                                 : a->kind == K::kCancel ? std::string(kButtonCancelId)
                                                         : a->target;
        const int b = findRowButton(name);
        if (b >= 0) {
          Event e = make(Event::Kind::kButton);
          e.button = b;
          return e;
        }
        const int i = findControl(name);
        if (i >= 0 && a->kind != K::kCancel &&
            desc_.controls[static_cast<size_t>(i)].kind == ControlKind::kPushButton) {
          if (refuse(i, *a, ControlKind::kPushButton)) continue;
          Event e = make(Event::Kind::kPushButton);
          e.control = i;
          return e;
        }
        std::lock_guard lock(st_->mu);
        st_->problem("dialog " + quoted(desc_.title) + ": cannot " + a->describe() +
                     ": no such button");
        continue;
      }
      case K::kKey: {
        if (std::find(hotKeys_.begin(), hotKeys_.end(), a->n) == hotKeys_.end()) {
          std::lock_guard lock(st_->mu);
          st_->problem("dialog " + quoted(desc_.title) + ": key " + std::to_string(a->n) +
                       " is not forwarded (not bound, or hot keys off)");
          continue;
        }
        Event e = make(Event::Kind::kHotKey);
        e.code = a->n;
        return e;
      }
      case K::kFocus: {
        const int i = findControl(a->target);
        if (i < 0 || !usable(i)) {
          std::lock_guard lock(st_->mu);
          st_->problem("dialog " + quoted(desc_.title) + ": cannot " + a->describe());
          continue;
        }
        focus_ = i;
        focusButton_ = -1;
        saveFocus();
        continue;
      }
      case K::kSelectRow: {
        const int i = findControl(a->target);
        if (refuse(i, *a, ControlKind::kBrowse)) continue;
        if (a->row < 0 || a->row >= browses_[static_cast<size_t>(i)].rows) {
          std::lock_guard lock(st_->mu);
          st_->problem("dialog " + quoted(desc_.title) + ": cannot " + a->describe() +
                       ": the browse shows " +
                       std::to_string(browses_[static_cast<size_t>(i)].rows) + " rows");
          continue;
        }
        focus_ = i;
        Event e = make(Event::Kind::kBrowseRow);
        e.control = i;
        e.first = a->row;
        return e;
      }
      case K::kScroll: {
        const int i = findControl(a->target);
        if (refuse(i, *a, ControlKind::kBrowse)) continue;
        if (browses_[static_cast<size_t>(i)].atEnd) continue;
        requestPage(i, browses_[static_cast<size_t>(i)].rows);
        continue;
      }
      case K::kClose:
        return make(Event::Kind::kClosed);
      case K::kInspect: {
        ShownDialog copy;
        {
          std::lock_guard lock(st_->mu);
          copy = rec();
        }
        if (a->check) a->check(copy);
        continue;
      }
      case K::kMessage:
      case K::kMenu:
      case K::kCloseWindow:
        continue;  // takeAnswer never hands these to a dialog
    }
  }
}

void ScriptedDialogView::update(const std::vector<ControlUpdate>& updates) {
  std::lock_guard lock(st_->mu);
  for (const ControlUpdate& u : updates) {
    if (u.control < 0 || static_cast<size_t>(u.control) >= states_.size()) continue;
    ControlState& s = states_[static_cast<size_t>(u.control)];
    const ControlState before = s;
    if (u.values) {
      s = u.state;
      std::erase_if(pending_, [&u](const Edit& e) { return e.control == u.control; });
    } else {
      s.enabled = u.state.enabled;
      s.hidden = u.state.hidden;
    }
    rec().controls[static_cast<size_t>(u.control)].state = s;
    if (before == s) continue;
    std::string line = "  update " + nameOf(u.control);
    if (before.text != s.text) line += " text=" + quoted(s.text);
    if (before.checked != s.checked) line += s.checked ? " checked" : " unchecked";
    if (before.index != s.index) line += " index=" + std::to_string(s.index);
    if (before.enabled != s.enabled) line += s.enabled ? " enabled" : " disabled";
    if (before.hidden != s.hidden) line += s.hidden ? " hidden" : " shown";
    st_->note(std::move(line));
  }
}

void ScriptedDialogView::setFocus(FocusTarget target) {
  focus_ = target.control;
  focusButton_ = target.button >= 0 && static_cast<size_t>(target.button) < desc_.buttons.size()
                     ? target.button
                     : -1;
  saveFocus();
}

void ScriptedDialogView::focusNext(int control) {
  const int n = static_cast<int>(desc_.controls.size());
  for (int step = 1; step <= n; ++step) {
    const int i = (control + step) % n;
    if (takesInput(desc_.controls[static_cast<size_t>(i)].kind) && usable(i)) {
      focus_ = i;
      focusButton_ = -1;
      saveFocus();
      return;
    }
  }
}

void ScriptedDialogView::setHotKeys(const std::vector<int>& codes) {
  hotKeys_ = codes;
  std::lock_guard lock(st_->mu);
  rec().hotKeys = codes;
}

void ScriptedDialogView::browseRows(int control, const BrowsePage& page) {
  if (control < 0 || static_cast<size_t>(control) >= browses_.size()) return;
  BrowseRows& b = browses_[static_cast<size_t>(control)];
  std::lock_guard lock(st_->mu);
  ShownControl& sc = rec().controls[static_cast<size_t>(control)];
  if (page.first != b.rows) {
    st_->problem("browse " + nameOf(control) + ": page at row " + std::to_string(page.first) +
                 " while " + std::to_string(b.rows) + " rows are shown");
    return;
  }
  for (size_t r = 0; r < page.cells.size(); ++r) {
    sc.rows.push_back(page.cells[r]);
    sc.rowToolTips.push_back(r < page.toolTips.size() ? page.toolTips[r]
                                                      : std::vector<std::string>{});
  }
  b.rows += static_cast<long>(page.cells.size());
  b.atEnd = page.atEnd;
  sc.atEnd = page.atEnd;
  st_->note("  rows " + nameOf(control) + " " + std::to_string(page.first) + ".." +
            std::to_string(b.rows - 1) + (page.atEnd ? " (end)" : ""));
}

void ScriptedDialogView::browseReset(int control) {
  if (control < 0 || static_cast<size_t>(control) >= browses_.size()) return;
  browses_[static_cast<size_t>(control)] = {};
  {
    std::lock_guard lock(st_->mu);
    ShownControl& sc = rec().controls[static_cast<size_t>(control)];
    sc.rows.clear();
    sc.rowToolTips.clear();
    sc.atEnd = false;
  }
  requestPage(control, 0);
}

void ScriptedDialogView::close() {
  if (closed_) return;
  closed_ = true;
  std::lock_guard lock(st_->mu);
  rec().open = false;
  --st_->openDialogs;
  std::erase_if(st_->openQueues, [this](const std::weak_ptr<EventQueue>& q) {
    auto p = q.lock();
    return !p || p == queue_;
  });
  st_->note("dialog " + quoted(desc_.title) + " closed");
  st_->changed.notify_all();
}

// ---- wait windows and the main window ----

class ScriptedWait : public WaitWindow {
 public:
  ScriptedWait(std::shared_ptr<ScriptedBackend::State> st, size_t record)
      : st_(std::move(st)), record_(record) {}
  void close() override {
    std::lock_guard lock(st_->mu);
    ShownWait& w = st_->waits[record_];
    if (!w.open) return;
    w.open = false;
    st_->note("wait closed " + quoted(w.text));
  }

 private:
  std::shared_ptr<ScriptedBackend::State> st_;
  size_t record_;
};

class ScriptedArea : public DrawingArea {
 public:
  void setSizeRedraw(bool on) override { redraw_ = on; }
  bool sizeRedraw() const override { return redraw_; }
  void configure() override {}

 private:
  std::atomic<bool> redraw_{false};
};

class ScriptedWindow : public Window {
 public:
  ScriptedWindow(std::shared_ptr<ScriptedBackend::State> st, size_t record, MainWindowDesc desc,
                 std::function<void(int)> onMenu)
      : st_(std::move(st)),
        record_(record),
        desc_(std::move(desc)),
        onMenu_(std::move(onMenu)),
        area_(std::make_shared<ScriptedArea>()) {}

  void show() override {
    std::lock_guard lock(st_->mu);
    st_->windows[record_].shown = true;
    st_->note("main window shown");
  }
  void setFrameState(FrameState state) override {
    std::lock_guard lock(st_->mu);
    st_->windows[record_].frameState = state == FrameState::kMaximized   ? "maximized"
                                       : state == FrameState::kMinimized ? "minimized"
                                                                         : "normal";
    st_->note("main window " + st_->windows[record_].frameState);
  }
  void postClose() override {
    closeRequested_ = true;
    std::lock_guard lock(st_->mu);
    st_->note("main window close requested");
    st_->changed.notify_all();
  }
  rt::ObjectRef drawingArea() const override { return area_; }

  bool closeRequested() const { return closeRequested_; }
  const MainWindowDesc& desc() const { return desc_; }
  void choose(int i) { onMenu_(i); }
  size_t record() const { return record_; }

 private:
  std::shared_ptr<ScriptedBackend::State> st_;
  size_t record_;
  MainWindowDesc desc_;
  std::function<void(int)> onMenu_;
  std::shared_ptr<ScriptedArea> area_;
  std::atomic<bool> closeRequested_{false};
};

// ---- the backend ----

ScriptedBackend::ScriptedBackend() : state_(std::make_shared<State>()) {}
ScriptedBackend::~ScriptedBackend() = default;

ScriptedBackend& ScriptedBackend::queue(Answer a) {
  std::lock_guard lock(state_->mu);
  state_->script.push_back(std::move(a));
  state_->changed.notify_all();
  return *this;
}

ScriptedBackend& ScriptedBackend::set(std::string control, std::string text) {
  Answer a;
  a.kind = Answer::Kind::kSet;
  a.target = std::move(control);
  a.text = std::move(text);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::type(std::string control, std::string text) {
  Answer a;
  a.kind = Answer::Kind::kType;
  a.target = std::move(control);
  a.text = std::move(text);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::pick(std::string control, int entry) {
  Answer a;
  a.kind = Answer::Kind::kPick;
  a.target = std::move(control);
  a.n = entry;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::check(std::string control, bool on) {
  Answer a;
  a.kind = Answer::Kind::kCheck;
  a.target = std::move(control);
  a.on = on;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::choose(std::string radio) {
  Answer a;
  a.kind = Answer::Kind::kChoose;
  a.target = std::move(radio);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::press(std::string button) {
  Answer a;
  a.kind = Answer::Kind::kPress;
  a.target = std::move(button);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::key(int code) {
  Answer a;
  a.kind = Answer::Kind::kKey;
  a.n = code;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::focus(std::string control) {
  Answer a;
  a.kind = Answer::Kind::kFocus;
  a.target = std::move(control);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::selectRow(std::string browse, long row) {
  Answer a;
  a.kind = Answer::Kind::kSelectRow;
  a.target = std::move(browse);
  a.row = row;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::scroll(std::string browse) {
  Answer a;
  a.kind = Answer::Kind::kScroll;
  a.target = std::move(browse);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::confirm() {
  Answer a;
  a.kind = Answer::Kind::kConfirm;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::cancel() {
  Answer a;
  a.kind = Answer::Kind::kCancel;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::close() {
  Answer a;
  a.kind = Answer::Kind::kClose;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::inspect(std::function<void(const ShownDialog&)> check) {
  Answer a;
  a.kind = Answer::Kind::kInspect;
  a.check = std::move(check);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::answer(int button) {
  Answer a;
  a.kind = Answer::Kind::kMessage;
  a.n = button;
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::menu(std::string caption) {
  Answer a;
  a.kind = Answer::Kind::kMenu;
  a.target = std::move(caption);
  return queue(std::move(a));
}
ScriptedBackend& ScriptedBackend::closeWindow() {
  Answer a;
  a.kind = Answer::Kind::kCloseWindow;
  return queue(std::move(a));
}

std::vector<std::string> ScriptedBackend::log() const {
  std::lock_guard lock(state_->mu);
  return state_->log;
}
std::vector<ShownDialog> ScriptedBackend::dialogs() const {
  std::lock_guard lock(state_->mu);
  return state_->dialogs;
}
std::vector<ShownMessage> ScriptedBackend::messages() const {
  std::lock_guard lock(state_->mu);
  return state_->messages;
}
std::vector<ShownWait> ScriptedBackend::waits() const {
  std::lock_guard lock(state_->mu);
  return state_->waits;
}
std::vector<ShownMainWindow> ScriptedBackend::mainWindows() const {
  std::lock_guard lock(state_->mu);
  return state_->windows;
}
std::vector<std::string> ScriptedBackend::problems() const {
  std::lock_guard lock(state_->mu);
  return state_->problems;
}
size_t ScriptedBackend::answersLeft() const {
  std::lock_guard lock(state_->mu);
  return state_->script.size();
}

namespace {

// The width of a control in cells, for the place of a control put after it.
double naturalWidth(const ControlDesc& c, const ControlState& s) {
  if (c.size.width > 0) return c.size.width;
  switch (c.kind) {
    case ControlKind::kGet:
      return c.displayWidth > 0 ? c.displayWidth
                                : static_cast<double>(std::max<size_t>(s.maxLength, s.text.size()));
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      return static_cast<double>(stripMarks(c.caption).size()) + 3;
    default:
      return static_cast<double>(stripMarks(s.text.empty() ? c.caption : s.text).size());
  }
}

}  // namespace

std::unique_ptr<DialogView> ScriptedBackend::openDialog(const DialogDesc& desc,
                                                        const std::vector<ControlState>& states,
                                                        std::shared_ptr<EventQueue> queue) {
  ShownDialog d;
  d.title = desc.title;
  d.childWindow = desc.parent != nullptr;
  for (const ButtonDesc& b : desc.buttons) {
    d.buttons.push_back(stripMarks(b.caption));
    d.buttonIds.push_back(b.id);
  }
  std::vector<std::string> lines;
  lines.push_back("dialog " + quoted(desc.title) + (d.childWindow ? " child" : " modal") +
                  " buttons [" + join(d.buttons, ", ") + "]");
  for (size_t i = 0; i < desc.controls.size(); ++i) {
    const ControlDesc& c = desc.controls[i];
    ShownControl sc;
    sc.kind = controlKindName(c.kind);
    sc.id = c.id;
    if (c.parent >= 0) {
      const ControlDesc& p = desc.controls[static_cast<size_t>(c.parent)];
      sc.parent = p.id.empty() ? "#" + std::to_string(c.parent + 1) : p.id;
    }
    sc.row = c.pos.row;
    sc.col = c.pos.col;
    if (c.pos.afterPrevious) {
      for (size_t k = i; k-- > 0;) {
        if (desc.controls[k].parent != c.parent) continue;
        sc.row = d.controls[k].row;
        sc.col = d.controls[k].col + naturalWidth(desc.controls[k], states[k]) + 1;
        break;
      }
    }
    sc.width = c.size.width;
    sc.height = c.size.height;
    sc.caption = c.caption;
    sc.toolTip = c.toolTip;
    sc.font = c.font;
    sc.password = c.password;
    sc.displayWidth = c.displayWidth;
    sc.state = i < states.size() ? states[i] : ControlState{};
    std::string line = "  " + sc.kind;
    if (!sc.id.empty()) line += " " + sc.id;
    if (!sc.caption.empty()) line += " " + quoted(sc.caption);
    line += " at " + number(sc.row) + "," + number(sc.col);
    if (!sc.parent.empty()) line += " in " + sc.parent;
    if (sc.width > 0 || sc.height > 0)
      line += " size " + number(sc.width) + "x" + number(sc.height);
    if (!sc.state.text.empty() && c.kind != ControlKind::kText)
      line += " text=" + quoted(sc.state.text);
    if (c.kind == ControlKind::kCheckBox || c.kind == ControlKind::kRadioButton) {
      line += sc.state.checked ? " checked" : " unchecked";
    }
    if (c.kind == ControlKind::kComboBox) line += " index=" + std::to_string(sc.state.index);
    if (!sc.state.enabled) line += " disabled";
    if (sc.state.hidden) line += " hidden";
    lines.push_back(std::move(line));
    d.controls.push_back(std::move(sc));
  }
  size_t record;
  bool closing;
  {
    std::lock_guard lock(state_->mu);
    for (std::string& l : lines) state_->note(std::move(l));
    state_->dialogs.push_back(std::move(d));
    record = state_->dialogs.size() - 1;
    ++state_->openDialogs;
    state_->openQueues.push_back(queue);
    closing = state_->closing;
    state_->changed.notify_all();
  }
  if (closing) {
    Event e;
    e.kind = Event::Kind::kCancelled;
    queue->push(std::move(e));
  }
  return std::make_unique<ScriptedDialogView>(state_, record, desc, states, std::move(queue));
}

int ScriptedBackend::showMessage(const MessageSpec& spec) {
  static constexpr const char* kKinds[] = {"alert", "startalert", "msgbox", "winalert",
                                           "messagebox"};
  ShownMessage m;
  m.kind = kKinds[static_cast<int>(spec.kind)];
  m.title = spec.title;
  m.lines = spec.lines;
  m.buttons = spec.buttons;
  m.textFont = spec.textFont;
  m.timeoutSeconds = spec.timeoutSeconds;
  std::lock_guard lock(state_->mu);
  std::string line = m.kind + " " + quoted(m.title) + ": " + join(m.lines, " | ") + " [" +
                     join(m.buttons, ", ") + "]";
  if (state_->closing) {
    m.answer = kAnswerCancelled;
    line += " -> cancelled (closing)";
  } else if (!state_->script.empty() && state_->script.front().forMessage()) {
    const int n = state_->script.front().n;
    state_->script.pop_front();
    state_->changed.notify_all();
    if (n < 0 || static_cast<size_t>(n) > m.buttons.size()) {
      state_->problem("message " + quoted(m.title) + ": no button " + std::to_string(n));
    } else {
      m.answer = n;
    }
    line += " -> " + std::to_string(m.answer);
  } else {
    line += m.timeoutSeconds > 0 ? " -> closed by itself" : " -> closed (no answer)";
  }
  state_->note(std::move(line));
  state_->messages.push_back(m);
  return m.answer;
}

std::shared_ptr<WaitWindow> ScriptedBackend::openWait(const std::string& text) {
  std::lock_guard lock(state_->mu);
  state_->waits.push_back({text, true});
  state_->note("wait open " + quoted(text));
  return std::make_shared<ScriptedWait>(state_, state_->waits.size() - 1);
}

std::shared_ptr<Window> ScriptedBackend::createMainWindow(const MainWindowDesc& desc,
                                                          std::function<void(int)> onMenu) {
  ShownMainWindow w;
  w.title = desc.title;
  w.width = desc.width;
  w.height = desc.height;
  for (const ControlDesc& c : desc.menu) {
    int depth = 0;
    for (int p = c.parent; p >= 0; p = desc.menu[static_cast<size_t>(p)].parent) ++depth;
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    if (c.kind == ControlKind::kSubMenu) w.menu.push_back(indent + "submenu " + c.caption);
    if (c.kind == ControlKind::kMenuItem) w.menu.push_back(indent + "item " + c.caption);
    if (c.kind == ControlKind::kMenuSeparator) w.menu.push_back(indent + "separator");
  }
  std::lock_guard lock(state_->mu);
  state_->note("main window " + quoted(desc.title) + " " + std::to_string(desc.width) + "x" +
               std::to_string(desc.height) + " menu [" + join(w.menu, "; ") + "]");
  state_->windows.push_back(std::move(w));
  return std::make_shared<ScriptedWindow>(state_, state_->windows.size() - 1, desc,
                                          std::move(onMenu));
}

void ScriptedBackend::runUntilClosed(Window& window) {
  auto* w = dynamic_cast<ScriptedWindow*>(&window);
  if (w == nullptr) return;
  for (;;) {
    if (w->closeRequested()) break;
    std::unique_lock lock(state_->mu);
    if (state_->script.empty()) {
      state_->note("script empty: main window closed");
      break;
    }
    if (!state_->script.front().forMainWindow()) {
      // The answer is for a dialog or message of a report thread: give it time to take it.
      const size_t before = state_->script.size();
      const bool taken = state_->changed.wait_for(lock, kMainWindowPatience, [&] {
        return state_->script.size() != before || state_->openDialogs > 0 || w->closeRequested();
      });
      if (!taken) {
        state_->problem("main window: nobody took " + state_->script.front().describe());
        state_->script.pop_front();
      } else if (state_->openDialogs > 0) {
        state_->changed.wait(lock, [&] {
          return state_->openDialogs == 0 || state_->script.empty() ||
                 state_->script.front().forMainWindow() || w->closeRequested();
        });
      }
      continue;
    }
    Answer a = std::move(state_->script.front());
    state_->script.pop_front();
    state_->note("> " + a.describe());
    if (a.kind == Answer::Kind::kCloseWindow) break;
    int found = -1;
    const auto& menu = w->desc().menu;
    for (size_t i = 0; i < menu.size(); ++i) {
      if (menu[i].kind == ControlKind::kMenuItem &&
          sameText(stripMarks(menu[i].caption), stripMarks(a.target))) {
        found = static_cast<int>(i);
        break;
      }
    }
    if (found < 0) {
      state_->problem("main window: no menu item " + quoted(a.target));
      continue;
    }
    lock.unlock();
    w->choose(found);
  }
  std::lock_guard lock(state_->mu);
  state_->windows[w->record()].open = false;
  state_->note("main window closed");
}

void ScriptedBackend::pumpUntil(const std::function<bool()>& done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void ScriptedBackend::cancelAll() {
  std::vector<std::shared_ptr<EventQueue>> queues;
  {
    std::lock_guard lock(state_->mu);
    state_->closing = true;
    state_->note("closing: every dialog cancelled");
    for (const auto& q : state_->openQueues) {
      if (auto p = q.lock()) queues.push_back(std::move(p));
    }
  }
  for (const auto& q : queues) {
    Event e;
    e.kind = Event::Kind::kCancelled;
    q->push(std::move(e));
  }
}

bool ScriptedBackend::closing() const {
  std::lock_guard lock(state_->mu);
  return state_->closing;
}

const ShownControl* ShownDialog::control(std::string_view name) const {
  if (name.size() > 1 && name.front() == '#') {
    size_t n = 0;
    for (char c : name.substr(1)) {
      if (!std::isdigit(static_cast<unsigned char>(c)) || n > 100000) return nullptr;
      n = n * 10 + static_cast<size_t>(c - '0');
    }
    return n >= 1 && n <= controls.size() ? &controls[n - 1] : nullptr;
  }
  for (const ShownControl& c : controls) {
    if (!c.id.empty() && sameText(c.id, name)) return &c;
  }
  for (const ShownControl& c : controls) {
    if (!c.caption.empty() && sameText(stripMarks(c.caption), stripMarks(name))) return &c;
  }
  return nullptr;
}

}  // namespace gui
