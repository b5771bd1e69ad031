// The camera RAW decoder on a buffer in memory: the quick way (the embedded preview) and the
// full demosaiced picture.
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vl::fuzz::RunDecoder(vl::formats::SniffRaw, vl::formats::DecodeRaw, data, size);
  vl::fuzz::RunDecoder(vl::formats::SniffRaw, vl::formats::DecodeRawFull, data, size);
  return 0;
}
