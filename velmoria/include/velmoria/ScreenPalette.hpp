#pragma once

#include <QPalette>

#include "velmoria/Theme.hpp"

namespace velmoria {

// The palette a screen uses for the system's own colours (secondary text, accent, control background):
// the application's palette, unless the appearance was forced to the other scheme, in which case one
// built from the theme for that scheme.
QPalette screenPalette(Appearance appearance);

// The colour as a style-sheet value ("rgba(r, g, b, a)").
QString cssColor(const QColor& colour);

}  // namespace velmoria
