#include "colors.h"

#include <array>
#include <cmath>

namespace gui {

namespace {

constexpr std::array<Rgb, 16> kPalette = {{
    {255, 255, 255},
    {0, 0, 0},
    {0, 0, 255},
    {255, 0, 0},
    {255, 0, 255},
    {0, 255, 0},
    {0, 255, 255},
    {255, 255, 0},
    {128, 128, 128},
    {0, 0, 128},
    {128, 0, 0},
    {128, 0, 128},
    {0, 128, 0},
    {0, 128, 128},
    {128, 128, 0},
    {204, 204, 204},
}};

}  // namespace

std::optional<Rgb> paletteColour(int code) {
  if (code < 0 || code >= static_cast<int>(kPalette.size())) return std::nullopt;
  return kPalette[static_cast<size_t>(code)];
}

std::optional<int> colourCode(const rt::Value& v) {
  if (!v.isNumber()) return std::nullopt;
  const double n = v.number();
  if (!(n >= 0 && n < static_cast<double>(kPalette.size())) || std::floor(n) != n) {
    return std::nullopt;
  }
  return static_cast<int>(n);
}

ColourPair colourPair(const rt::Value& list) {
  ColourPair p;
  if (!list.isArray()) return p;
  const rt::Array& a = list.arr();
  if (!a.empty()) p.foreground = colourCode(a[0]);
  if (a.size() > 1) p.background = colourCode(a[1]);
  return p;
}

}  // namespace gui
