#include "qt_backend.h"

#include <chrono>
#include <future>
#include <thread>

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include "backend_impl.h"
#include "dialog_widget.h"
#include "gui/hot_keys.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "main_frame.h"
#include "message_dialog.h"
#include "qt_convert.h"
#include "runtime/error.h"
#include "runtime/keys.h"

namespace gui::qt {

namespace {

template <typename T>
void prune(std::vector<QPointer<T>>& v) {
  std::erase_if(v, [](const QPointer<T>& p) { return p.isNull(); });
}

}  // namespace

// Keys pressed anywhere in the program: a key of a dialog goes to that dialog (which forwards
// the keys its thread has bound); a key of the main window whose binding the main thread holds
// runs there.
class KeyFilter : public QObject {
 public:
  explicit KeyFilter(QObject* parent) : QObject(parent) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    auto* w = dynamic_cast<QWidget*>(watched);
    if (w == nullptr || w->window()->windowType() == Qt::Popup) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    for (QWidget* p = w; p != nullptr; p = p->parentWidget()) {
      if (auto* d = dynamic_cast<DialogWidget*>(p)) {
        if (type == QEvent::ShortcutOverride) {
          if (!d->wantsKey(key)) return false;
          key->accept();
          return true;
        }
        return d->takeKey(key);
      }
      if (dynamic_cast<MainFrame*>(p) != nullptr) return mainWindowKey(key, type);
    }
    return false;
  }

 private:
  // The main window belongs to the GUI thread, so its bindings are this thread's own.
  static bool mainWindowKey(QKeyEvent* key, QEvent::Type type) {
    const int code = keyCodeOf(key);
    if (code == 0 || !keyActive() || !rt::keyBinding(code).isCallable()) return false;
    key->accept();
    if (type == QEvent::KeyPress) {
      QMetaObject::invokeMethod(
          qApp,
          [code] {
            try {
              rt::dispatchKey(code);
            } catch (const rt::Break&) {
            } catch (const rt::ErrorException&) {
            }
          },
          Qt::QueuedConnection);
    }
    return true;
  }
};

// ---- the dialog as its thread sees it ----

struct DialogHandle {
  QPointer<DialogWidget> widget;  // GUI thread only
};

class QtDialogView : public DialogView {
 public:
  QtDialogView(QtBackend& backend, std::shared_ptr<DialogHandle> handle,
               std::shared_ptr<EventQueue> queue)
      : backend_(backend),
        handle_(std::move(handle)),
        queue_(std::move(queue)),
        onGui_(backend.onGuiThread()) {}
  ~QtDialogView() override { close(); }

