#include <cstdio>

#include "app/app.h"
#include "platform/platform.h"
#include "station/tracker.h"

int main() {
  if (!PlatformStart()) {
    std::fputs("ormelund-radio: cannot open the display\n", stderr);
    return 1;
  }
  StreamDelay = 42;
  RunMainWindow();
}
