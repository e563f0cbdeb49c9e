#include "dialog_run.h"

#include <algorithm>
#include <map>
#include <memory>
#include <thread>

#include "backend.h"
#include "colors.h"
#include "hot_keys.h"
#include "runtime/keys.h"
#include "text_lines.h"

namespace gui {

namespace {

constexpr long kDefaultPage = 50;
constexpr long kMaxPage = 1000;

thread_local std::vector<DialogRun*> tRuns;

std::string crlfToLf(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out.push_back(s[i]);
  }
  return out;
}

// Memo texts of the suite are Windows texts: lines end in CR LF.
std::string lfToCrlf(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 16);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) out.push_back('\r');
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace

class DialogRun {
 public:
  DialogRun(GetList& list, const ReadGuiOptions& options)
      : list_(list),
        options_(options),
        backend_(backend()),
        queue_(std::make_shared<EventQueue>()),
        owner_(std::this_thread::get_id()) {
    list_.run_ = this;
    tRuns.push_back(this);
  }

  ~DialogRun() {
    if (view_) view_->close();
    list_.run_ = nullptr;
    tRuns.erase(std::remove(tRuns.begin(), tRuns.end(), this), tRuns.end());
  }

  DialogRun(const DialogRun&) = delete;
  DialogRun& operator=(const DialogRun&) = delete;

  bool run();
  void refreshAll();
  void readPending() {
    if (view_) applyEdits(view_->collectEdits());
  }
  void requestExit(int event) { exitRequest_ = event; }
  bool ownedByThisThread() const { return owner_ == std::this_thread::get_id(); }

 private:
  struct BrowseCursor {
    long pos = -1;  // the row the source stands on; -1: not positioned
  };

  DialogDesc describe();
  ControlState evaluate(size_t i) const;
  bool evalFlag(const rt::Value& cond, bool dflt) const;
  std::vector<std::string> evalItems(const Control& c) const;
  void applyEdits(const std::vector<Edit>& edits);
  void applyEdit(const Edit& e);
  void handle(const Event& e);
  void tryConfirm();
  void pushStates();
  void refreshHotKeys();
  void fetch(int control, long first, long count);
  bool moveTo(int control, long row);
  void hotKey(const Event& e);
  static void runCallable(const rt::Value& fn) {
    if (fn.isCallable()) fn.call();
  }
  bool valid(int i) const { return i >= 0 && static_cast<size_t>(i) < list_.size(); }

  GetList& list_;
  const ReadGuiOptions& options_;
  std::shared_ptr<Backend> backend_;
  std::shared_ptr<EventQueue> queue_;
  std::thread::id owner_;
  std::unique_ptr<DialogView> view_;
  std::vector<ControlState> shown_;
  std::vector<int> radioGroup_;
  std::vector<BrowseCursor> cursors_;
  std::vector<ButtonDesc> buttons_;
  std::vector<rt::Value> buttonActions_;  // parallel to buttons_: nil for OK and Cancel
  std::vector<int> hotKeys_;
  bool hasPopup_ = false;
  int exitRequest_ = 0;
  bool confirmed_ = false;
  bool done_ = false;
};

bool DialogRun::evalFlag(const rt::Value& cond, bool dflt) const {
  if (cond.isCallable()) return cond.call().isTrue();
  if (cond.isLogical()) return cond.logical();
  return dflt;
}

std::vector<std::string> DialogRun::evalItems(const Control& c) const {
  rt::Value items = c.items;
  if (items.isCallable()) items = items.call();
  std::vector<std::string> out;
  if (!items.isArray()) return out;
  for (const rt::Value& v : items.arr()) out.push_back(displayText(v));
  return out;
}

