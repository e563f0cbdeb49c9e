#include "app_shell.h"

#include <array>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

#include "dbe/area/work_area.h"
#include "files/file_system.h"
#include "gui/backend.h"
#include "gui/control.h"
#include "gui/hot_keys.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "runtime/dates.h"
#include "runtime/error.h"
#include "runtime/keys.h"
#include "runtime/routines.h"
#include "runtime/variables.h"
#include "tables/open_table.h"
#include "tables/screen_print.h"
#include "tables/tag_order.h"

namespace shell {

namespace {

using rt::Value;

constexpr std::array<std::string_view, 35> kSessionVariables = {
    "oMainDialog", "ccemail",    "lbookonly",  "qqdrvacct", "bcemail",    "alkweb",
    "qcomp",       "abuttons",   "kovuser",    "qcompname", "subdef",     "iemail",
    "prg204",      "glmenuok",   "USERDIV",    "newpath",   "qdisp",      "qqbitmap",
    "multicmpy",   "vdrive",     "opmenuspec", "termconnect", "payrlok2", "cconfig",
    "kovpath",     "billspec",   "edimenuok",  "blmenuok",  "xgrossx",    "lprebook",
    "broksafeok",  "sfmenuok",   "CONFIGOK",   "oAppWindow", "qprcode",
};

// How long closing every thread's tables waits for the report threads before the program ends
// anyway: a report in the middle of a long print job does not look at its dialogs.
constexpr auto kReportEndWait = std::chrono::seconds(10);

// A report thread's own mark, so that closing every thread's tables does not wait for itself.
thread_local bool tReportThread = false;

std::mutex& optionMutex() {
  static std::mutex m;
  return m;
}
std::map<int, Value>& options() {
  static std::map<int, Value> o;
  return o;
}
void setRuntimeOption(int number, const Value& v) {
  std::lock_guard lock(optionMutex());
  options()[number] = v;
}

void set(std::string_view name, const Value& v) { rt::varSet(name, v); }

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A path setting that start-up cannot make is an error of the installation.
void checkPath(const files::Status& s, std::string_view operation) {
  if (!s.isOk()) tables::raiseFileError(s.error(), operation);
}

// The value of a field of the selected area's current record; a missing field is the runtime's
// error, as a missing variable would be.
Value field(std::string_view name) {
  dbe::WorkArea* a = dbe::workspace::area();
  const int pos = a != nullptr ? a->fieldPos(std::string(name)) : 0;
  if (pos == 0) {
    rt::Error e;
    e.genCode = rt::kErrNoVar;
    e.subsystem = "BASE";
    e.operation = std::string(name);
    e.filename = a != nullptr ? files::FileSystem::process().displayPath(a->path()) : "";
    e.description = "Field does not exist: " + upper(std::string(name));
    rt::raiseError(e);
  }
  auto v = a->fieldGet(pos);
  if (!v.isOk()) tables::raiseTableError(v.status(), "fieldGet");
  return v.value();
}

Value screenPrintKey() {
  return Value::callable([](rt::Args&) {
    rt::call("SCRNPRNT");
    return Value();
  });
}

std::shared_ptr<gui::Window> windowOf(const Value& v) {
  if (!v.isObject()) return nullptr;
  return std::dynamic_pointer_cast<gui::Window>(v.object());
}

// The engine components of steps 11 to 13: each failure is reported and start-up goes on; the
// opening of the control table then fails.
void buildTableEngine() {
  if (!dbe::dbeLoad("CDXDBE", /*hidden=*/true)) {
    gui::alert("Database-Engine CDXDBE not loaded", {"OK"});
  }
  if (!dbe::dbeLoad("FOXDBE", /*hidden=*/true)) {
    gui::alert("Database-Engine FOXDBE not loaded", {"OK"});
  }
  if (!dbe::dbeBuild("FOXCDX", "FOXDBE", "CDXDBE")) {
    gui::alert("FOXCDX Database-Engine;Could not build engine", {"OK"});
  }
}

void buildMenu(gui::GetList& list) {
  list.addSubMenu("oMenu", "&Test");
  list.addMenuItem("oMenu", "Test Program", Value::callable([](rt::Args&) {
    MDIBlock(Value::callable([](rt::Args&) { return rt::callWith("VENDORPO", "A"); }));
    return Value();
  })).withId("TestProgram");
  list.addMenuItem("oMenu", "Exit", Value::callable([](rt::Args&) {
    if (auto w = windowOf(rt::var("oMainDialog"))) w->postClose();
    return Value();
  })).withId("Exit");
}

// The creation hook of the main window.
Value onMainWindowCreated() {
  return Value::callable([](rt::Args& a) {
    const Value window = rt::arg(a, 0);
    gui::setAppWindow(window);
    set("oMainDialog", window);
    if (auto w = windowOf(window)) {
      w->setFrameState(gui::Window::FrameState::kMaximized);
      Bitmapconfig(window);
      w->show();
    }
    return Value();
  });
}

// Closes every table of the calling thread and selects work area 1. A failed close has
// written what it could; the next open reports what is wrong with the file.
void closeOwnTables() {
  (void)dbe::workspace::closeAll();
  dbe::workspace::select(1);
}

}  // namespace

std::span<const std::string_view> sessionVariableNames() { return kSessionVariables; }

Value runtimeOption(int number) {
  std::lock_guard lock(optionMutex());
  auto it = options().find(number);
  return it == options().end() ? Value() : it->second;
}

void AppSys() {
  // The application type is GUI: no console window is made, so the main window is the
  // program's first window.
}

void Main() {
  rt::PrivateFrame frame;  // pEDI204 lives here, seen by what start-up calls
  // 1, 2
  AppSys();
  rt::setEpoch(1920);
  // 3: everything but oAppWindow and qprcode, each holding false until assigned.
  for (std::string_view name : kSessionVariables) {
    if (name != "oAppWindow" && name != "qprcode") rt::sessionDeclare(name);
  }
  // 4
  set("CONFIGOK", false);
  set("qqdrvacct", 0);
  set("lbookonly", false);
  set("ccemail", "");
  set("bcemail", "");
  set("sfmenuok", true);
  set("broksafeok", true);
  set("lprebook", false);
  set("xgrossx", " ");
  set("blmenuok", true);
  set("edimenuok", true);
  set("kovuser", "MOXT");
  // 5: no application window exists yet.
  rt::sessionDeclare("oAppWindow", gui::appWindow());
  // 6
  set("qqbitmap", 4002);
  set("opmenuspec", false);
  set("termconnect", true);
  set("cconfig", "");
  set("billspec", "P");
  set("kovpath", kDataDirectory);
  // 7
  rt::setKey(rt::kKeyAltP, screenPrintKey());
  // 8
  files::FileSystem& fs = files::FileSystem::process();
  dbe::engineSettings().hideDeleted = true;
  checkPath(fs.setSearchPath(kDataDirectory), "set path");
  setRuntimeOption(41, 2);
  rt::setDateFormat("mm/dd/yyyy");
  // 9
  set("subdef", kDataDirectory);
  set("newpath", kDataDirectory);
  checkPath(fs.setDefaultDirectory(rt::var("subdef").text()), "set default");
  checkPath(fs.setSearchPath(rt::var("newpath").text()), "set path");
  // 10
  set("vdrive", fs.currentDriveText());
  // 11 to 13
  buildTableEngine();
  // 14
  rt::sessionDeclare("qprcode", "ame");
  // 15: work area 1; sharing as the engine's default, not read-only.
  tables::openTable("mstrctrl", {}, 0);
  if (tables::fileExists("mstrctrl.CDX")) tables::addIndex("mstrctrl.CDX");
  // 16
  frame.declare("pEDI204", "Prg204");
  set("qdisp", field("usedisp"));
  // 17
  const Value spec204 = field("spec204");
  if (!spec204.isEmpty()) {
    rt::varSetIndirect("pEDI204", upper(rtrim(spec204.text())) + "()");
  } else {
    rt::varSetIndirect("pEDI204", "EDI204()");
  }
  // 18
  set("USERDIV", "  ");
  set("qcomp", "B");
  set("qcompname", "TEST");
  set("payrlok2", true);
  // 19
  gui::setKeyActive(true);
  rt::setKey(rt::kKeyAltP, screenPrintKey());
  // 20
  set("glmenuok", false);
  // 21
  gui::GetList menu;
  buildMenu(menu);
  // 22, 23: the window's events until it closes; then the reports still running end (their
  // dialogs were cancelled) while the GUI keeps running.
  gui::MainWindowOptions options;
  options.width = 400;
  options.height = 300;
  options.onCreate = onMainWindowCreated();
  gui::runMainWindow(menu, options);
  reportThreads().joinAll();
  menu.clear();
}

void Bitmapconfig(const Value& oDialog) {
  auto window = windowOf(oDialog);
  if (!window) return;
  auto area = std::dynamic_pointer_cast<gui::DrawingArea>(window->drawingArea());
  if (!area) return;
  area->setSizeRedraw(true);
  area->configure();
}

void MDIBlock(const Value& bAction) {
  closeOwnTables();
  const dbe::EngineSettings engine = dbe::engineSettings();
  const rt::DateSettings dates = rt::dateSettings();
  reportThreads().start([bAction, engine, dates] {
    tReportThread = true;
    dbe::engineSettings() = engine;
    rt::dateSettings() = dates;
    // The thread's tables are closed however the work ends: returned, stopped by a break, or
    // left by an error its handler has reported.
    struct CloseOnExit {
      ~CloseOnExit() { closeOwnTables(); }
    } closeOnExit;
    rt::PrivateFrame frame;
    try {
      if (bAction.isCallable()) bAction.call();
    } catch (const rt::Break&) {
      // The report was stopped (a missing index tag): its message was shown, its tables closed.
    }
  });
  closeOwnTables();
}

gui::ThreadGroup& reportThreads() {
  // Never destroyed: a report thread still running when the process ends must not find its
  // group gone.
  static auto* group = new gui::ThreadGroup();
  return *group;
}

void closeTablesEverywhere() {
  closeOwnTables();
  gui::backend()->cancelAll();
  const size_t self = tReportThread ? 1 : 0;
  const auto deadline = std::chrono::steady_clock::now() + kReportEndWait;
  gui::backend()->pumpUntil([&] {
    return reportThreads().running() <= self || std::chrono::steady_clock::now() >= deadline;
  });
}

void registerShellRoutines() {
  tables::registerTableRoutines();
  tables::registerScreenPrint();
  rt::registerRoutine("AppSys", [](rt::Args&) {
    AppSys();
    return Value();
  });
  rt::registerRoutine("Main", [](rt::Args&) {
    Main();
    return Value();
  });
  rt::registerRoutine("Bitmapconfig", [](rt::Args& a) {
    Bitmapconfig(rt::arg(a, 0));
    return Value();
  });
  rt::registerRoutine("MDIBlock", [](rt::Args& a) {
    MDIBlock(rt::arg(a, 0));
    return Value();
  });
}

}  // namespace shell