  Event nextEvent() override {
    if (!onGui_) return queue_->waitPop();
    // The dialog runs on the GUI thread itself: keep the GUI running until an event is there.
    for (;;) {
      if (std::optional<Event> e = queue_->tryPop()) return std::move(*e);
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
  }
  void update(const std::vector<ControlUpdate>& updates) override {
    onWidget([updates](DialogWidget& w) { w.apply(updates); });
  }
  void setFocus(FocusTarget target) override {
    onWidget([target](DialogWidget& w) { w.focusTarget(target); });
  }
  void focusNext(int control) override {
    onWidget([control](DialogWidget& w) { w.focusNextAfter(control); });
  }
  void setHotKeys(const std::vector<int>& codes) override {
    onWidget([codes](DialogWidget& w) { w.setHotKeys(codes); });
  }
  void browseRows(int control, const BrowsePage& page) override {
    onWidget([control, page](DialogWidget& w) { w.addRows(control, page); });
  }
  void browseReset(int control) override {
    onWidget([control](DialogWidget& w) { w.restartBrowse(control); });
  }
  std::vector<Edit> collectEdits() override {
    if (onGui_) return handle_->widget ? handle_->widget->takeEdits() : std::vector<Edit>{};
    auto promise = std::make_shared<std::promise<std::vector<Edit>>>();
    std::future<std::vector<Edit>> answer = promise->get_future();
    backend_.post([h = handle_, promise] {
      promise->set_value(h->widget ? h->widget->takeEdits() : std::vector<Edit>{});
    });
    return answer.get();
  }
  void close() override {
    if (closed_) return;
    closed_ = true;
    onWidget([](DialogWidget& w) { w.finish(); });
  }

 private:
  void onWidget(std::function<void(DialogWidget&)> fn) {
    backend_.runOnGui([h = handle_, fn = std::move(fn)] {
      if (h->widget) fn(*h->widget);
    });
  }

  QtBackend& backend_;
  std::shared_ptr<DialogHandle> handle_;
  std::shared_ptr<EventQueue> queue_;
  bool onGui_;
  bool closed_ = false;
};

// ---- wait windows ----

// The handle may outlive the backend (a procedure keeps it in a variable): closing goes to the
// application object's thread, not through the backend.
class QtWait : public WaitWindow {
 public:
  explicit QtWait(std::shared_ptr<QPointer<WaitDialog>> handle) : handle_(std::move(handle)) {}
  void close() override {
    if (closed_.exchange(true)) return;
    auto drop = [h = handle_] { delete h->data(); };
    if (QThread::currentThread() == qApp->thread()) {
      drop();
    } else {
      QMetaObject::invokeMethod(qApp, drop, Qt::QueuedConnection);
    }
  }