ControlState DialogRun::evaluate(size_t i) const {
  const Control& c = list_.at(i);
  ControlState s;
  s.enabled = evalFlag(c.enabledWhen, true);
  s.hidden = evalFlag(c.hiddenWhen, false);
  switch (c.kind) {
    case ControlKind::kText:
      s.text = c.data.isBound() ? displayText(c.data.get()) : c.caption;
      break;
    case ControlKind::kGet: {
      const rt::Value v = c.data.isBound() ? c.data.get() : rt::Value();
      // The field shows the text without its padding; its buffer is the value's whole width.
      if (v.isText()) {
        s.text = trimRight(v.text());
        s.maxLength = static_cast<int>(v.text().size());
      } else {
        s.text = displayText(v);
      }
      break;
    }
    case ControlKind::kMultiLineEdit:
      if (c.data.isBound()) s.text = crlfToLf(displayText(c.data.get()));
      break;
    case ControlKind::kComboBox: {
      s.items = evalItems(c);
      const rt::Value v = c.data.isBound() ? c.data.get() : rt::Value();
      if (v.isText()) {
        // The entry shown is the first that equals the value under the program's comparison:
        // an entry equals a value it begins with.
        for (size_t k = 0; k < s.items.size(); ++k) {
          if (rt::textEqualsNonExact(s.items[k], v.text())) {
            s.index = static_cast<int>(k);
            break;
          }
        }
      } else if (v.isNumber() && v.number() >= 1 &&
                 v.number() <= static_cast<double>(s.items.size())) {
        s.index = static_cast<int>(v.number()) - 1;
      }
      break;
    }
    case ControlKind::kCheckBox:
      s.checked = c.data.isBound() && c.data.get().isTrue();
      break;
    case ControlKind::kRadioButton:
      s.checked = c.data.isBound() && rt::valuesEqual(c.data.get(), c.radioValue, /*exact=*/true);
      break;
    default:
      break;
  }
  return s;
}

DialogDesc DialogRun::describe() {
  DialogDesc d;
  d.title = options_.title;
  d.font = options_.font;
  const ColourPair colours = colourPair(options_.colours);
  d.foreground = colours.foreground;
  d.background = colours.background;
  if (options_.parent.isObject()) {
    const rt::ObjectRef& obj = options_.parent.object();
    if (dynamic_cast<DrawingArea*>(obj.get()) != nullptr) {
      d.parent = obj;
    } else if (auto* w = dynamic_cast<Window*>(obj.get())) {
      d.parent = w->drawingArea();
    }
  }

  std::map<std::string, int> radioGroups;
  radioGroup_.assign(list_.size(), -1);
  int okControl = -1;
  for (size_t i = 0; i < list_.size(); ++i) {
    const Control& c = list_.at(i);
    ControlDesc cd;
    cd.kind = c.kind;
    cd.id = c.id;
    if (!c.parentId.empty()) {
      const int p = list_.indexOf(c.parentId);
      if (p >= 0 && list_.at(static_cast<size_t>(p)).kind == ControlKind::kGroupBox &&
          static_cast<size_t>(p) != i) {
        cd.parent = p;
      }
    }
    cd.pos = c.pos;
    cd.size = c.size;
    cd.caption = c.caption;
    cd.toolTip = toolTipText(c.toolTip);
    cd.font = c.font;
    cd.password = c.password;
    if (c.kind == ControlKind::kGet) {
      const int scroll = pictureScrollWidth(c.picture);
      cd.displayWidth = scroll > 0 ? scroll : static_cast<int>(c.size.width);
    }
    if (c.kind == ControlKind::kRadioButton && c.data.isBound()) {
      const auto [it, inserted] =
          radioGroups.emplace(c.data.key(), static_cast<int>(radioGroups.size()));
      cd.radioGroup = it->second;
      radioGroup_[i] = it->second;
    }
    if (c.kind == ControlKind::kPushButton && c.id == kButtonOkId && okControl < 0) {
      cd.isDefault = true;
      okControl = static_cast<int>(i);
    }
    if (c.kind == ControlKind::kGet && c.popup.isCallable()) hasPopup_ = true;
    for (const BrowseColumn& col : c.columns) cd.columns.push_back({col.header, col.width});
    d.controls.push_back(std::move(cd));
  }

  if (options_.buttons & kButtonsOk) {
    buttons_.push_back({std::string(kButtonOkId), "OK", 0, 0, {}, okControl < 0});
    buttonActions_.emplace_back();
  }
  if (options_.buttons & kButtonsCancel) {
    buttons_.push_back({std::string(kButtonCancelId), "Cancel", 0, 0, {}, false});
    buttonActions_.emplace_back();
  }
  for (size_t n = 0; n < options_.customButtons.size(); ++n) {
    const CustomButton& b = options_.customButtons[n];
    buttons_.push_back({customButtonId(static_cast<int>(n) + 1), b.caption, b.width, b.height,
                        toolTipText(b.toolTip), false});
    buttonActions_.push_back(b.action);
  }
  d.buttons = buttons_;
  return d;
}

