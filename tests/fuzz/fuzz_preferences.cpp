// libFuzzer driver: LoadPreferences of a preferences.json of arbitrary bytes.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return RunFuzzEntry(FuzzPreferences, data, size);
}
