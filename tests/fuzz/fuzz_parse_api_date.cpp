// libFuzzer driver: ParseApiDate on arbitrary text.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return RunFuzzEntry(FuzzParseApiDate, data, size);
}
