#include "tag_order.h"

#include <cctype>

#include "dbe/area/work_area.h"
#include "gui/hot_keys.h"
#include "gui/messages.h"
#include "runtime/error.h"
#include "runtime/routines.h"
#include "runtime/variables.h"

namespace tables {

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string textArg(const rt::Args& a, size_t i) {
  const rt::Value v = rt::guarded(rt::arg(a, i), rt::Value(""));
  return v.text();
}

// The error alert of the table-access routines: eight arguments, as the library takes them.
void errorAlert(const std::string& text) {
  rt::Args args{rt::Value(),
                rt::Value(text),
                rt::Value(),  // no captions: one acknowledging button
                rt::Value(14),
                rt::Value("Error Warning"),
                rt::Value(),
                rt::Value(),
                rt::Value::array({rt::Value("9.Arial Bold"), rt::Value("9.Arial Bold")})};
  rt::call("DC_GUIALERT", args);
}

}  // namespace

bool SetTagOrder(const std::string& cOrder, const std::string& cIndex) {
  dbe::WorkArea* area = dbe::workspace::area();
  if (area != nullptr) {
    // A name no open index holds leaves natural order in control; the check below tells.
    (void)area->setOrder(cOrder);
  }
  const std::string current = area != nullptr ? area->orderName() : std::string();
  if (rt::textEqualsNonExact(upper(current), upper(cOrder))) return true;

  rt::PrivateFrame frame;
  if (rt::routineExists("DC_WaitOnObject")) {
    frame.declare("aWaitOn", gui::dcDo("DC_WaitOnObject()"));
    const rt::Value waitOn = rt::var("aWaitOn");
    if (waitOn.isArray()) rt::callWith("DC_IMPL", waitOn);
  }
  errorAlert("Tag " + cOrder + " is missing from " + cIndex + ".;Program will be Terminated");
  // The tables are closed before the break, so that nothing of this thread stays half-written
  // whoever catches it. A close that fails has been written as far as it could be.
  (void)dbe::workspace::closeAll();
  dbe::workspace::select(1);
  throw rt::Break();
}

void registerTableRoutines() {
  gui::registerRoutines();
  rt::registerRoutine("SetTagOrder", [](rt::Args& a) {
    return rt::Value(SetTagOrder(textArg(a, 0), textArg(a, 1)));
  });
}

}  // namespace tables
