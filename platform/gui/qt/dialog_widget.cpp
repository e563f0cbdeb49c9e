#include "dialog_widget.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "browse_model.h"
#include "qt_convert.h"

namespace gui::qt {

namespace {

constexpr long kPage = 50;
constexpr int kMaxFieldChars = 80;

// The frames turn every close (close box, Escape, a QDialog's own accept or reject) into a
// report to the dialog's thread; they close only when the dialog's thread finishes them.
class ChildFrame : public QMdiSubWindow {
 public:
  explicit ChildFrame(DialogWidget* dialog) : dialog_(dialog) {}

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (dialog_ && !dialog_->finishing()) {
      e->ignore();
      dialog_->userClosed();
      return;
    }
    QMdiSubWindow::closeEvent(e);
  }

 private:
  QPointer<DialogWidget> dialog_;
};

class ModalFrame : public QDialog {
 public:
  ModalFrame(DialogWidget* dialog, QWidget* parent) : QDialog(parent), dialog_(dialog) {}
  void done(int r) override {
    if (dialog_ && !dialog_->finishing()) {
      dialog_->userClosed();
      return;
    }
    QDialog::done(r);
  }

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (dialog_ && !dialog_->finishing()) {
      e->ignore();
      dialog_->userClosed();
      return;
    }
    QDialog::closeEvent(e);
  }

 private:
  QPointer<DialogWidget> dialog_;
};

bool isInputKind(ControlKind k) {
  return k == ControlKind::kGet || k == ControlKind::kMultiLineEdit ||
         k == ControlKind::kComboBox || k == ControlKind::kCheckBox ||
         k == ControlKind::kRadioButton || k == ControlKind::kPushButton ||
         k == ControlKind::kBrowse;
}

// Controls of one text line, centred in their row.
bool isOneLine(ControlKind k) {
  return k == ControlKind::kText || k == ControlKind::kGet || k == ControlKind::kComboBox ||
         k == ControlKind::kCheckBox || k == ControlKind::kRadioButton;
}

