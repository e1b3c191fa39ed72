#include "velmoria/SymbolIcon.hpp"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace velmoria {
namespace {

// The tick of "checkmark.circle.fill", as an outline to cut out of the disc.
QPainterPath checkOutline(const QRectF& r, double width) {
  QPainterPath check;
  check.moveTo(r.left() + r.width() * 0.28, r.top() + r.height() * 0.52);
  check.lineTo(r.left() + r.width() * 0.44, r.top() + r.height() * 0.67);
  check.lineTo(r.left() + r.width() * 0.72, r.top() + r.height() * 0.36);
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::RoundCap);
  stroker.setJoinStyle(Qt::RoundJoin);
  return stroker.createStroke(check);
}

}  // namespace

QFont screenFont(int pixelSize, QFont::Weight weight, double tracking) {
  QFont f;
  f.setPixelSize(pixelSize);
  f.setWeight(weight);
  if (tracking != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
  return f;
}

void paintSymbol(QPainter& p, Symbol symbol, const QRectF& box, const QColor& colour) {
  const double side = std::min(box.width(), box.height());
  const QRectF r(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
  const double stroke = std::max(1.0, side / 12);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF inset = r.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
  switch (symbol) {
    case Symbol::globe: {
      p.setPen(QPen(colour, stroke));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(inset);
      const double w = inset.width() * 0.45;
      p.drawEllipse(QRectF(inset.center().x() - w / 2, inset.top(), w, inset.height()));
      p.drawLine(QPointF(inset.center().x(), inset.top()), QPointF(inset.center().x(), inset.bottom()));
      p.drawLine(QPointF(inset.left(), inset.center().y()), QPointF(inset.right(), inset.center().y()));
      const double dy = inset.height() * 0.25;
      const double dx = inset.width() * 0.067;
      p.drawLine(QPointF(inset.left() + dx, inset.center().y() - dy),
                 QPointF(inset.right() - dx, inset.center().y() - dy));
      p.drawLine(QPointF(inset.left() + dx, inset.center().y() + dy),
                 QPointF(inset.right() - dx, inset.center().y() + dy));
      break;
    }
    case Symbol::plus: {
      const double w = std::max(1.5, side / 6);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap));
      const QRectF c = r.adjusted(w, w, -w, -w);
      p.drawLine(QPointF(c.center().x(), c.top()), QPointF(c.center().x(), c.bottom()));
      p.drawLine(QPointF(c.left(), c.center().y()), QPointF(c.right(), c.center().y()));
      break;
    }
    case Symbol::minusCircleFill: {
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      QPainterPath disc;
      disc.addEllipse(r);
      QPainterPath bar;
      bar.addRoundedRect(QRectF(r.left() + side * 0.26, r.center().y() - side * 0.055, side * 0.48, side * 0.11),
                         side * 0.05, side * 0.05);
      p.drawPath(disc.subtracted(bar));
      break;
    }
    case Symbol::magnifyingGlass: {
      p.setPen(QPen(colour, stroke * 1.2, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      const double d = side * 0.68;
      const QRectF lens(r.left() + stroke, r.top() + stroke, d - stroke, d - stroke);
      p.drawEllipse(lens);
      const QPointF from = lens.center() + QPointF(lens.width() * 0.355, lens.height() * 0.355);
      p.drawLine(from, QPointF(r.right() - stroke, r.bottom() - stroke));
      break;
    }
    case Symbol::checkmarkCircleFill: {
      // Cut out rather than painted over, so whatever lies beneath shows through the tick.
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      QPainterPath disc;
      disc.addEllipse(r);
      p.drawPath(disc.subtracted(checkOutline(r, std::max(1.5, side / 9))));
      break;
    }
    case Symbol::circle:
      p.setPen(QPen(colour, stroke));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(inset);
      break;
    case Symbol::genericApp: {
      const QRectF tile = r.adjusted(side * 0.08, side * 0.08, -side * 0.08, -side * 0.08);
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      p.drawRoundedRect(tile, side * 0.2, side * 0.2);
      QColor inner = colour.lightnessF() < 0.5 ? QColor(255, 255, 255, 150) : QColor(0, 0, 0, 90);
      p.setBrush(inner);
      const double s = tile.width() * 0.4;
      p.drawRoundedRect(QRectF(tile.center().x() - s / 2, tile.center().y() - s / 2, s, s), s * 0.2, s * 0.2);
      break;
    }
    case Symbol::arrowClockwise: {
      const double w = std::max(1.5, side / 8);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      const double radius = side * 0.34;
      const QPointF c = r.center() + QPointF(0, side * 0.03);
      // Open at the upper right; the head at the top end points clockwise.
      constexpr double headAngle = 75;
      p.drawArc(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), static_cast<int>(headAngle * 16),
                280 * 16);
      const double theta = headAngle * M_PI / 180;
      const QPointF at(c.x() + radius * std::cos(theta), c.y() - radius * std::sin(theta));
      const QPointF along(std::sin(theta), std::cos(theta));
      const QPointF outward(std::cos(theta), -std::sin(theta));
      const double head = side * 0.3;
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      QPainterPath arrow;
      arrow.moveTo(at + along * head * 0.55);
      arrow.lineTo(at - along * head * 0.35 + outward * head * 0.5);
      arrow.lineTo(at - along * head * 0.35 - outward * head * 0.5);
      arrow.closeSubpath();
      p.drawPath(arrow);
      break;
    }
    case Symbol::rectanglePortraitAndArrowRight: {
      const double w = std::max(1.5, side / 9);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      const QRectF door(r.left() + side * 0.1, r.top() + side * 0.1, side * 0.5, side * 0.8);
      QPainterPath frame;
      frame.moveTo(door.right(), door.top() + side * 0.22);
      frame.lineTo(door.right(), door.top());
      frame.lineTo(door.left(), door.top());
      frame.lineTo(door.left(), door.bottom());
      frame.lineTo(door.right(), door.bottom());
      frame.lineTo(door.right(), door.bottom() - side * 0.22);
      p.drawPath(frame);
      const double y = door.center().y();
      const QPointF end(r.right() - side * 0.05, y);
      p.drawLine(QPointF(door.left() + side * 0.22, y), end);
      p.drawLine(end, end + QPointF(-side * 0.16, -side * 0.16));
      p.drawLine(end, end + QPointF(-side * 0.16, side * 0.16));
      break;
    }
    case Symbol::lockFill: {
      const double w = std::max(1.5, side / 8);
      const QRectF body(r.left() + side * 0.18, r.top() + side * 0.44, side * 0.64, side * 0.5);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      const double shackle = side * 0.42;
      const QRectF loop(r.center().x() - shackle / 2, r.top() + side * 0.08, shackle, shackle);
      p.drawArc(loop, 0, 180 * 16);
      p.drawLine(QPointF(loop.left(), loop.center().y()), QPointF(loop.left(), body.top()));
      p.drawLine(QPointF(loop.right(), loop.center().y()), QPointF(loop.right(), body.top()));
      p.setPen(Qt::NoPen);
      p.setBrush(colour);
      p.drawRoundedRect(body, side * 0.08, side * 0.08);
      break;
    }
    case Symbol::chevronRight: {
      const double w = std::max(1.5, side / 7);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      QPainterPath chevron;
      chevron.moveTo(r.left() + side * 0.35, r.top() + side * 0.15);
      chevron.lineTo(r.left() + side * 0.68, r.center().y());
      chevron.lineTo(r.left() + side * 0.35, r.bottom() - side * 0.15);
      p.drawPath(chevron);
      break;
    }
    case Symbol::laptopComputer: {
      const double w = std::max(1.5, side / 11);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      const QRectF screen(r.left() + side * 0.16, r.top() + side * 0.2, side * 0.68, side * 0.46);
      p.drawRoundedRect(screen, side * 0.05, side * 0.05);
      const double base = screen.bottom() + side * 0.12;
      p.drawLine(QPointF(r.left() + side * 0.04, base), QPointF(r.right() - side * 0.04, base));
      break;
    }
    case Symbol::power: {
      const double w = std::max(1.5, side / 8);
      p.setPen(QPen(colour, w, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      const QRectF ring = r.adjusted(side * 0.14, side * 0.18, -side * 0.14, -side * 0.1);
      // Open at the top, where the stroke stands.
      p.drawArc(ring, 125 * 16, 290 * 16);
      p.drawLine(QPointF(r.center().x(), r.top() + side * 0.06), QPointF(r.center().x(), ring.center().y()));
      break;
    }
  }
  p.restore();
}

QIcon symbolIcon(Symbol symbol, const QColor& colour, int side) {
  const double ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(static_cast<int>(side * ratio), static_cast<int>(side * ratio));
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  paintSymbol(p, symbol, QRectF(0, 0, side, side), colour);
  p.end();
  return QIcon(pixmap);
}

}  // namespace velmoria
