// vendorlist: the program. Makes the Qt application and its dialog backend, installs the
// default error processing and runs the start-up hook and the start-up procedure; the program
// ends when the main window has closed and the reports still running have ended.
//
// Configuration of the platform (not of the program): VENDORLIST_DRIVES maps drive letters to
// host directories (files/mount_table.h); the data directory is \vadnorel on drive C:.
#include <cstdio>

#include <curl/curl.h>

#include <QApplication>

#include "dbe/area/work_area.h"
#include "files/file_system.h"
#include "gui/error_hook.h"
#include "gui/main_window.h"
#include "gui/qt/qt_backend.h"
#include "runtime/error.h"
#include "runtime/routines.h"
#include "runtime/variables.h"
#include "shell/app_shell.h"
#include "shell/placeholder_report.h"

int main(int argc, char** argv) {
  // The mail engine's libcurl is made ready once, before any thread exists (its global set-up
  // is not thread-safe).
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    std::fprintf(stderr, "vendorlist: the network library could not be initialised\n");
    return 1;
  }
  // A bad VENDORLIST_DRIVES must not leave the program working on the wrong directories.
  if (const files::Status env = files::FileSystem::process().environmentStatus(); !env.isOk()) {
    std::fprintf(stderr, "vendorlist: %s\n", env.toString().c_str());
    return 1;
  }
  int status = 0;
  {
    QApplication app(argc, argv);
    gui::qt::useQtBackend();
    gui::installDefaultErrorHook();
    gui::setCloseAllTablesCallback(shell::closeTablesEverywhere);
    shell::registerShellRoutines();
    shell::registerPlaceholderReport();
    try {
      rt::call("AppSys");
      rt::call("Main");
    } catch (const rt::Break&) {
      // A break that no recovery point took: the program ends as its message said.
      rt::Error e;
      e.subsystem = "BASE";
      e.operation = "break";
      e.description = "The program was stopped";
      rt::defaultErrorProcessing(e);
    } catch (const rt::ErrorException&) {
      // Reported by the handler that was in force; the program cannot go on.
      status = 1;
    }
    shell::reportThreads().joinAll();
    (void)dbe::workspace::closeAll();
    // The window objects go while the application still exists to delete their widgets.
    gui::setAppWindow(rt::Value());
    rt::sessionSet("oMainDialog", rt::Value(false));
    rt::sessionSet("oAppWindow", rt::Value(false));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  curl_global_cleanup();
  return status;
}