int px(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

DialogWidget::DialogWidget(DialogDesc desc, const std::vector<ControlState>& states,
                           std::shared_ptr<EventQueue> queue)
    : desc_(std::move(desc)), states_(states), queue_(std::move(queue)) {
  setObjectName("Dialog");
  states_.resize(desc_.controls.size());
  font_ = fontFrom(desc_.font, QApplication::font());
  setFont(font_);
  // A column is the mean width of the 52 letters, as dialog units are measured on the platform
  // the system's dialogs were designed for: captions of mixed case then fit the columns given
  // for them (the font's own average character width is narrower than such text).
  cell_ = QFontMetricsF(font_).horizontalAdvance(
              QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
          52.0;
  {
    QLineEdit probe;
    probe.setFont(font_);
    row_ = probe.sizeHint().height() + 2;
  }
  margin_ = std::max(6, px(cell_));
  build();
}

DialogWidget::~DialogWidget() = default;

void DialogWidget::build() {
  canvas_ = new QWidget(this);
  canvas_->setObjectName("Canvas");
  const size_t n = desc_.controls.size();
  widgets_.assign(n, nullptr);
  rowTop_.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const int p = desc_.controls[i].parent;
    QWidget* parent = p >= 0 && static_cast<size_t>(p) < i && widgets_[static_cast<size_t>(p)]
                          ? widgets_[static_cast<size_t>(p)]
                          : canvas_;
    QWidget* w = create(i, parent);
    widgets_[i] = w;
    connectControl(i, w);
    applyState(i, states_[i], true);
    place(i, w);
  }
  QRect bounds(margin_, margin_, 0, 0);
  for (size_t i = 0; i < n; ++i) {
    if (widgets_[i]->parentWidget() == canvas_) bounds |= widgets_[i]->geometry();
  }
  canvas_->setFixedSize(bounds.right() + 1 + margin_, bounds.bottom() + 1 + margin_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(canvas_);
  if (!desc_.buttons.empty()) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(margin_, 0, margin_, margin_);
    row->addStretch();
    for (size_t b = 0; b < desc_.buttons.size(); ++b) {
      const ButtonDesc& bd = desc_.buttons[b];
      auto* button = new QPushButton(caption(bd.caption), this);
      button->setObjectName(qs(bd.id));
      button->setAutoDefault(false);
      if (bd.width > 0 && bd.height > 0) button->setFixedSize(bd.width, bd.height);
      if (!bd.toolTip.empty()) button->setToolTip(qs(bd.toolTip));
      const int index = static_cast<int>(b);
      connect(button, &QPushButton::clicked, this, [this, index] {
        Event e;
        e.kind = Event::Kind::kButton;
        e.button = index;
        post(std::move(e));
      });
      buttons_.push_back(button);
      row->addWidget(button);
    }
    layout->addLayout(row);
  }

  const std::optional<QColor> fg = colour(desc_.foreground);
  const std::optional<QColor> bg = colour(desc_.background);
  if (fg || bg) {
    QPalette pal = palette();
    if (bg) pal.setColor(QPalette::Window, *bg);
    if (fg) {
      pal.setColor(QPalette::WindowText, *fg);
      pal.setColor(QPalette::ButtonText, *fg);
    }
    setPalette(pal);
    setAutoFillBackground(true);
  }
}

QWidget* DialogWidget::create(size_t i, QWidget* parent) {
  const ControlDesc& c = desc_.controls[i];
  QWidget* w = nullptr;
  switch (c.kind) {
    case ControlKind::kText: {
      auto* l = new QLabel(parent);
      l->setTextFormat(Qt::PlainText);
      l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      w = l;
      break;
    }
    case ControlKind::kGet: {
      auto* e = new QLineEdit(parent);
      if (c.password) e->setEchoMode(QLineEdit::Password);
      w = e;
      break;
    }
    case ControlKind::kComboBox:
      w = new QComboBox(parent);
      break;
    case ControlKind::kCheckBox:
      w = new QCheckBox(caption(c.caption), parent);
      break;
    case ControlKind::kRadioButton: {
      auto* r = new QRadioButton(caption(c.caption), parent);
      // The radio buttons of one bound value form one choice, wherever they are placed.
      r->setAutoExclusive(false);
      if (c.radioGroup >= 0) {
        QButtonGroup*& g = radioGroups_[c.radioGroup];
        if (g == nullptr) {
          g = new QButtonGroup(this);
          g->setExclusive(true);
        }
        g->addButton(r);
      }
      w = r;
      break;
    }
    case ControlKind::kGroupBox:
      w = new QGroupBox(qs(c.caption), parent);
      break;
    case ControlKind::kStaticLine: {
      auto* f = new QFrame(parent);
      f->setFrameShape(c.size.height > c.size.width ? QFrame::VLine : QFrame::HLine);
      f->setFrameShadow(QFrame::Sunken);
      w = f;
      break;
    }
    case ControlKind::kMultiLineEdit: {
      auto* e = new QPlainTextEdit(parent);
      e->installEventFilter(this);
      w = e;
      break;
    }
    case ControlKind::kPushButton: {
      auto* b = new QPushButton(caption(c.caption), parent);
      b->setAutoDefault(false);
      w = b;
      break;
    }
    case ControlKind::kBrowse: {
      auto* view = new QTableView(parent);
      const int index = static_cast<int>(i);
      auto* model = new BrowseModel(
          c.columns,
          [this, index](long first) {
            Event e;
            e.kind = Event::Kind::kBrowseFetch;
            e.control = index;
            e.first = first;
            e.count = kPage;
            post(std::move(e));
          },
          view);
      view->setModel(model);
      view->setSelectionBehavior(QAbstractItemView::SelectRows);
      view->setSelectionMode(QAbstractItemView::SingleSelection);
      view->setEditTriggers(QAbstractItemView::NoEditTriggers);
      view->verticalHeader()->hide();
      view->verticalHeader()->setDefaultSectionSize(px(QFontMetricsF(font_).height() + 6));
      for (size_t k = 0; k < c.columns.size(); ++k) {
        view->setColumnWidth(static_cast<int>(k), px(c.columns[k].width * cell_ + 8));
      }
      models_[index] = model;
      w = view;
      break;
    }
    default:
      w = new QWidget(parent);
      w->hide();
      break;
  }
  w->setObjectName(c.id.empty() ? QStringLiteral("control%1").arg(i + 1) : qs(c.id));
  if (!c.font.empty()) w->setFont(fontFrom(c.font, font_));
  if (!c.toolTip.empty()) w->setToolTip(qs(c.toolTip));
  return w;
}

void DialogWidget::place(size_t i, QWidget* w) {
  const ControlDesc& c = desc_.controls[i];
  const ControlState& s = states_[i];
  const bool top = w->parentWidget() == canvas_;
  double x = c.pos.col * cell_;
  double rowTop = c.pos.row * row_;
  if (c.pos.afterPrevious) {
    x = 0;
    rowTop = 0;
    for (size_t k = i; k-- > 0;) {
      if (widgets_[k]->parentWidget() != w->parentWidget()) continue;
      x = widgets_[k]->geometry().right() + 1 + cell_;
      rowTop = rowTop_[k];
      break;
    }
  } else if (top) {
    x += margin_;
    rowTop += margin_;
  }
  rowTop_[i] = px(rowTop);

  w->ensurePolished();
  const QSize hint = w->sizeHint();
  int width = hint.width();
  int height = hint.height();
  switch (c.kind) {
    case ControlKind::kText:
      if (c.size.width > 0) width = std::max(width, px(c.size.width * cell_));
      height = c.size.height > 1 ? px(c.size.height * row_) : px(row_);
      break;
    case ControlKind::kGet: {
      int chars = c.displayWidth > 0 ? c.displayWidth : s.maxLength > 0 ? s.maxLength : 10;
      chars = std::min(chars, kMaxFieldChars);
      const double x17 = QFontMetricsF(w->font()).horizontalAdvance(QLatin1Char('x')) * 17;
      width = px(chars * cell_ + std::max(0.0, hint.width() - x17));
      break;
    }
    case ControlKind::kComboBox:
      if (c.size.width > 0) width = px(c.size.width * cell_ + row_);
      break;
    case ControlKind::kGroupBox:
    case ControlKind::kMultiLineEdit:
    case ControlKind::kBrowse:
      if (c.size.width > 0) width = px(c.size.width * cell_);
      if (c.size.height > 0) height = px(c.size.height * row_);
      break;
    case ControlKind::kStaticLine:
      width = std::max(2, px(c.size.width * cell_));
      height = std::max(2, px(c.size.height * row_));
      break;
    case ControlKind::kPushButton:
      if (c.size.width > 0) width = px(c.size.width * cell_);
      if (c.size.height > 0) height = std::max(px(c.size.height * row_), hint.height());
      break;
    default:
      break;
  }
  int y = rowTop_[i];
  if (isOneLine(c.kind) && height < row_) y += px((row_ - height) / 2);
  w->setGeometry(px(x), y, width, height);
}

void DialogWidget::connectControl(size_t i, QWidget* w) {
  const int index = static_cast<int>(i);
  switch (desc_.controls[i].kind) {
    case ControlKind::kGet: {
      auto* e = static_cast<QLineEdit*>(w);
      connect(e, &QLineEdit::textEdited, this, [this, index] { dirty_.insert(index); });
      connect(e, &QLineEdit::editingFinished, this, [this, index] {
        if (!dirty_.count(index)) return;
        Event ev;
        ev.kind = Event::Kind::kFieldLeft;
        ev.control = index;
        post(std::move(ev));
      });
      break;
    }
    case ControlKind::kMultiLineEdit:
      connect(static_cast<QPlainTextEdit*>(w), &QPlainTextEdit::textChanged, this, [this, index] {
        if (!updating_) dirty_.insert(index);
      });
      break;
    case ControlKind::kComboBox:
      connect(static_cast<QComboBox*>(w), &QComboBox::activated, this, [this, index](int item) {
        Event ev;
        ev.kind = Event::Kind::kPicked;
        ev.control = index;
        ev.edits.push_back({index, {}, false, item});
        post(std::move(ev));
      });
      break;
    case ControlKind::kCheckBox:
      connect(static_cast<QCheckBox*>(w), &QCheckBox::clicked, this, [this, index](bool on) {
        Event ev;
        ev.kind = Event::Kind::kToggled;
        ev.control = index;
        ev.edits.push_back({index, {}, on, -1});
        post(std::move(ev));
      });
      break;
    case ControlKind::kRadioButton:
      connect(static_cast<QRadioButton*>(w), &QRadioButton::clicked, this, [this, index](bool on) {
        if (!on) return;
        Event ev;
        ev.kind = Event::Kind::kChosen;
        ev.control = index;
        ev.edits.push_back({index, {}, true, -1});
        post(std::move(ev));
      });
      break;
    case ControlKind::kPushButton:
      connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, [this, index] {
        Event ev;
        ev.kind = Event::Kind::kPushButton;
        ev.control = index;
        post(std::move(ev));
      });
      break;
    case ControlKind::kBrowse: {
      auto* view = static_cast<QTableView*>(w);
      connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
              [this, index](const QModelIndex& current) {
                if (!current.isValid() || updating_) return;
                Event ev;
                ev.kind = Event::Kind::kBrowseRow;
                ev.control = index;
                ev.first = current.row();
                post(std::move(ev));
              });
      break;
    }
    default:
      break;
  }
}

