#include "velmoria/Theme.hpp"

#include <QGuiApplication>
#include <QPalette>
#include <cstdlib>
#include <cstring>

namespace velmoria {

Appearance appearanceNamed(const char* name) {
  return (name != nullptr && std::strcmp(name, "dark") == 0) ? Appearance::dark : Appearance::light;
}

Appearance appearanceOf(const QPalette& palette) {
  return palette.color(QPalette::Window).lightnessF() < 0.5 ? Appearance::dark : Appearance::light;
}

Appearance currentAppearance() {
  if (const char* forced = std::getenv("VELMORIA_APPEARANCE"); forced != nullptr && *forced != '\0') {
    return appearanceNamed(forced);
  }
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return Appearance::light;
  return appearanceOf(QGuiApplication::palette());
}

QColor AdaptiveColor::resolve(Appearance appearance) const {
  if (appearance != Appearance::dark) return QColor::fromRgb(light_);
  QColor c = QColor::fromRgb(dark_);
  c.setAlphaF(static_cast<float>(darkOpacity_));
  return c;
}

}  // namespace velmoria

namespace velmoria::Theme {

QColor rgb(int red, int green, int blue) { return QColor(red, green, blue); }

QColor accent() { return rgb(79, 112, 234); }
QColor blue100() { return rgb(238, 242, 253); }
QColor blue200() { return rgb(213, 223, 251); }
QColor blue300() { return rgb(126, 151, 241); }
QColor blue400() { return rgb(79, 112, 234); }
QColor blue500() { return rgb(30, 81, 227); }
QColor blue600() { return rgb(23, 65, 196); }
QColor blue700() { return rgb(12, 36, 120); }
QColor blue800() { return rgb(7, 21, 84); }
QColor gray100() { return rgb(232, 229, 225); }
QColor gray800() { return rgb(47, 45, 42); }
QColor gray900() { return rgb(26, 25, 22); }

}  // namespace velmoria::Theme