bool DialogRun::run() {
  if (backend_->closing()) return false;
  shown_.reserve(list_.size());
  for (size_t i = 0; i < list_.size(); ++i) shown_.push_back(evaluate(i));
  cursors_.assign(list_.size(), {});
  const DialogDesc desc = describe();
  view_ = backend_->openDialog(desc, shown_, queue_);
  refreshHotKeys();
  if (!options_.focus.empty()) {
    FocusTarget target;
    target.control = list_.indexOf(options_.focus);
    if (target.control < 0) {
      for (size_t b = 0; b < buttons_.size(); ++b) {
        if (rt::textEqualsExact(buttons_[b].id, options_.focus))
          target.button = static_cast<int>(b);
      }
    }
    if (target.control >= 0 || target.button >= 0) view_->setFocus(target);
  }
  while (!done_) {
    const Event e = view_->nextEvent();
    handle(e);
    if (!done_) {
      pushStates();
      refreshHotKeys();
    }
  }
  view_->close();
  view_.reset();
  return confirmed_;
}

void DialogRun::applyEdits(const std::vector<Edit>& edits) {
  for (const Edit& e : edits) applyEdit(e);
}

void DialogRun::applyEdit(const Edit& e) {
  if (!valid(e.control)) return;
  const size_t i = static_cast<size_t>(e.control);
  const Control& c = list_.at(i);
  ControlState& s = shown_[i];
  switch (c.kind) {
    case ControlKind::kGet:
      s.text = e.text;
      if (c.data.isBound()) c.data.set(valueFromText(e.text, c.data.get()));
      break;
    case ControlKind::kMultiLineEdit:
      s.text = e.text;
      if (c.data.isBound()) c.data.set(rt::Value(lfToCrlf(e.text)));
      break;
    case ControlKind::kComboBox:
      if (e.index < 0 || static_cast<size_t>(e.index) >= s.items.size()) break;
      s.index = e.index;
      if (c.data.isBound()) {
        // A number binding holds the entry's position; any other holds the entry's text.
        if (c.data.get().isNumber()) {
          c.data.set(rt::Value(e.index + 1));
        } else {
          c.data.set(rt::Value(s.items[static_cast<size_t>(e.index)]));
        }
      }
      break;
    case ControlKind::kCheckBox:
      s.checked = e.checked;
      if (c.data.isBound()) c.data.set(rt::Value(e.checked));
      break;
    case ControlKind::kRadioButton:
      if (!e.checked) break;
      for (size_t k = 0; k < list_.size(); ++k) {
        if (radioGroup_[k] >= 0 && radioGroup_[k] == radioGroup_[i]) shown_[k].checked = (k == i);
      }
      s.checked = true;
      if (c.data.isBound()) c.data.set(c.radioValue);
      break;
    default:
      break;
  }
}