bool DialogWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    for (size_t i = 0; i < widgets_.size(); ++i) {
      if (widgets_[i] != watched || !dirty_.count(static_cast<int>(i))) continue;
      Event ev;
      ev.kind = Event::Kind::kFieldLeft;
      ev.control = static_cast<int>(i);
      post(std::move(ev));
    }
  }
  return QWidget::eventFilter(watched, event);
}

void DialogWidget::applyState(size_t i, const ControlState& s, bool values) {
  QWidget* w = widgets_[i];
  const int index = static_cast<int>(i);
  updating_ = true;
  if (values) {
    switch (desc_.controls[i].kind) {
      case ControlKind::kText:
        static_cast<QLabel*>(w)->setText(qs(s.text));
        break;
      case ControlKind::kGet: {
        auto* e = static_cast<QLineEdit*>(w);
        e->setMaxLength(s.maxLength > 0 ? s.maxLength : 32767);
        e->setText(qs(s.text));
        e->setCursorPosition(0);
        dirty_.erase(index);
        break;
      }
      case ControlKind::kMultiLineEdit:
        static_cast<QPlainTextEdit*>(w)->setPlainText(qs(s.text));
        dirty_.erase(index);
        break;
      case ControlKind::kCheckBox:
        static_cast<QCheckBox*>(w)->setChecked(s.checked);
        break;
      case ControlKind::kRadioButton: {
        auto* r = static_cast<QRadioButton*>(w);
        // An exclusive group refuses to clear its chosen button; the dialog's thread sends the
        // whole choice, so exclusivity is lifted while one button is set.
        QButtonGroup* g = r->group();
        if (g) g->setExclusive(false);
        r->setChecked(s.checked);
        if (g) g->setExclusive(true);
        break;
      }
      case ControlKind::kComboBox: {
        auto* cb = static_cast<QComboBox*>(w);
        QStringList items;
        for (const std::string& item : s.items) items << qs(item);
        QStringList shown;
        for (int k = 0; k < cb->count(); ++k) shown << cb->itemText(k);
        if (items != shown) {
          cb->clear();
          cb->addItems(items);
        }
        cb->setCurrentIndex(s.index);
        break;
      }
      default:
        break;
    }
  }
  w->setEnabled(s.enabled);
  w->setVisible(!s.hidden && desc_.controls[i].kind != ControlKind::kSubMenu &&
                desc_.controls[i].kind != ControlKind::kMenuItem &&
                desc_.controls[i].kind != ControlKind::kMenuSeparator);
  updating_ = false;
}

