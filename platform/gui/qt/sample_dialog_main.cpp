// gui_sample: a main window with a sample dialog in its drawing area, for looking at the Qt
// backend on a real screen (for example under Xvfb, with a screenshot). Not a test.
//
//   gui_sample [--quit-after MILLISECONDS] [--alert]
//
// --alert shows the error alert of a report thread over the dialog.
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QTimer>

#include "gui/dialog_run.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/thread_group.h"
#include "qt_backend.h"
#include "runtime/variables.h"

namespace {

// The output chooser's first groups, as a report thread would show it.
void sampleReport(const rt::Value& area) {
  rt::PrivateFrame frame;
  rt::privateDeclare("nMode", rt::Value(5));
  rt::privateDeclare("lText", rt::Value(true));
  rt::privateDeclare("cFile", rt::Value("VENDORS.TXT" + std::string(34, ' ')));
  rt::privateDeclare("cEmail", rt::Value(std::string(100, ' ')));
  auto modeIs = [](double a, double b) {
    return gui::condition([a, b] {
      const double m = rt::var("nMode").number();
      return m == a || m == b;
    });
  };
  gui::GetList list;
  list.addText({0, 0}, "Select Output Mode", {65, 0}).withFont("11.Arial Bold");
  list.addStaticLine({1, 0}, {65, 0.1});
  list.addGroupBox("oPrintModeGroup", {2, 0}, {65, 4.5}, "Print Mode");
  const char* modes[] = {"Normal Preview",  "Preview w/Acrobat", "Selected Printer",
                         "Default Printer", "Send to File",      "Send by Email"};
  const double places[][2] = {{1, 2}, {2, 2}, {1, 25}, {2, 25}, {1, 47}, {2, 47}};
  for (int m = 0; m < 6; ++m) {
    list.addRadioButton({places[m][0], places[m][1]}, gui::getAnchorCB("nMode"), rt::Value(m + 1),
                        modes[m])
        .inGroup("oPrintModeGroup")
        .withToolTip("Output mode;" + std::string(modes[m]));
  }
  list.at(list.size() - 1).enableWhen(rt::Value(false));
  list.addGroupBox("oFileFormatGroup", {7, 0}, {65, 4}, "File Format");
  list.addRadioButton({1, 2}, gui::getAnchorCB("lText"), rt::Value(true), "Text (.TXT)")
      .inGroup("oFileFormatGroup")
      .enableWhen(modeIs(5, 6));
  list.addRadioButton({1, 22}, gui::getAnchorCB("lText"), rt::Value(false), "Acrobat (.PDF)")
      .inGroup("oFileFormatGroup")
      .enableWhen(modeIs(5, 6));
  list.addText({2.5, 2}, "Output File").inGroup("oFileFormatGroup");
  list.addGet(gui::Position::after(), gui::getAnchorCB("cFile"), 45)
      .inGroup("oFileFormatGroup")
      .enableWhen(modeIs(5, 8));
  list.addGroupBox("oPrintEmailGroup", {12, 0}, {65, 4}, "Email");
  list.addText({1, 2}, "Email Address:").inGroup("oPrintEmailGroup");
  list.addGet({2, 2}, gui::getAnchorCB("cEmail"))
      .withPicture("@S50")
      .inGroup("oPrintEmailGroup")
      .enableWhen(modeIs(6, 6));
  list.addPushButton({17, 1}, {15, 1.2}, "Print and Exit", rt::Value())
      .withToolTip("Print this job using selected parameters and exit");
  gui::ReadGuiOptions o;
  o.title = "Printer Options";
  o.parent = area;
  o.buttons = gui::kButtonsOkCancel;
  gui::readGui(list, o);
}

void sampleAlert() {
  gui::guiAlertColor(rt::Value::array({rt::Value(7), rt::Value(3)}));
  gui::guiAlert("Unable to lock record # 12 of APMSTRFL;Procedure: KOVRCLCK;Called from: Upemail",
                {"Retry", "Quit"}, rt::Value(14), "Error Warning",
                {"9.Arial Bold", "9.Arial Bold"});
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  gui::qt::useQtBackend();
  int quitAfter = 0;
  bool withAlert = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quit-after") == 0 && i + 1 < argc) {
      quitAfter = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
    }
    if (std::strcmp(argv[i], "--alert") == 0) withAlert = true;
  }
  gui::ThreadGroup reports;
  rt::Value mainWindow;
  gui::GetList menu;
  menu.addSubMenu("oMenu", "&Test");
  menu.addMenuItem(
      "oMenu", "Test Program", gui::action([&] {
        const rt::Value area(dynamic_cast<gui::Window&>(*mainWindow.object()).drawingArea());
        reports.start([area] { sampleReport(area); });
      }));
  menu.addMenuItem("oMenu", "Exit", gui::action([&] {
                     dynamic_cast<gui::Window&>(*mainWindow.object()).postClose();
                   }));
  gui::MainWindowOptions options;
  options.onCreate = rt::Value::callable([&](rt::Args& a) {
    mainWindow = a.at(0);
    gui::setAppWindow(mainWindow);
    auto& w = dynamic_cast<gui::Window&>(*mainWindow.object());
    w.setFrameState(gui::Window::FrameState::kMaximized);
    w.show();
    // Open the sample at once, as "Test Program" would.
    const rt::Value area(w.drawingArea());
    reports.start([area] { sampleReport(area); });
    if (withAlert) reports.start(sampleAlert);
    return rt::Value();
  });
  if (quitAfter > 0) {
    QTimer::singleShot(quitAfter,
                       [&] { dynamic_cast<gui::Window&>(*mainWindow.object()).postClose(); });
  }
  gui::runMainWindow(menu, options);
  reports.joinAll();
  gui::setAppWindow(rt::Value());
  return 0;
}