void DialogRun::handle(const Event& e) {
  using K = Event::Kind;
  const bool cancelButton = e.kind == K::kButton && e.button >= 0 &&
                            static_cast<size_t>(e.button) < buttons_.size() &&
                            buttons_[static_cast<size_t>(e.button)].id == kButtonCancelId;
  // What is still being typed does not survive a cancel.
  if (e.kind != K::kClosed && e.kind != K::kCancelled && !cancelButton) applyEdits(e.edits);

  switch (e.kind) {
    case K::kButton: {
      if (e.button < 0 || static_cast<size_t>(e.button) >= buttons_.size()) break;
      const ButtonDesc& b = buttons_[static_cast<size_t>(e.button)];
      if (b.id == kButtonOkId) {
        tryConfirm();
      } else if (b.id == kButtonCancelId) {
        done_ = true;
      } else {
        runCallable(buttonActions_[static_cast<size_t>(e.button)]);
      }
      break;
    }
    case K::kPushButton:
    case K::kPicked:
    case K::kToggled:
    case K::kChosen:
      if (valid(e.control)) runCallable(list_.at(static_cast<size_t>(e.control)).action);
      break;
    case K::kFieldLeft:
      break;
    case K::kClosed:
    case K::kCancelled:
      done_ = true;
      break;
    case K::kHotKey:
      hotKey(e);
      break;
    case K::kBrowseFetch:
      fetch(e.control, e.first, e.count);
      break;
    case K::kBrowseRow:
      if (valid(e.control) && moveTo(e.control, e.first)) {
        runCallable(list_.at(static_cast<size_t>(e.control)).action);
      }
      break;
  }
  if (done_) return;
  const int request = exitRequest_;
  exitRequest_ = 0;
  if (request == kEventConfirm) tryConfirm();
  if (request == kEventCancel) done_ = true;
}

void DialogRun::tryConfirm() {
  for (size_t i = 0; i < list_.size(); ++i) {
    const Control& c = list_.at(i);
    if ((c.kind != ControlKind::kGet && c.kind != ControlKind::kMultiLineEdit) ||
        !c.valid.isCallable()) {
      continue;
    }
    if (!evalFlag(c.enabledWhen, true) || evalFlag(c.hiddenWhen, false)) continue;
    rt::Args args{c.data.isBound() ? c.data.get() : rt::Value()};
    if (!c.valid.call(args).isTrue()) {
      view_->setFocus({static_cast<int>(i), -1});
      return;
    }
  }
  confirmed_ = true;
  done_ = true;
}

void DialogRun::pushStates() {
  std::vector<ControlUpdate> updates;
  for (size_t i = 0; i < list_.size(); ++i) {
    const Control& c = list_.at(i);
    const bool enabled = evalFlag(c.enabledWhen, true);
    const bool hidden = evalFlag(c.hiddenWhen, false);
    ControlState& s = shown_[i];
    if (enabled == s.enabled && hidden == s.hidden) continue;
    s.enabled = enabled;
    s.hidden = hidden;
    updates.push_back({static_cast<int>(i), false, s});
  }
  if (!updates.empty()) view_->update(updates);
}

void DialogRun::refreshAll() {
  if (!view_) return;  // a refresh asked for while the dialog is being built
  std::vector<ControlUpdate> updates;
  for (size_t i = 0; i < list_.size(); ++i) {
    shown_[i] = evaluate(i);
    updates.push_back({static_cast<int>(i), true, shown_[i]});
  }
  view_->update(updates);
  for (size_t i = 0; i < list_.size(); ++i) {
    if (list_.at(i).kind == ControlKind::kBrowse) {
      cursors_[i] = {};
      view_->browseReset(static_cast<int>(i));
    }
  }
}

void DialogRun::refreshHotKeys() {
  std::vector<int> codes;
  if (keyActive()) {
    for (int code : hotKeyCodes()) {
      if (rt::keyBinding(code).isCallable()) codes.push_back(code);
    }
  }
  const int pop = popKeyCode();
  if (hasPopup_ && pop != 0 && std::find(codes.begin(), codes.end(), pop) == codes.end()) {
    codes.push_back(pop);
  }
  if (codes != hotKeys_) {
    hotKeys_ = codes;
    view_->setHotKeys(codes);
  }
}

