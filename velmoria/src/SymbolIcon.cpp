#include "velmoria/SymbolIcon.hpp"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>
#include <algorithm>

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
