#include "helpers.h"

#include <cmath>

#include "runtime/dates.h"
#include "runtime/keys.h"
#include "runtime/routines.h"
#include "runtime/variables.h"

namespace tables {

namespace {

// The double whose bit pattern is 0x3FE00001E32F0EE1.
constexpr double kHalfAndAHair = 0.5000009;

double roundMagnitude(double n, double ndecimals) {
  const double scale = std::pow(10.0, ndecimals);
  return std::trunc(n * scale + kHalfAndAHair) / scale;
}

const rt::RoutineRegistration kLbRound("LB_ROUND", [](rt::Args& a) {
  const rt::Value n = rt::guarded(rt::arg(a, 0), rt::Value(0));
  const rt::Value d = rt::guarded(rt::arg(a, 1), rt::Value(0));
  return rt::Value(lb_round(n.number(), d.number()));
});

const rt::RoutineRegistration kDtox("DTOX", [](rt::Args& a) {
  const rt::Value d = rt::arg(a, 0);
  return rt::Value(DTOX(d.isDate() ? d.date() : rt::Date{}));
});

}  // namespace

double lb_round(double nvalue, double ndecimals) {
  if (nvalue < 0) return -roundMagnitude(-nvalue, ndecimals);
  return roundMagnitude(nvalue, ndecimals);
}

std::string DTOX(rt::Date QQDATE) {
  rt::PrivateFrame frame;
  frame.declare("QQDATE", rt::Value(QQDATE));
  rt::bindReadExitKeys();
  rt::setCentury(true);
  const std::string text = rt::dateToText(rt::var("QQDATE").date());
  // MM/DD/ and the last two digits of YYYY.
  std::string out = text.substr(0, 6);
  if (text.size() >= 10) out += text.substr(8, 2);
  return out;
}

}  // namespace tables
