#pragma once

#include <QColor>

class QPalette;

namespace velmoria {

// The appearance a colour is drawn for. Anything that is not clearly dark resolves as light.
enum class Appearance { light, dark };

// The appearance of the running application: VELMORIA_APPEARANCE ("light" or "dark") when set, else
// dark exactly when the application palette's window colour is dark.
Appearance currentAppearance();
// The appearance a palette stands for (window colour lightness below the middle is dark).
Appearance appearanceOf(const QPalette& palette);
// "dark" -> dark; any other name -> light.
Appearance appearanceNamed(const char* name);

// A colour with a light and a dark value, resolved at the time it is drawn.
class AdaptiveColor {
 public:
  constexpr AdaptiveColor(QRgb light, QRgb dark, double darkOpacity = 1.0)
      : light_(light), dark_(dark), darkOpacity_(darkOpacity) {}
  QColor resolve(Appearance appearance) const;
  QColor resolve() const { return resolve(currentAppearance()); }
  QColor light() const { return resolve(Appearance::light); }
  QColor dark() const { return resolve(Appearance::dark); }

 private:
  QRgb light_;
  QRgb dark_;
  double darkOpacity_;
};

}  // namespace velmoria

// The palette every screen draws from.
namespace velmoria::Theme {

inline constexpr AdaptiveColor background{0xFAF9F8, 0x0D0C0B};
inline constexpr AdaptiveColor surface{0xFFFFFF, 0x1A1916};
inline constexpr AdaptiveColor border{0xE8E5E1, 0x2F2D2A};
inline constexpr AdaptiveColor textPrimary{0x1A1916, 0xF4F2F0};
inline constexpr AdaptiveColor textSecondary{0x4E4B46, 0xB8B3AC};
inline constexpr AdaptiveColor textTertiary{0x94908A, 0x706D67};
inline constexpr AdaptiveColor accentSoft{0xEEF2FD, 0x4F70EA, 0.12};
inline constexpr AdaptiveColor success{0x17A35C, 0x34D399};
inline constexpr AdaptiveColor danger{0xDC2626, 0xF87171};

// Fixed colours, the same in both appearances.
QColor rgb(int red, int green, int blue);
QColor accent();
QColor blue100();
QColor blue200();
QColor blue300();
QColor blue400();
QColor blue500();
QColor blue600();
QColor blue700();
QColor blue800();
QColor gray100();
QColor gray800();
QColor gray900();

}  // namespace velmoria::Theme

namespace velmoria {

// The window background behind the start-up progress view.
inline constexpr const AdaptiveColor& themeWindowBackground = Theme::background;

}  // namespace velmoria
