#include <QPalette>
#include <cstdlib>

#include <gtest/gtest.h>

#include "velmoria/Theme.hpp"

using velmoria::Appearance;
namespace Theme = velmoria::Theme;

TEST(Theme, AdaptiveColoursResolvePerAppearanceWithLightAsFallback) {
  EXPECT_EQ(Theme::background.resolve(Appearance::light), QColor(250, 249, 248));
  EXPECT_EQ(Theme::background.resolve(Appearance::dark), QColor(13, 12, 11));
  EXPECT_EQ(velmoria::appearanceNamed("dark"), Appearance::dark);
  EXPECT_EQ(velmoria::appearanceNamed("highContrastLight"), Appearance::light);
  EXPECT_EQ(velmoria::appearanceNamed(nullptr), Appearance::light);
}

TEST(Theme, AccentSoftIsTranslucentOnlyInDark) {
  EXPECT_EQ(Theme::accentSoft.light(), QColor(238, 242, 253));
  EXPECT_EQ(Theme::accentSoft.light().alpha(), 255);
  const QColor dark = Theme::accentSoft.dark();
  EXPECT_EQ(dark.rgb() & 0xFFFFFF, 0x4F70EAu);
  EXPECT_NEAR(dark.alphaF(), 0.12, 0.005);
}

TEST(Theme, AppearanceFollowsThePaletteAndTheOverride) {
  QPalette darkPalette;
  darkPalette.setColor(QPalette::Window, QColor(30, 30, 30));
  QPalette lightPalette;
  lightPalette.setColor(QPalette::Window, QColor(240, 240, 240));
  EXPECT_EQ(velmoria::appearanceOf(darkPalette), Appearance::dark);
  EXPECT_EQ(velmoria::appearanceOf(lightPalette), Appearance::light);
  ::setenv("VELMORIA_APPEARANCE", "dark", 1);
  EXPECT_EQ(velmoria::currentAppearance(), Appearance::dark);
  ::unsetenv("VELMORIA_APPEARANCE");
}

TEST(Theme, FixedColoursKeepTheirValues) {
  EXPECT_EQ(Theme::accent(), Theme::blue400());
  EXPECT_EQ(Theme::blue800(), QColor(7, 21, 84));
  EXPECT_EQ(Theme::gray900(), Theme::textPrimary.light());
}
