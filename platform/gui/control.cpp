#include "control.h"

#include <cctype>
#include <cstdio>

#include "runtime/variables.h"

namespace gui {

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

const char* controlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kText:
      return "text";
    case ControlKind::kGet:
      return "get";
    case ControlKind::kComboBox:
      return "combobox";
    case ControlKind::kCheckBox:
      return "checkbox";
    case ControlKind::kRadioButton:
      return "radio";
    case ControlKind::kGroupBox:
      return "group";
    case ControlKind::kStaticLine:
      return "line";
    case ControlKind::kMultiLineEdit:
      return "memo";
    case ControlKind::kPushButton:
      return "button";
    case ControlKind::kBrowse:
      return "browse";
    case ControlKind::kSubMenu:
      return "submenu";
    case ControlKind::kMenuItem:
      return "menuitem";
    case ControlKind::kMenuSeparator:
      return "menuseparator";
  }
  return "?";
}

std::string customButtonId(int n) { return "DCGUI_BUTTON_CUSTOM_" + std::to_string(n); }

Binding Binding::variable(std::string_view name) {
  Binding b;
  b.name_ = std::string(name);
  return b;
}

Binding Binding::accessor(rt::Value getSet, std::string key) {
  Binding b;
  b.getSet_ = std::move(getSet);
  b.key_ = std::move(key);
  return b;
}

std::string Binding::key() const {
  if (!name_.empty()) return "var:" + upper(name_);
  if (!key_.empty()) return "key:" + key_;
  if (getSet_.isCallable()) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "fn:%p", static_cast<const void*>(getSet_.callableRef().get()));
    return buf;
  }
  return {};
}

rt::Value Binding::get() const {
  if (!name_.empty()) return rt::varGet(name_).value_or(rt::Value());
  if (getSet_.isCallable()) return getSet_.call();
  return {};
}

void Binding::set(const rt::Value& value) const {
  if (!name_.empty()) {
    rt::varSet(name_, value);
    return;
  }
  if (getSet_.isCallable()) {
    rt::Args args{value};
    getSet_.call(args);
  }
}

rt::Value condition(std::function<bool()> test) {
  return rt::Value::callable([test = std::move(test)](rt::Args&) { return rt::Value(test()); });
}

rt::Value action(std::function<void()> fn) {
  return rt::Value::callable([fn = std::move(fn)](rt::Args&) {
    fn();
    return rt::Value();
  });
}

GetList::~GetList() = default;

Control& GetList::add(Control c) {
  controls_.push_back(std::move(c));
  return controls_.back();
}

Control& GetList::addText(Position pos, std::string caption, Size size) {
  Control c;
  c.kind = ControlKind::kText;
  c.pos = pos;
  c.caption = std::move(caption);
  c.size = size;
  return add(std::move(c));
}

Control& GetList::addGet(Position pos, Binding data, double width) {
  Control c;
  c.kind = ControlKind::kGet;
  c.pos = pos;
  c.data = std::move(data);
  c.size.width = width;
  return add(std::move(c));
}

Control& GetList::addComboBox(Position pos, Binding data, rt::Value items, Size size) {
  Control c;
  c.kind = ControlKind::kComboBox;
  c.pos = pos;
  c.data = std::move(data);
  c.items = std::move(items);
  c.size = size;
  return add(std::move(c));
}

Control& GetList::addCheckBox(Position pos, Binding data, std::string caption) {
  Control c;
  c.kind = ControlKind::kCheckBox;
  c.pos = pos;
  c.data = std::move(data);
  c.caption = std::move(caption);
  return add(std::move(c));
}

Control& GetList::addRadioButton(Position pos, Binding data, rt::Value value, std::string caption) {
  Control c;
  c.kind = ControlKind::kRadioButton;
  c.pos = pos;
  c.data = std::move(data);
  c.radioValue = std::move(value);
  c.caption = std::move(caption);
  return add(std::move(c));
}

Control& GetList::addGroupBox(std::string id, Position pos, Size size, std::string caption) {
  Control c;
  c.kind = ControlKind::kGroupBox;
  c.id = std::move(id);
  c.pos = pos;
  c.size = size;
  c.caption = std::move(caption);
  return add(std::move(c));
}

Control& GetList::addStaticLine(Position pos, Size size) {
  Control c;
  c.kind = ControlKind::kStaticLine;
  c.pos = pos;
  c.size = size;
  return add(std::move(c));
}

Control& GetList::addMultiLineEdit(Position pos, Binding data, Size size) {
  Control c;
  c.kind = ControlKind::kMultiLineEdit;
  c.pos = pos;
  c.data = std::move(data);
  c.size = size;
  return add(std::move(c));
}

Control& GetList::addPushButton(Position pos, Size size, std::string caption, rt::Value act) {
  Control c;
  c.kind = ControlKind::kPushButton;
  c.pos = pos;
  c.size = size;
  c.caption = std::move(caption);
  c.action = std::move(act);
  return add(std::move(c));
}

Control& GetList::addBrowse(Position pos, Size size, std::shared_ptr<BrowseSource> source,
                            std::vector<BrowseColumn> columns) {
  Control c;
  c.kind = ControlKind::kBrowse;
  c.pos = pos;
  c.size = size;
  c.source = std::move(source);
  c.columns = std::move(columns);
  return add(std::move(c));
}

Control& GetList::addSubMenu(std::string id, std::string caption, std::string parent) {
  Control c;
  c.kind = ControlKind::kSubMenu;
  c.id = std::move(id);
  c.caption = std::move(caption);
  c.parentId = std::move(parent);
  return add(std::move(c));
}

Control& GetList::addMenuItem(std::string parent, std::string caption, rt::Value act) {
  Control c;
  c.kind = ControlKind::kMenuItem;
  c.parentId = std::move(parent);
  c.caption = std::move(caption);
  c.action = std::move(act);
  return add(std::move(c));
}

Control& GetList::addMenuSeparator(std::string parent) {
  Control c;
  c.kind = ControlKind::kMenuSeparator;
  c.parentId = std::move(parent);
  return add(std::move(c));
}

Control* GetList::find(std::string_view id) {
  const int i = indexOf(id);
  return i < 0 ? nullptr : &controls_[static_cast<size_t>(i)];
}

int GetList::indexOf(std::string_view id) const {
  if (id.empty()) return -1;
  const std::string want = upper(id);
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (upper(controls_[i].id) == want) return static_cast<int>(i);
  }
  return -1;
}

void GetList::clear() {
  // Emptying a running list would pull the controls from under its dialog run.
  if (run_ == nullptr) controls_.clear();
}

}  // namespace gui