 private:
  std::shared_ptr<QPointer<WaitDialog>> handle_;
  std::atomic<bool> closed_{false};
};

// ---- the backend ----

QtBackend::QtBackend()
    : guiThread_(QThread::currentThread()),
      bridge_(new QObject),
      keyFilter_(new KeyFilter(bridge_)) {
  qApp->installEventFilter(keyFilter_);
}

QtBackend::~QtBackend() {
  // Windows still open would report to a backend that is gone.
  for (auto& d : dialogs_) {
    if (d) d->cancel();
  }
  for (auto& m : messages_) {
    if (m) m->done(kAnswerCancelled);
  }
  for (auto& w : waits_) delete w.data();
  if (qApp) qApp->removeEventFilter(keyFilter_);
  delete bridge_;  // drops every call still queued to it
}

bool QtBackend::onGuiThread() const { return QThread::currentThread() == guiThread_; }

void QtBackend::post(std::function<void()> fn) {
  QMetaObject::invokeMethod(bridge_, std::move(fn), Qt::QueuedConnection);
}

void QtBackend::runOnGui(std::function<void()> fn) {
  if (onGuiThread()) {
    fn();
  } else {
    post(std::move(fn));
  }
}

void QtBackend::wake() {
  QMetaObject::invokeMethod(
      bridge_, [] {}, Qt::QueuedConnection);
}

void QtBackend::addDialog(DialogWidget* d) {
  prune(dialogs_);
  dialogs_.emplace_back(d);
}

QWidget* QtBackend::appWidget() const {
  const rt::Value app = appWindow();
  if (!app.isObject()) return nullptr;
  auto* w = dynamic_cast<QtWindow*>(app.object().get());
  return w ? w->frame() : nullptr;
}

std::unique_ptr<DialogView> QtBackend::openDialog(const DialogDesc& desc,
                                                  const std::vector<ControlState>& states,
                                                  std::shared_ptr<EventQueue> queue) {
  auto handle = std::make_shared<DialogHandle>();
  runOnGui([this, handle, desc, states, queue] {
    if (closing_) {
      Event e;
      e.kind = Event::Kind::kCancelled;
      queue->push(std::move(e));
      return;
    }
    QMdiArea* area = drawingAreaWidget(desc.parent);
    auto* w = new DialogWidget(desc, states, queue);
    handle->widget = w;
    addDialog(w);
    w->present(area, area ? nullptr : appWidget());
  });
  return std::make_unique<QtDialogView>(*this, handle, std::move(queue));
}

int QtBackend::showMessage(const MessageSpec& spec) {
  if (closing_) return kAnswerCancelled;
  if (onGuiThread()) {
    // On the heap and guarded: the box goes with its parent should that close meanwhile.
    QPointer<MessageDialog> box = new MessageDialog(spec, appWidget());
    prune(messages_);
    messages_.emplace_back(box.data());
    const int answer = box->exec();
    delete box.data();
    return box.isNull() && answer == 0 ? 0 : answer;
  }
  // From another thread: the box opens without a nested event loop and the answer comes back
  // through a promise; the program's closing answers it too (cancelAll).
  struct Answer {
    std::promise<int> promise;
    bool given = false;
    void give(int r) {
      if (given) return;
      given = true;
      promise.set_value(r);
    }
  };
  auto answer = std::make_shared<Answer>();
  std::future<int> result = answer->promise.get_future();
  post([this, spec, answer] {
    if (closing_) {
      answer->give(kAnswerCancelled);
      return;
    }
    auto* box = new MessageDialog(spec, appWidget());
    QObject::connect(box, &QDialog::finished, box, [box, answer](int r) {
      answer->give(r);
      box->deleteLater();
    });
    // A box destroyed unanswered (its parent went) still answers.
    QObject::connect(box, &QObject::destroyed, bridge_,
                     [answer] { answer->give(kAnswerCancelled); });
    prune(messages_);
    messages_.emplace_back(box);
    box->open();
  });
  return result.get();
}

std::shared_ptr<WaitWindow> QtBackend::openWait(const std::string& text) {
  auto handle = std::make_shared<QPointer<WaitDialog>>();
  runOnGui([this, handle, text] {
    if (closing_) return;
    auto* w = new WaitDialog(qs(text), appWidget());
    *handle = w;
    prune(waits_);
    waits_.emplace_back(w);
    w->show();
  });
  return std::make_shared<QtWait>(handle);
}

std::shared_ptr<Window> QtBackend::createMainWindow(const MainWindowDesc& desc,
                                                    std::function<void(int)> onMenu) {
  auto* frame = new MainFrame(desc, std::move(onMenu));
  return std::make_shared<QtWindow>(frame);
}

void QtBackend::runUntilClosed(Window& window) {
  auto* w = dynamic_cast<QtWindow*>(&window);
  MainFrame* frame = w ? w->frame() : nullptr;
  if (frame == nullptr || frame->hasClosed()) return;
  QEventLoop loop;
  frame->setOnClosed([&loop] { loop.quit(); });
  QObject::connect(frame, &QObject::destroyed, &loop, &QEventLoop::quit);
  loop.exec();
  if (w->frame()) w->frame()->setOnClosed({});
}

void QtBackend::pumpUntil(const std::function<bool()>& done) {
  if (!onGuiThread()) {
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return;
  }
  // Threads that end call wake(); the timer is there for a condition nobody wakes.
  QTimer tick;
  tick.start(20);
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtBackend::cancelAll() {
  closing_ = true;
  runOnGui([this] {
    for (auto& d : dialogs_) {
      if (d) d->cancel();
    }
    for (auto& m : messages_) {
      if (m) m->done(kAnswerCancelled);
    }
    for (auto& w : waits_) {
      if (w) w->hide();
    }
  });
}

void useQtBackend() {
  setBackend(std::make_shared<QtBackend>());
  registerRoutines();
}

QMainWindow* mainWindowWidget(const Window& window) {
  const auto* w = dynamic_cast<const QtWindow*>(&window);
  return w ? w->frame() : nullptr;
}

QMdiArea* drawingAreaWidget(const rt::ObjectRef& area) {
  const auto* a = dynamic_cast<const QtDrawingArea*>(area.get());
  return a ? a->widget() : nullptr;
}

}  // namespace gui::qt
