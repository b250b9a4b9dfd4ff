// libFuzzer driver: a current-song answer body of arbitrary bytes.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return RunFuzzEntry(FuzzCurrentSong, data, size);
}
