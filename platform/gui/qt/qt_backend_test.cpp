// The Qt backend with real widgets on the offscreen platform: dialogs of report threads as child
// windows of the main window's drawing area, driven with QTest, while the threads see the values.
#include "qt_backend.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <thread>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "gui/dialog_run.h"
#include "gui/hot_keys.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/thread_group.h"
#include "runtime/keys.h"
#include "runtime/variables.h"

namespace gui::qt {
namespace {

using rt::Value;

constexpr int kWait = 5000;  // ms: a wait that ends much sooner unless something is broken

ReadGuiOptions childOf(const rt::ObjectRef& area, std::string title, int buttons) {
  ReadGuiOptions o;
  o.title = std::move(title);
  o.parent = Value(area);
  o.buttons = buttons;
  return o;
}

// A rows source of n rows whose cells are "r<row>".
class Rows : public BrowseSource {
 public:
  explicit Rows(long n) : n_(n) {}
  bool goTop() override {
    pos_ = 0;
    return n_ > 0;
  }
  long skip(long k) override {
    const long to = std::clamp(pos_ + k, 0L, n_ - 1);
    const long moved = to - pos_;
    pos_ = to;
    return moved;
  }
  long pos() const { return pos_; }

 private:
  long n_;
  long pos_ = 0;
};

QPoint indicatorCentre(QAbstractButton* b, QStyle::SubElement element) {
  QStyleOptionButton opt;
  opt.initFrom(b);
  return b->style()->subElementRect(element, &opt, b).center();
}

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (QWidget* w : QApplication::topLevelWidgets()) before_.insert(w);
    previous_ = setBackend(nullptr);
    useQtBackend();
    setKeyActive(false);
    menu_.addSubMenu("oMenu", "&Test");
    menu_.addMenuItem("oMenu", "Probe", action([this] { ++menuRuns_; })).withId("Probe");
    MainWindowOptions o;
    o.title = "Vendor list";
    window_ = createMainWindow(menu_, o);
    setAppWindow(Value(rt::ObjectRef(window_)));
    window_->show();
    area_ = window_->drawingArea();
    mdi_ = drawingAreaWidget(area_);
    ASSERT_NE(mdi_, nullptr);
  }

  void TearDown() override {
    threads_.joinAll();
    setAppWindow(Value());
    window_.reset();
    setBackend(previous_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (before_.count(w) == 0) {
        ADD_FAILURE() << "top-level widget left: " << w->metaObject()->className() << " "
                      << w->objectName().toStdString();
      }
    }
  }

  QMdiSubWindow* waitForChild(const QString& title) {
    QMdiSubWindow* found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
          for (QMdiSubWindow* s : mdi_->subWindowList()) {
            if (s->windowTitle() == title) found = s;
          }
          return found != nullptr;
        },
        kWait);
    return found;
  }

  template <typename T>
  static bool ready(const std::future<T>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }
  template <typename T>
  static bool waitReady(const std::future<T>& f) {
    return QTest::qWaitFor([&] { return ready(f); }, kWait);
  }

  GetList menu_;
  std::shared_ptr<Window> window_;
  rt::ObjectRef area_;
  QMdiArea* mdi_ = nullptr;
  std::atomic<int> menuRuns_{0};
  ThreadGroup threads_;

 private:
  std::shared_ptr<Backend> previous_;
  std::set<QWidget*> before_;
};

struct Entered {
  bool confirmed = false;
  std::string name;
  std::string order;
  std::string correct;
  double mode = 0;
  bool active = false;
};

