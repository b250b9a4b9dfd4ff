#include <gtest/gtest.h>

#include "panels/now_playing.h"

TEST(FormatDuration, MinutesAndSecondsThenHoursWithoutLimit) {
  const struct {
    int64_t seconds;
    const char* text;
  } cases[] = {
      {0, "00 : 00"},          {9, "00 : 09"},
      {75, "01 : 15"},         {3599, "59 : 59"},
      {3600, "1 : 00 : 00"},   {3725, "1 : 02 : 05"},
      {90000, "25 : 00 : 00"}, {360000, "100 : 00 : 00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.seconds), c.text) << c.seconds;
}
