#include "placeholder_report.h"

#include <memory>

#include "gui/backend.h"
#include "gui/control.h"
#include "gui/dialog_run.h"
#include "runtime/routines.h"
#include "runtime/variables.h"

namespace shell {

namespace {

rt::Value placeholderVendorpo(rt::Args& args) {
  const rt::Value mode = rt::guarded(rt::arg(args, 0), rt::Value("A"));
  rt::Value parent;
  const rt::Value main = rt::var("oMainDialog");
  if (main.isObject()) {
    if (auto w = std::dynamic_pointer_cast<gui::Window>(main.object())) {
      parent = rt::Value(w->drawingArea());
    }
  }
  gui::GetList list;
  list.addText({1, 2}, "The Vendor list report is not part of this build yet.");
  list.addText({2, 2}, "This window stands in for it (report mode \"" + mode.text() + "\").");
  list.addText({4, 2}, "Alt+P prints a picture of the program's window.");
  gui::ReadGuiOptions o;
  o.title = "Vendor Master File";
  o.parent = parent;
  o.buttons = gui::kButtonsOkCancel;
  (void)gui::readGui(list, o);
  list.clear();
  return rt::Value();
}

}  // namespace

void registerPlaceholderReport() {
  if (!rt::routineExists("VENDORPO")) rt::registerRoutine("VENDORPO", placeholderVendorpo);
}

}  // namespace shell
