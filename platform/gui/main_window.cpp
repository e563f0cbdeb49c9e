#include "main_window.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "runtime/error.h"
#include "text_lines.h"

namespace gui {

namespace {

std::mutex& appMutex() {
  static std::mutex m;
  return m;
}
rt::Value& appSlot() {
  static rt::Value v;
  return v;
}

// A menu action must not let an exception into the GUI's event loop: a break ends the action;
// an error was already processed by the thread's handler; anything else goes to the default
// error processing.
void runMenuAction(const rt::Value& action) {
  if (!action.isCallable()) return;
  try {
    action.call();
  } catch (const rt::Break&) {
  } catch (const rt::ErrorException&) {
  } catch (const std::exception& ex) {
    rt::Error e;
    e.subsystem = "GUI";
    e.operation = "menu";
    e.description = ex.what();
    rt::defaultErrorProcessing(e);
  }
}

}  // namespace

std::shared_ptr<Window> createMainWindow(const GetList& list, const MainWindowOptions& options) {
  MainWindowDesc desc;
  desc.title = options.title;
  desc.width = options.width;
  desc.height = options.height;
  std::vector<rt::Value> actions;
  for (size_t i = 0; i < list.size(); ++i) {
    const Control& c = list.at(i);
    if (c.kind != ControlKind::kSubMenu && c.kind != ControlKind::kMenuItem &&
        c.kind != ControlKind::kMenuSeparator) {
      continue;
    }
    ControlDesc d;
    d.kind = c.kind;
    d.id = c.id;
    d.caption = c.caption;
    d.toolTip = toolTipText(c.toolTip);
    d.font = c.font;
    if (!c.parentId.empty()) {
      for (size_t k = 0; k < desc.menu.size(); ++k) {
        if (desc.menu[k].kind == ControlKind::kSubMenu &&
            rt::textEqualsExact(desc.menu[k].id, c.parentId)) {
          d.parent = static_cast<int>(k);
        }
      }
    }
    desc.menu.push_back(std::move(d));
    actions.push_back(c.action);
  }
  std::shared_ptr<Window> window =
      backend()->createMainWindow(desc, [actions = std::move(actions)](int i) {
        if (i >= 0 && static_cast<size_t>(i) < actions.size()) {
          runMenuAction(actions[static_cast<size_t>(i)]);
        }
      });
  if (options.onCreate.isCallable()) {
    rt::Args args{rt::Value(rt::ObjectRef(window))};
    options.onCreate.call(args);
  }
  return window;
}

void runMainWindow(const GetList& list, const MainWindowOptions& options) {
  std::shared_ptr<Window> window = createMainWindow(list, options);
  window->show();
  backend()->runUntilClosed(*window);
  backend()->cancelAll();
}

void setAppWindow(const rt::Value& window) {
  std::lock_guard lock(appMutex());
  appSlot() = window;
}

rt::Value appWindow() {
  std::lock_guard lock(appMutex());
  return appSlot();
}

}  // namespace gui
