// What a PNG holds before its pixels, read with the PNG decoder's code (the decoder itself
// is an entry of the decoder table, decoders.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::formats {

struct PngTextChunk {
  std::string key;
  std::string text;
};

struct PngHead {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<PngTextChunk> texts;  // in file order
};

// Reads the header and the text chunks before the first IDAT of a PNG held in memory,
// without the pixels. Every chunk up to the first IDAT must lie inside the buffer (libpng
// would otherwise allocate whatever a lying length field claims), and a compressed text
// chunk may unpack to at most maxChunkBytes. False on any fault.
bool ReadPngHead(const uint8_t* data, size_t size, size_t maxChunkBytes, PngHead& out);

}  // namespace vl::formats