void DialogWidget::apply(const std::vector<ControlUpdate>& updates) {
  for (const ControlUpdate& u : updates) {
    if (u.control < 0 || static_cast<size_t>(u.control) >= widgets_.size()) continue;
    ControlState& s = states_[static_cast<size_t>(u.control)];
    if (u.values) {
      s = u.state;
    } else {
      s.enabled = u.state.enabled;
      s.hidden = u.state.hidden;
    }
    applyState(static_cast<size_t>(u.control), s, u.values);
  }
}

void DialogWidget::present(QMdiArea* area, QWidget* appWindow) {
  if (area) {
    auto* sub = new ChildFrame(this);
    sub->setWidget(this);
    sub->setWindowTitle(qs(desc_.title));
    sub->setObjectName("DialogFrame");
    area->addSubWindow(sub);
    sub->adjustSize();
    sub->show();
    // A child window larger than the area is placed partly left of or above it; its title
    // bar and first column must stay in view.
    sub->move(std::max(0, sub->x()), std::max(0, sub->y()));
    area->setActiveSubWindow(sub);
    frame_ = sub;
  } else {
    auto* dialog = new ModalFrame(this, appWindow);
    dialog->setObjectName("DialogFrame");
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(this);
    dialog->setWindowTitle(qs(desc_.title));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    frame_ = dialog;
  }
  focusNextAfter(-1);
}

bool DialogWidget::takesInput(size_t i) const {
  if (!isInputKind(desc_.controls[i].kind)) return false;
  for (int k = static_cast<int>(i); k >= 0; k = desc_.controls[static_cast<size_t>(k)].parent) {
    const ControlState& s = states_[static_cast<size_t>(k)];
    if (!s.enabled || s.hidden) return false;
  }
  return true;
}

void DialogWidget::focusTarget(FocusTarget target) {
  QWidget* w = nullptr;
  if (target.control >= 0) w = controlWidget(target.control);
  if (target.button >= 0) w = rowButton(target.button);
  if (w) w->setFocus(Qt::OtherFocusReason);
}

