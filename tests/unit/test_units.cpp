// Units of 1/96 inch to device pixels and back, and font pixel heights, at common DPI settings.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

struct DpiCase {
  double dpi;
  int64_t window_width, window_height;         // 730 x 195 units
  int64_t close_x, close_width, close_height;  // 684, 46 x 25 units
  int heading, text, artist;                   // 11, 12, 14 points
};

const DpiCase Cases[] = {
    {96, 730, 195, 684, 46, 25, 15, 16, 19},
    {120, 913, 244, 855, 58, 31, 18, 20, 23},
    {144, 1095, 293, 1026, 69, 38, 22, 24, 28},
};

TEST(Units, ScaleWithTheDpiAndReadBack) {
  for (const DpiCase& c : Cases) {
    PlatformSetDpi(c.dpi, c.dpi);
    EXPECT_EQ(UnitsToPixelsX(730), c.window_width) << c.dpi;
    EXPECT_EQ(UnitsToPixelsY(195), c.window_height) << c.dpi;
    EXPECT_EQ(UnitsToPixelsX(684), c.close_x) << c.dpi;
    EXPECT_EQ(UnitsToPixelsX(46), c.close_width) << c.dpi;
    EXPECT_EQ(UnitsToPixelsY(25), c.close_height) << c.dpi;
    EXPECT_EQ(PixelsToUnitsX(c.window_width), 730) << c.dpi;
    EXPECT_EQ(PixelsToUnitsY(c.window_height), 195) << c.dpi;
    EXPECT_EQ(FontPixelHeight(11), c.heading) << c.dpi;
    EXPECT_EQ(FontPixelHeight(12), c.text) << c.dpi;
    EXPECT_EQ(FontPixelHeight(14), c.artist) << c.dpi;
  }
  PlatformSetDpi(96, 96);
}

TEST(Units, HalvesRoundAwayFromZeroAndBackHalfUp) {
  PlatformSetDpi(144, 144);
  EXPECT_EQ(UnitsToPixelsX(1), 2);    // 1.5
  EXPECT_EQ(UnitsToPixelsX(-1), -2);  // -1.5
  EXPECT_EQ(UnitsToPixelsY(3), 5);    // 4.5
  EXPECT_EQ(PixelsToUnitsX(1), 1);    // 0.67
  EXPECT_EQ(PixelsToUnitsX(-3), -2);  // -2.0
  EXPECT_EQ(PixelsToUnitsX(-1), -1);  // -0.67
  PlatformSetDpi(120, 120);
  EXPECT_EQ(PixelsToUnitsX(5), 4);  // 4.0
  EXPECT_EQ(PixelsToUnitsX(3), 2);  // 2.4
  PlatformSetDpi(192, 192);
  EXPECT_EQ(PixelsToUnitsX(1), 1);   // 0.5 -> 1
  EXPECT_EQ(PixelsToUnitsX(-1), 0);  // -0.5 -> 0
  PlatformSetDpi(96, 96);
}

}  // namespace
