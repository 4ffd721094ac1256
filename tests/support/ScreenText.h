// Reading the words in a part of a screenshot (a tool tip, say) with tesseract, for texts the
// program shows only on the screen. The part is cut just inside its border, turned grey,
// enlarged and given a white margin, which small interface text needs to be read reliably.
#pragma once

#include "tests/support/XTestEnv.h"
#include "tests/support/XWindowManager.h"

#include <string>

namespace zovtest {

// The text in `box` of `shot` on one line, its outer blanks trimmed; empty when tesseract is
// missing or read nothing. `scratch` is a folder for the pictures in between.
std::string ReadScreenText(const Screenshot& shot, const Box& box, const std::string& scratch);

} // namespace zovtest