TEST_F(QtBackendTest, ADialogOfAReportThreadIsAChildWindowAndItsThreadSeesTheValues) {
  std::promise<Entered> result;
  std::future<Entered> entered = result.get_future();
  threads_.start([&] {
    rt::PrivateFrame frame;
    rt::privateDeclare("cName", Value(std::string(10, ' ')));
    rt::privateDeclare("nMode", Value(1));
    rt::privateDeclare("lActive", Value(false));
    rt::privateDeclare("cStyp", Value("Alphabetical"));
    rt::privateDeclare("CORRECT", Value("A"));
    GetList list;
    list.addComboBox({0, 15}, getAnchorCB("cStyp"),
                     Value::array({Value("Alphabetical        "), Value("Vendor Number       ")}),
                     {20, 3})
        .withId("cStyp")
        .onAction(action([] {
          rt::varSet("CORRECT", Value(rt::var("cStyp").text().front() == 'V' ? "B" : "A"));
        }));
    list.addText({1, 1}, "Name", {12, 0});
    list.addGet({1, 15}, getAnchorCB("cName")).withId("cName");
    list.addGroupBox("oModeGroup", {3, 0}, {40, 3.5}, "Mode");
    list.addRadioButton({1, 2}, getAnchorCB("nMode"), Value(1), "One")
        .inGroup("oModeGroup")
        .withId("one");
    list.addRadioButton({1, 20}, getAnchorCB("nMode"), Value(2), "Two")
        .inGroup("oModeGroup")
        .withId("two");
    list.addText({7, 1}, "Active Only", {12, 0});
    list.addCheckBox({7, 15}, getAnchorCB("lActive")).withId("activeonly");
    Entered e;
    e.confirmed = readGui(list, childOf(area_, "Vendor Master File", kButtonsOkCancel));
    e.name = rt::var("cName").text();
    e.mode = rt::var("nMode").number();
    e.active = rt::var("lActive").logical();
    e.order = rt::var("cStyp").text();
    e.correct = rt::var("CORRECT").text();
    result.set_value(e);
  });

  QMdiSubWindow* sub = waitForChild("Vendor Master File");
  ASSERT_NE(sub, nullptr);
  auto* name = sub->findChild<QLineEdit*>("cName");
  auto* one = sub->findChild<QRadioButton*>("one");
  auto* two = sub->findChild<QRadioButton*>("two");
  auto* active = sub->findChild<QCheckBox*>("activeonly");
  auto* group = sub->findChild<QGroupBox*>("oModeGroup");
  auto* order = sub->findChild<QComboBox*>("cStyp");
  ASSERT_TRUE(name && one && two && active && group && order);
  EXPECT_EQ(order->currentIndex(), 0);
  EXPECT_EQ(order->count(), 2);
  EXPECT_TRUE(one->isChecked());
  EXPECT_FALSE(active->isChecked());
  EXPECT_EQ(name->maxLength(), 10);
  // Controls of a group are inside it, placed relative to it.
  EXPECT_EQ(two->parentWidget(), group);
  EXPECT_GT(two->x(), one->x());
  EXPECT_GT(group->y(), name->y());

  order->setFocus();
  QTest::keyClick(order, Qt::Key_Down);  // picks the next entry, as a click in the list does
  name->setFocus();
  QTest::keyClicks(name, "abc");
  QTest::mouseClick(two, Qt::LeftButton, {}, indicatorCentre(two, QStyle::SE_RadioButtonIndicator));
  active->setFocus();
  QTest::keyClick(active, Qt::Key_Space);
  EXPECT_TRUE(two->isChecked());
  EXPECT_FALSE(one->isChecked());
  QTest::mouseClick(sub->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);

  ASSERT_TRUE(waitReady(entered));
  const Entered e = entered.get();
  EXPECT_TRUE(e.confirmed);
  EXPECT_EQ(e.name, "abc       ");
  EXPECT_EQ(e.mode, 2);
  EXPECT_TRUE(e.active);
  EXPECT_EQ(e.order, "Vendor Number       ");
  EXPECT_EQ(e.correct, "B");
  EXPECT_TRUE(QTest::qWaitFor([&] { return mdi_->subWindowList().isEmpty(); }, kWait));
}