void DialogRun::hotKey(const Event& e) {
  const int pop = popKeyCode();
  if (pop != 0 && e.code == pop && valid(e.focus) &&
      list_.at(static_cast<size_t>(e.focus)).popup.isCallable()) {
    runCallable(list_.at(static_cast<size_t>(e.focus)).popup);
  } else if (keyActive()) {
    rt::dispatchKey(e.code);
  }
  // The read-exit keys leave Ctrl+W in the keyboard buffer: the current entry ends.
  bool endEntry = false;
  while (rt::keyboardPeek() == rt::kKeyCtrlW) {
    rt::keyboardNext();
    endEntry = true;
  }
  if (endEntry && valid(e.focus)) view_->focusNext(e.focus);
}

bool DialogRun::moveTo(int control, long row) {
  const Control& c = list_.at(static_cast<size_t>(control));
  BrowseCursor& cur = cursors_[static_cast<size_t>(control)];
  if (!c.source || row < 0) return false;
  if (cur.pos < 0) {
    if (!c.source->goTop()) return false;
    cur.pos = 0;
  }
  if (row != cur.pos) cur.pos += c.source->skip(row - cur.pos);
  return cur.pos == row;
}

void DialogRun::fetch(int control, long first, long count) {
  if (!valid(control) || list_.at(static_cast<size_t>(control)).kind != ControlKind::kBrowse)
    return;
  const Control& c = list_.at(static_cast<size_t>(control));
  BrowseCursor& cur = cursors_[static_cast<size_t>(control)];
  BrowsePage page;
  page.first = std::max(0L, first);
  if (count <= 0) count = kDefaultPage;
  count = std::min(count, kMaxPage);
  if (!moveTo(control, page.first)) {
    page.atEnd = true;
    view_->browseRows(control, page);
    return;
  }
  for (long r = 0; r < count; ++r) {
    std::vector<std::string> cells;
    std::vector<std::string> tips;
    for (const BrowseColumn& col : c.columns) {
      cells.push_back(col.cell.isCallable() ? displayText(col.cell.call()) : std::string());
      tips.push_back(col.toolTip.isCallable() ? toolTipText(displayText(col.toolTip.call()))
                                              : std::string());
    }
    page.cells.push_back(std::move(cells));
    page.toolTips.push_back(std::move(tips));
    if (c.source->skip(1) != 1) {
      page.atEnd = true;
      break;
    }
    ++cur.pos;
  }
  view_->browseRows(control, page);
}

bool readGui(GetList& list, const ReadGuiOptions& options) {
  if (list.running() != nullptr) return false;
  DialogRun run(list, options);
  return run.run();
}

bool readGuiEvent(int event) {
  if (tRuns.empty()) return false;
  tRuns.back()->requestExit(event);
  return true;
}

void getRefresh(GetList& list) {
  DialogRun* run = list.running();
  if (run != nullptr && run->ownedByThisThread()) run->refreshAll();
}

void readVar(GetList& list) {
  DialogRun* run = list.running();
  if (run != nullptr && run->ownedByThisThread()) run->readPending();
}

rt::Value aConvert(const rt::Value& tuples) {
  if (!tuples.isArray()) return rt::Value::array();
  const rt::Array& rows = tuples.arr();
  size_t width = 0;
  if (!rows.empty() && rows.front().isArray()) width = rows.front().arr().size();
  rt::Array columns;
  for (size_t k = 0; k < width; ++k) {
    rt::Array col;
    for (const rt::Value& row : rows) {
      col.push_back(row.isArray() && k < row.arr().size() ? row.arr()[k] : rt::Value());
    }
    columns.push_back(rt::Value::array(std::move(col)));
  }
  return rt::Value::array(std::move(columns));
}

}  // namespace gui
