#pragma once

#include <QObject>
#include <QPalette>

#include "velmoria/Theme.hpp"

namespace velmoria {

// The palette a screen uses for the system's own colours (secondary text, accent, control background):
// the application's palette, unless the appearance was forced to the other scheme, in which case one
// built from the theme for that scheme. Either way the window looks the same inactive as active, so
// losing the focus (to a shield, say) repaints nothing.
QPalette screenPalette(Appearance appearance);

// The palette with its inactive colours those of the active group.
QPalette withoutInactiveLook(QPalette palette);

// While one lives, the application's palette (and each one the desktop sets later) looks the same inactive
// as active: a window that loses the focus, to a shield say, has nothing to repaint. Style sheets start
// from the application's palette, so the widgets' own palettes alone would not do.
class ActiveLookEverywhere final : public QObject {
 public:
  ActiveLookEverywhere();
  ~ActiveLookEverywhere() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void apply();
};

// The colour as a style-sheet value ("rgba(r, g, b, a)").
QString cssColor(const QColor& colour);

}  // namespace velmoria
