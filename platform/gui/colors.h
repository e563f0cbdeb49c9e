// The colour codes of window colour lists and alert colours: a palette of sixteen numbered
// colours. A dialog's colour list is {foreground, background}; either may be nil (the toolkit's
// default). Codes outside the palette also mean the default.
//
//   0 white      4 pink       8 dark gray    12 dark green
//   1 black      5 green      9 dark blue    13 dark cyan
//   2 blue       6 cyan      10 dark red     14 brown
//   3 red        7 yellow    11 dark pink    15 pale gray
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/value.h"

namespace gui {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(Rgb, Rgb) = default;
};

// The colour of a code, or nullopt for the default.
std::optional<Rgb> paletteColour(int code);
// The colour of a value: a number in the palette, else nullopt.
std::optional<int> colourCode(const rt::Value& v);

// A colour list {foreground, background} taken from a value: an array of up to two colour
// codes; anything else gives two defaults.
struct ColourPair {
  std::optional<int> foreground;
  std::optional<int> background;
};
ColourPair colourPair(const rt::Value& list);

}  // namespace gui