void DialogWidget::focusNextAfter(int control) {
  // From control -1: the first control that takes input; otherwise the next one after it,
  // round to the first.
  const int n = static_cast<int>(widgets_.size());
  for (int step = 1; step <= n; ++step) {
    const int i = control < 0 ? step - 1 : (control + step) % n;
    if (takesInput(static_cast<size_t>(i))) {
      widgets_[static_cast<size_t>(i)]->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

void DialogWidget::setHotKeys(const std::vector<int>& codes) {
  hotKeys_ = std::set<int>(codes.begin(), codes.end());
}

void DialogWidget::addRows(int control, const BrowsePage& page) {
  auto it = models_.find(control);
  if (it != models_.end()) it->second->addPage(page);
}

void DialogWidget::restartBrowse(int control) {
  auto it = models_.find(control);
  if (it == models_.end()) return;
  updating_ = true;
  it->second->restart();
  updating_ = false;
}

std::vector<Edit> DialogWidget::takeEdits() {
  std::vector<Edit> edits;
  for (int i : dirty_) {
    QWidget* w = widgets_[static_cast<size_t>(i)];
    Edit e;
    e.control = i;
    if (auto* line = dynamic_cast<QLineEdit*>(w)) e.text = bytes(line->text());
    if (auto* memo = dynamic_cast<QPlainTextEdit*>(w)) e.text = bytes(memo->toPlainText());
    edits.push_back(std::move(e));
  }
  dirty_.clear();
  return edits;
}

int DialogWidget::focusedControl() const {
  const QWidget* f = QApplication::focusWidget();
  if (f == nullptr) return -1;
  for (size_t i = 0; i < widgets_.size(); ++i) {
    if (widgets_[i] == f || widgets_[i]->isAncestorOf(f)) {
      // The innermost control that holds the focus (not the group box around it).
      if (desc_.controls[i].kind == ControlKind::kGroupBox) continue;
      return static_cast<int>(i);
    }
  }
  return -1;
}

void DialogWidget::post(Event e) {
  if (ended_) return;
  if (e.focus < 0) e.focus = focusedControl();
  std::vector<Edit> edits = takeEdits();
  edits.insert(edits.end(), e.edits.begin(), e.edits.end());
  e.edits = std::move(edits);
  if (e.kind == Event::Kind::kClosed || e.kind == Event::Kind::kCancelled) ended_ = true;
  queue_->push(std::move(e));
}

void DialogWidget::userClosed() {
  Event e;
  e.kind = Event::Kind::kClosed;
  post(std::move(e));
}

void DialogWidget::cancel() {
  if (!ended_) {
    ended_ = true;
    Event e;
    e.kind = Event::Kind::kCancelled;
    queue_->push(std::move(e));
  }
  if (frame_) frame_->hide();
}

void DialogWidget::finish() {
  finishing_ = true;
  ended_ = true;
  QWidget* f = frame_;
  if (f == nullptr) {
    delete this;
    return;
  }
  f->hide();
  delete f;  // and this widget, its child
}

QPushButton* DialogWidget::defaultButton() const {
  for (size_t i = 0; i < desc_.controls.size(); ++i) {
    if (desc_.controls[i].isDefault) return static_cast<QPushButton*>(widgets_[i]);
  }
  for (size_t b = 0; b < desc_.buttons.size(); ++b) {
    if (desc_.buttons[b].isDefault) return buttons_[b];
  }
  return nullptr;
}

bool DialogWidget::wantsKey(QKeyEvent* e) const {
  const int code = keyCodeOf(e);
  return code != 0 && hotKeys_.count(code) != 0;
}

bool DialogWidget::takeKey(QKeyEvent* e) {
  if (wantsKey(e)) {
    Event ev;
    ev.kind = Event::Kind::kHotKey;
    ev.code = keyCodeOf(e);
    post(std::move(ev));
    return true;
  }
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    userClosed();
    return true;
  }
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
      (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    QWidget* f = QApplication::focusWidget();
    const int focus = focusedControl();
    if (focus >= 0) {
      const ControlKind k = desc_.controls[static_cast<size_t>(focus)].kind;
      if (k == ControlKind::kMultiLineEdit) return false;  // a new line
    }
    if (auto* b = dynamic_cast<QPushButton*>(f)) {
      b->click();
      return true;
    }
    if (QPushButton* d = defaultButton()) {
      if (d->isEnabled()) d->click();
      return true;
    }
  }
  return false;
}

QWidget* DialogWidget::controlWidget(int control) const {
  return control >= 0 && static_cast<size_t>(control) < widgets_.size()
             ? widgets_[static_cast<size_t>(control)]
             : nullptr;
}

QPushButton* DialogWidget::rowButton(int button) const {
  return button >= 0 && static_cast<size_t>(button) < buttons_.size()
             ? buttons_[static_cast<size_t>(button)]
             : nullptr;
}

}  // namespace gui::qt
