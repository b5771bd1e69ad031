// Shared pieces of the fuzz programs: the pixel pool kept for the whole run, a check that
// each input gives back every pixel block it took, and the decoder harness.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "formats/decoders.h"
#include "image/chunky.h"
#include "image/pool.h"

namespace vl::fuzz {

// Creates the pool once; the sanitizers see every leak of ordinary memory, this catches
// the pixel blocks the pool would otherwise free at exit.
inline void EnsurePool() {
  if (!image::PoolExists()) image::CreatePool();
}

// Aborts (so libFuzzer keeps the input) when the pool holds more blocks than before.
class PoolBalance {
 public:
  PoolBalance() : start_(image::PoolBlockCount()) {}
  ~PoolBalance() {
    size_t now = image::PoolBlockCount();
    if (now != start_) {
      std::fprintf(stderr, "pixel blocks leaked: %zu before, %zu after\n", start_, now);
      std::abort();
    }
  }
  PoolBalance(const PoolBalance&) = delete;
  PoolBalance& operator=(const PoolBalance&) = delete;

 private:
  size_t start_;
};

inline void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

// Reads every byte of the picture so AddressSanitizer sees any buffer shorter than its
// size claims.
inline uint32_t TouchPixels(const image::ChunkyImage* c) {
  uint32_t sum = 0;
  size_t bytes = image::BufferBytes(c->width, c->height, c->format);
  for (size_t i = 0; i < bytes; ++i) sum += c->pixels[i];
  return sum;
}

// Runs one decoder on the input and checks what it delivered: a picture whose buffer
// matches its size and shape, and which converts to both Texture kinds.
inline void RunDecoder(bool (*sniff)(const uint8_t*, size_t),
                       bool (*decode)(const uint8_t*, size_t, formats::DecodedPicture&), const uint8_t* data,
                       size_t size) {
  EnsurePool();
  PoolBalance balance;
  (void)sniff(data, size < formats::kSniffBytes ? size : formats::kSniffBytes);
  formats::DecodedPicture pic;
  if (!decode(data, size, pic)) return;
  Require(pic.pixels != nullptr, "a decoded picture has pixels");
  const image::ChunkyImage* c = pic.pixels.get();
  Require(c->width == pic.width && c->height == pic.height, "buffer size matches the picture size");
  Require(pic.width > 0 && pic.height > 0, "a decoded picture is not empty");
  Require(image::SizeAllowed(pic.width, pic.height, image::ARGB32), "decoded size within the buffer limit");
  if (pic.depth <= 8) {
    Require(c->format == image::BYTE8, "indexed pictures come as BYTE8");
    Require(pic.palette.size() <= 256 * 3 && pic.palette.size() % 3 == 0, "palette of whole triples");
  } else {
    Require(c->format == image::ARGB32, "true-colour pictures come as ARGB32");
  }
  volatile uint32_t sink = TouchPixels(c);
  (void)sink;
  // RGB24 first: the ARGB32 conversion hands the decoded buffer over.
  for (bool forScan : {true, false}) {
    image::TexturePtr t(formats::PictureToTexture(pic, forScan));
    Require(t != nullptr, "a decoded picture converts to a Texture");
    Require(t->chunky->width == pic.width && t->chunky->height == pic.height, "Texture keeps the size");
    sink = TouchPixels(t->chunky);
  }
}

}  // namespace vl::fuzz

#define VL_DECODER_FUZZER(Name)                                                            \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {                \
    vl::fuzz::RunDecoder(vl::formats::Sniff##Name, vl::formats::Decode##Name, data, size); \
    return 0;                                                                              \
  }
