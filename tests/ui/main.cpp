// Runs the UI tests on the display given by DISPLAY (tools/test-env.sh makes a private one).
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/platform.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!PlatformStart()) {
    std::fputs("ui_tests: no display; run them under tools/test-env.sh\n", stderr);
    return 1;
  }
  return RUN_ALL_TESTS();
}
