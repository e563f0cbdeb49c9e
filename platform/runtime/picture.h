// Picture masks for printed values (the classic TRANSFORM with a template).
//
// A text and its mask are laid over each other character by character, and the result is as long
// as the mask: where the mask has a 9 the value's character at that position is shown (a blank
// where the value is shorter); any other mask character is shown instead of the value's
// character at that position, which is dropped. A value already stored with the mask's
// punctuation therefore prints unchanged.
//
// A number is shown right-aligned in the width of the mask, rounded to no decimals; a number
// that does not fit fills the mask's width with asterisks, as the classic runtime did, so that
// a wrong figure is never printed.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

#include "value.h"

namespace rt {

std::string applyPicture(const Value& value, std::string_view mask);

}  // namespace rt
