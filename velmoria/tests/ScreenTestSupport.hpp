#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdlib>
#include <string>

#include "BlockingTestSupport.hpp"

namespace velmoria::testing {

// The widget as the window server would show it, composited over `backdrop`.
inline QImage renderOver(QWidget& widget, const QColor& backdrop) {
  QCoreApplication::processEvents();
  QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(backdrop);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

// Saves a screenshot as <name>.png in the test output folder.
inline void saveScreenshot(const QImage& image, const std::string& name) {
  image.save(QString::fromStdString((testOutput() / (name + ".png")).string()));
}

inline bool closeTo(const QColor& a, const QColor& b, int tolerance = 8) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// Whether any pixel of the area is within `tolerance` of the colour.
inline bool areaHas(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 24) {
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (closeTo(image.pixelColor(x, y), colour, tolerance)) return true;
    }
  }
  return false;
}

// Counts the events of one type that reach the objects it watches (paints, layout requests).
class EventCount final : public QObject {
 public:
  explicit EventCount(QEvent::Type type) : type_(type) {}
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == type_) ++count;
    return QObject::eventFilter(watched, event);
  }

 private:
  QEvent::Type type_;
};

}  // namespace velmoria::testing