TEST_F(QtBackendTest, ControlsArePlacedOnTheGridOfTextCellsInTheirFonts) {
  std::promise<bool> done;
  std::future<bool> closed = done.get_future();
  threads_.start([&] {
    rt::PrivateFrame frame;
    rt::privateDeclare("cFile", Value(std::string(45, ' ')));
    GetList list;
    list.addText({0, 0}, "Select Output Mode", {65, 0}).withFont("11.Arial Bold").withId("title");
    list.addText({1, 1}, "Output File").withId("label");
    list.addGet(Position::after(), getAnchorCB("cFile")).withId("cFile");
    list.addText({2.5, 1}, "half a row lower").withId("half");
    done.set_value(readGui(list, childOf(area_, "Grid", kButtonsOkCancel)));
  });
  QMdiSubWindow* sub = waitForChild("Grid");
  ASSERT_NE(sub, nullptr);
  auto* title = sub->findChild<QLabel*>("title");
  auto* label = sub->findChild<QLabel*>("label");
  auto* field = sub->findChild<QLineEdit*>("cFile");
  auto* half = sub->findChild<QLabel*>("half");
  ASSERT_TRUE(title && label && field && half);
  // "Arial Bold" is the face Arial with the bold weight, not a face named "Arial Bold".
  EXPECT_TRUE(title->font().bold());
  EXPECT_EQ(title->font().pointSizeF(), 11);
  EXPECT_TRUE(QFontInfo(title->font()).bold());
  EXPECT_EQ(QFontInfo(title->font()).family(), QFontInfo(QFont("Arial")).family());
  // The field follows the label on its row; a row and a half is half a row below row 1.
  EXPECT_GT(field->x(), label->x() + label->width());
  EXPECT_NEAR(field->geometry().center().y(), label->geometry().center().y(), 2);
  const int rowHeight = label->y() - title->y();
  EXPECT_NEAR(half->y() - label->y(), 1.5 * rowHeight, 2);
  EXPECT_GE(title->width(), 65 * QFontMetricsF(sub->widget()->font()).averageCharWidth());
  QTest::mouseClick(sub->findChild<QPushButton*>("DCGUI_BUTTON_CANCEL"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(closed));
  EXPECT_FALSE(closed.get());
}

TEST_F(QtBackendTest, EnabledAndHiddenStatesFollowTheChoicesAndARefresh) {
  std::promise<bool> done;
  std::future<bool> closed = done.get_future();
  threads_.start([&] {
    rt::PrivateFrame frame;
    rt::privateDeclare("nMode", Value(1));
    rt::privateDeclare("cFile", Value(std::string(20, ' ')));
    GetList list;
    auto toFile = condition([] { return rt::var("nMode").number() == 5; });
    list.addRadioButton({1, 2}, getAnchorCB("nMode"), Value(1), "Normal Preview").withId("m1");
    list.addRadioButton({1, 25}, getAnchorCB("nMode"), Value(5), "Send to File").withId("m5");
    list.addGet({2, 2}, getAnchorCB("cFile")).withId("cFile").enableWhen(toFile);
    list.addText({3, 2}, "Name the file").withId("hint").hideWhen(condition([] {
      return rt::var("nMode").number() != 5;
    }));
    list.addPushButton({4, 2}, {9, 1.2}, "Fill", action([&list] {
                         rt::varSet("cFile", Value("FILLED.TXT"));
                         getRefresh(list);
                       }))
        .withId("fill");
    done.set_value(readGui(list, childOf(area_, "Printer Options", kButtonsOkCancel)));
  });
  QMdiSubWindow* sub = waitForChild("Printer Options");
  ASSERT_NE(sub, nullptr);
  auto* field = sub->findChild<QLineEdit*>("cFile");
  auto* hint = sub->findChild<QLabel*>("hint");
  auto* toFile = sub->findChild<QRadioButton*>("m5");
  ASSERT_TRUE(field && hint && toFile);
  EXPECT_FALSE(field->isEnabled());
  EXPECT_TRUE(hint->isHidden());

  QTest::mouseClick(toFile, Qt::LeftButton, {},
                    indicatorCentre(toFile, QStyle::SE_RadioButtonIndicator));
  EXPECT_TRUE(QTest::qWaitFor([&] { return field->isEnabled() && !hint->isHidden(); }, kWait));

  QTest::mouseClick(sub->findChild<QPushButton*>("fill"), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return field->text() == "FILLED.TXT"; }, kWait));

  sub->close();  // the close box: cancelled
  ASSERT_TRUE(waitReady(closed));
  EXPECT_FALSE(closed.get());
}

