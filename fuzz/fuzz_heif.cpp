// The HEIF decoder on a buffer in memory.
#include "fuzz_util.h"

VL_DECODER_FUZZER(Heif)
