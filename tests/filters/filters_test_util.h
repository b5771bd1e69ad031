// Small builders and readers for the filter suites.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "image/chunky.h"
#include "test_support.h"

namespace vl::test {

using Pixel = std::array<uint8_t, 4>;  // bytes A, R, G, B

// An ARGB32 image from pixels listed row by row.
inline image::ChunkyPtr MakeImage(int width, int height, const std::vector<Pixel>& pixels) {
  image::ChunkyPtr c(image::chk_Create(width, height, image::ARGB32, false));
  EXPECT_TRUE(c);
  EXPECT_EQ(pixels.size(), static_cast<size_t>(width) * height);
  if (c) std::memcpy(c->pixels, pixels.data(), pixels.size() * 4);
  return c;
}

// An ARGB32 image whose pixels all hold the same value in all four bytes.
inline image::ChunkyPtr MakeGreyRow(int width, int height, std::initializer_list<int> values) {
  std::vector<Pixel> pixels;
  for (int v : values) pixels.push_back({uint8_t(v), uint8_t(v), uint8_t(v), uint8_t(v)});
  return MakeImage(width, height, pixels);
}

inline image::ChunkyPtr MakeFilled(int width, int height, Pixel p) {
  return MakeImage(width, height, std::vector<Pixel>(static_cast<size_t>(width) * height, p));
}

inline image::ChunkyPtr Random(int width, int height, uint32_t seed, uint32_t format = image::ARGB32) {
  image::ChunkyPtr c(RandomImage(width, height, format, seed));
  EXPECT_TRUE(c);
  return c;
}

inline image::ChunkyPtr Blank(const image::ChunkyImage* like) {
  image::ChunkyPtr c(image::chk_Create(like->width, like->height, like->format, true));
  EXPECT_TRUE(c);
  return c;
}

inline Pixel At(const image::ChunkyImage* c, int x, int y) {
  Pixel p;
  std::memcpy(p.data(), c->pixels + (static_cast<size_t>(y) * c->width + x) * 4, 4);
  return p;
}

inline uint8_t& Byte(image::ChunkyImage* c, int x, int y, int channel) {
  return c->pixels[(static_cast<size_t>(y) * c->width + x) * 4 + channel];
}

inline std::vector<uint8_t> Bytes(const image::ChunkyImage* c) {
  return std::vector<uint8_t>(c->pixels, c->pixels + image::BufferBytes(c->width, c->height, c->format));
}

// Channel c of every pixel of a row, left to right.
inline std::vector<int> RowChannel(const image::ChunkyImage* c, int y, int channel) {
  std::vector<int> out;
  for (int x = 0; x < c->width; ++x) out.push_back(At(c, x, y)[channel]);
  return out;
}

}  // namespace vl::test