TEST_F(QtBackendTest, TheMainWindowKeepsAnsweringWhileADialogIsOpen) {
  std::promise<bool> done;
  std::future<bool> closed = done.get_future();
  threads_.start([&] {
    GetList list;
    list.addText({1, 1}, "Working");
    done.set_value(readGui(list, childOf(area_, "Busy", kButtonsCancel)));
  });
  QMdiSubWindow* sub = waitForChild("Busy");
  ASSERT_NE(sub, nullptr);
  auto* probe = mainWindowWidget(*window_)->findChild<QAction*>("Probe");
  ASSERT_NE(probe, nullptr);
  probe->trigger();
  probe->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return menuRuns_ == 2; }, kWait));
  EXPECT_FALSE(ready(closed));
  QTest::mouseClick(sub->findChild<QPushButton*>("DCGUI_BUTTON_CANCEL"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(closed));
}

TEST_F(QtBackendTest, ClosingTheMainWindowCancelsOpenDialogsAndMessagesWithoutDeadlock) {
  std::atomic<int> cancelled{0};
  threads_.start([&] {
    GetList list;
    list.addText({1, 1}, "Still open");
    if (!readGui(list, childOf(area_, "Report", kButtonsOkCancel))) ++cancelled;
    // The report goes on after the cancel: everything later is answered at once.
    if (!readGui(list, childOf(area_, "Report", kButtonsOkCancel))) ++cancelled;
    if (guiAlert("Unable to lock record", {"Retry", "Quit"}) == 2) ++cancelled;
  });
  threads_.start([&] {
    if (guiAlert("Waiting for an answer", {"Retry", "Quit"}) == 2) ++cancelled;
  });
  ASSERT_NE(waitForChild("Report"), nullptr);
  EXPECT_TRUE(QTest::qWaitFor(
      [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (w->objectName() == "Message" && w->isVisible()) return true;
        }
        return false;
      },
      kWait));
  window_->postClose();
  EXPECT_TRUE(QTest::qWaitFor([&] { return threads_.running() == 0; }, kWait));
  threads_.joinAll();
  EXPECT_EQ(cancelled, 4);
  EXPECT_TRUE(backend()->closing());
}

TEST_F(QtBackendTest, TwoDialogsOfTwoThreadsAtOnceEachWithItsOwnPrivates) {
  std::promise<std::string> first;
  std::promise<std::string> second;
  std::future<std::string> firstName = first.get_future();
  std::future<std::string> secondName = second.get_future();
  auto report = [this](const char* title, const char* start, std::promise<std::string>* out) {
    return [this, title, start, out] {
      rt::PrivateFrame frame;
      rt::privateDeclare("cName", Value(start));
      GetList list;
      list.addGet({1, 1}, getAnchorCB("cName")).withId("cName");
      readGui(list, childOf(area_, title, kButtonsOk));
      out->set_value(rt::var("cName").text());
    };
  };
  threads_.start(report("One", "one     ", &first));
  threads_.start(report("Two", "two     ", &second));
  QMdiSubWindow* one = waitForChild("One");
  QMdiSubWindow* two = waitForChild("Two");
  ASSERT_TRUE(one && two);
  auto* oneField = one->findChild<QLineEdit*>("cName");
  auto* twoField = two->findChild<QLineEdit*>("cName");
  EXPECT_EQ(oneField->text(), "one");
  EXPECT_EQ(twoField->text(), "two");
  oneField->selectAll();
  QTest::keyClicks(oneField, "first");
  twoField->selectAll();
  QTest::keyClicks(twoField, "second");
  QTest::mouseClick(two->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(secondName));
  EXPECT_FALSE(ready(firstName));
  QTest::mouseClick(one->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(firstName));
  EXPECT_EQ(firstName.get(), "first   ");
  EXPECT_EQ(secondName.get(), "second  ");
}

