#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRectF>

class QPainter;

namespace velmoria {

// The symbols the screens show, drawn by us so every machine renders them alike.
enum class Symbol {
  globe,
  plus,
  minusCircleFill,
  magnifyingGlass,
  checkmarkCircleFill,
  circle,
  genericApp,
  arrowClockwise,
  rectanglePortraitAndArrowRight,
  lockFill,
  chevronRight,
  laptopComputer,
  power,
};

// Draws the symbol to fill `box` (kept square, centred) in the colour.
void paintSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& colour);
// The symbol as an icon of `side` logical pixels.
QIcon symbolIcon(Symbol symbol, const QColor& colour, int side);

// A font of the screens: sizes are pixels, tracking in pixels.
QFont screenFont(int pixelSize, QFont::Weight weight = QFont::Normal, double tracking = 0);

}  // namespace velmoria
