// vendorlist: the program's executable.
//
// The main window and its report are still being built. Until then this executable runs what
// the project already has and says so: the runtime's rounding and date helpers.
#include <cstdio>

#include "runtime/clock.h"
#include "runtime/dates.h"
#include "tables/helpers.h"

int main() {
  rt::setDateFormat("mm/dd/yyyy");
  rt::setEpoch(1920);
  std::printf("vendorlist: the main window is not built yet; this build has the runtime layer.\n");
  std::printf("  today (DTOX)          %s\n", tables::DTOX(rt::today()).c_str());
  std::printf("  lb_round(2.675, 2)    %.2f\n", tables::lb_round(2.675, 2));
  std::printf("  lb_round(-1.25, 1)    %.1f\n", tables::lb_round(-1.25, 1));
  std::printf("Run the tests with: ./scripts/setup && ./scripts/test\n");
  return 0;
}