TEST_F(QtBackendTest, AnAlertOfAReportThreadWaitsForItsAnswer) {
  std::promise<int> answer;
  std::future<int> pressed = answer.get_future();
  threads_.start([&] {
    answer.set_value(guiAlert("Unable to lock record # 12 of APMSTRFL;Procedure: KOVRCLCK",
                              {"Retry", "Quit"}, Value(14), "Error Warning",
                              {"9.Arial Bold", "9.Arial Bold"}));
  });
  QWidget* box = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (w->objectName() == "Message" && w->isVisible()) box = w;
        }
        return box != nullptr;
      },
      kWait));
  EXPECT_EQ(box->windowTitle(), "Error Warning");
  EXPECT_EQ(box->findChild<QLabel*>("Text")->text(),
            "Unable to lock record # 12 of APMSTRFL\nProcedure: KOVRCLCK");
  EXPECT_TRUE(box->findChild<QLabel*>("Text")->font().bold());
  EXPECT_FALSE(ready(pressed));
  QTest::mouseClick(box->findChild<QPushButton*>("button2"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(pressed));
  EXPECT_EQ(pressed.get(), 2);
}

TEST_F(QtBackendTest, MessagesAndDialogsOfTheGuiThreadRunDirectly) {
  // Start-up's alerts and the main window's menu run on the GUI thread: the box runs there, and
  // a dialog's run loop keeps the GUI going while it waits.
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "Message" && w->isVisible()) {
        QTest::mouseClick(w->findChild<QPushButton*>("button1"), Qt::LeftButton);
      }
    }
  });
  EXPECT_EQ(alert("Database-Engine CDXDBE not loaded", {"OK"}), 1);

  rt::PrivateFrame frame;
  rt::privateDeclare("cName", Value("     "));
  GetList list;
  list.addGet({1, 1}, getAnchorCB("cName")).withId("cName");
  std::function<void()> drive = [&drive] {
    QWidget* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "DialogFrame" && w->isVisible()) box = w;
    }
    if (box == nullptr) {
      QTimer::singleShot(10, drive);
      return;
    }
    QTest::keyClicks(box->findChild<QLineEdit*>("cName"), "main");
    QTest::mouseClick(box->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);
  };
  QTimer::singleShot(0, drive);
  ReadGuiOptions o;
  o.title = "Modal";
  o.buttons = kButtonsOkCancel;
  EXPECT_TRUE(readGui(list, o));
  EXPECT_EQ(rt::var("cName").text(), "main ");
}

