#include "velmoria/ScreenPalette.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>

namespace velmoria {

QPalette withoutInactiveLook(QPalette palette) {
  for (int role = 0; role < QPalette::NColorRoles; ++role) {
    const auto r = static_cast<QPalette::ColorRole>(role);
    palette.setBrush(QPalette::Inactive, r, palette.brush(QPalette::Active, r));
  }
  return palette;
}

QPalette screenPalette(Appearance appearance) {
  QPalette palette = QGuiApplication::palette();
  if (appearanceOf(palette) == appearance) return withoutInactiveLook(palette);
  const QColor window = Theme::background.resolve(appearance);
  const QColor base = Theme::surface.resolve(appearance);
  const QColor text = Theme::textPrimary.resolve(appearance);
  const QColor secondary = Theme::textSecondary.resolve(appearance);
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, window);
    palette.setColor(group, QPalette::Base, base);
    palette.setColor(group, QPalette::AlternateBase, window);
    palette.setColor(group, QPalette::Button, base);
    palette.setColor(group, QPalette::WindowText, text);
    palette.setColor(group, QPalette::Text, text);
    palette.setColor(group, QPalette::ButtonText, text);
    palette.setColor(group, QPalette::PlaceholderText, secondary);
    palette.setColor(group, QPalette::Highlight, Theme::accent());
    palette.setColor(group, QPalette::HighlightedText, Qt::white);
    palette.setColor(group, QPalette::Mid, Theme::border.resolve(appearance));
  }
  palette.setColor(QPalette::Disabled, QPalette::Text, Theme::textTertiary.resolve(appearance));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, Theme::textTertiary.resolve(appearance));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, Theme::textTertiary.resolve(appearance));
  return withoutInactiveLook(palette);
}

ActiveLookEverywhere::ActiveLookEverywhere() {
  apply();
  QCoreApplication::instance()->installEventFilter(this);
}

ActiveLookEverywhere::~ActiveLookEverywhere() = default;

void ActiveLookEverywhere::apply() {
  const QPalette current = QGuiApplication::palette();
  if (!current.isEqual(QPalette::Active, QPalette::Inactive)) QGuiApplication::setPalette(withoutInactiveLook(current));
}

bool ActiveLookEverywhere::eventFilter(QObject* watched, QEvent* event) {
  if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange) apply();
  return QObject::eventFilter(watched, event);
}

QString cssColor(const QColor& c) {
  return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

}  // namespace velmoria