TEST_F(QtBackendTest, AReadExitKeyEndsTheEntryOnTheDialogsThread) {
  setKeyActive(true);
  struct Seen {
    std::string first;
    double lastKey = 0;
    bool privateKey = false;
  };
  std::promise<Seen> result;
  std::future<Seen> seen = result.get_future();
  threads_.start([&] {
    rt::bindReadExitKeys();
    rt::PrivateFrame frame;
    rt::privateDeclare("cFirst", Value("     "));
    rt::privateDeclare("cSecond", Value("     "));
    GetList list;
    list.addGet({1, 1}, getAnchorCB("cFirst")).withId("cFirst");
    list.addGet({2, 1}, getAnchorCB("cSecond")).withId("cSecond");
    readGui(list, childOf(area_, "Keys", kButtonsOkCancel));
    result.set_value(
        {rt::var("cFirst").text(), rt::var("nLastKey").number(), rt::privateExists("nLastKey")});
  });
  QMdiSubWindow* sub = waitForChild("Keys");
  ASSERT_NE(sub, nullptr);
  auto* first = sub->findChild<QLineEdit*>("cFirst");
  auto* second = sub->findChild<QLineEdit*>("cSecond");
  first->setFocus();
  QTest::keyClicks(first, "abc");
  QTest::keyClick(first, Qt::Key_F10);
  EXPECT_TRUE(QTest::qWaitFor([&] { return second->hasFocus(); }, kWait));
  // A cancel drops what is still being typed: the value can only have come from the key.
  QTest::mouseClick(sub->findChild<QPushButton*>("DCGUI_BUTTON_CANCEL"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(seen));
  const Seen s = seen.get();
  EXPECT_EQ(s.first, "abc  ");
  EXPECT_EQ(s.lastKey, rt::kKeyF10);
  EXPECT_TRUE(s.privateKey);
}

TEST_F(QtBackendTest, ABrowseFetchesRowsAsTheUserScrolls) {
  std::promise<long> selected;
  std::future<long> row = selected.get_future();
  threads_.start([&] {
    auto rows = std::make_shared<Rows>(500);
    long chosen = -1;
    GetList list;
    list.addBrowse({1, 0}, {40, 8}, rows,
                   {{"Row", 9, Value::callable([rows](rt::Args&) {
                       return Value("r" + std::to_string(rows->pos()));
                     }),
                     Value::callable([rows](rt::Args&) {
                       return Value("whole;" + std::to_string(rows->pos()));
                     })}})
        .withId("oBrowse")
        .onAction(action([&chosen, rows] { chosen = rows->pos(); }));
    readGui(list, childOf(area_, "Log History", kButtonsOk));
    selected.set_value(chosen);
  });
  QMdiSubWindow* sub = waitForChild("Log History");
  ASSERT_NE(sub, nullptr);
  auto* view = sub->findChild<QTableView*>("oBrowse");
  ASSERT_NE(view, nullptr);
  QAbstractItemModel* model = view->model();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount() >= 50; }, kWait));
  EXPECT_EQ(model->rowCount(), 50);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Row");
  EXPECT_EQ(model->index(49, 0).data().toString(), "r49");
  EXPECT_EQ(model->index(7, 0).data(Qt::ToolTipRole).toString(), "whole\n7");
  view->scrollToBottom();
  EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount() >= 100; }, kWait));
  EXPECT_EQ(model->index(99, 0).data().toString(), "r99");
  view->setCurrentIndex(model->index(60, 0));
  QTest::mouseClick(sub->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);
  ASSERT_TRUE(waitReady(row));
  EXPECT_EQ(row.get(), 60);
}

TEST_F(QtBackendTest, AModalBoxWithCustomButtonsStartsWithTheFocusAsked) {
  std::promise<bool> done;
  std::future<bool> yes = done.get_future();
  threads_.start([&] {
    GetList list;
    list.addText({1, 1}, "Delete the vendor?", {40, 1.2}).withFont("11.Arial Bold");
    list.addStaticLine({2, 1}, {40, 0.1});
    ReadGuiOptions o;
    o.title = "Question";
    o.customButtons = {{"~Yes", action([] { readGuiEvent(kEventConfirm); }), 70, 22, {}},
                       {"~No", action([] { readGuiEvent(kEventCancel); }), 70, 22, {}}};
    o.focus = "DCGUI_BUTTON_CUSTOM_2";
    done.set_value(readGui(list, o));
  });
  QWidget* box = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (w->objectName() == "DialogFrame" && w->isVisible()) box = w;
        }
        return box != nullptr;
      },
      kWait));
  EXPECT_TRUE(box->isModal());
  auto* no = box->findChild<QPushButton*>("DCGUI_BUTTON_CUSTOM_2");
  ASSERT_NE(no, nullptr);
  EXPECT_EQ(no->text(), "&No");
  EXPECT_EQ(no->size(), QSize(70, 22));
  EXPECT_TRUE(QTest::qWaitFor([&] { return no->hasFocus(); }, kWait));
  QTest::keyClick(no, Qt::Key_Return);
  ASSERT_TRUE(waitReady(yes));
  EXPECT_FALSE(yes.get());
}

}  // namespace
}  // namespace gui::qt
