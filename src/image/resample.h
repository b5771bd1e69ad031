// Changing an image's size.
//
// The core is a separable two-pass resampler: contribution lists with 20-bit fixed-point
// weights are built once per pass from one of seven filter kernels, then every row (and
// every column) is filtered with them in integer arithmetic. On top of it sit ScaleImage
// (a new buffer of another size), ScaleIntoCanvas (a picture centred on a bordered canvas)
// and QuickScale (a fast in-place bilinear scaler for previews and thumbnails).
#pragma once

#include <cstdint>

#include "image/chunky.h"

namespace vl::image {

// True for the formats that GetPixel and SetPixel read and write (RGB24, RGB565, ARGB4444,
// ARGB32, GREY8, ALPHA8).
bool PixelAccessSupported(uint32_t format);

// A filter kernel f(t), evaluated in double precision.
using Kernel = double (*)(double t);

double BoxKernel(double t);
double TriangleKernel(double t);
double BellKernel(double t);
double BSplineKernel(double t);
double HermiteKernel(double t);  // listed as "Bilinear"
double LanczosKernel(double t);
double MitchellKernel(double t);

// The methods by number (the position in the GUI's filter list).
enum ResampleMethod : int {
  kMethodBox = 0,
  kMethodTriangle = 1,
  kMethodBell = 2,
  kMethodBSpline = 3,
  kMethodBilinear = 4,
  kMethodLanczos = 5,
  kMethodMitchell = 6,
};
inline constexpr int kMethodCount = 7;

struct MethodInfo {
  const char* label;       // GUI label: "Box", "Triangle", ...
  const char* scriptName;  // keyword of the scripting command, null when it has none
  Kernel kernel;
  double support;
};
// Null for a method outside 0..kMethodCount-1.
const MethodInfo* GetMethodInfo(int method);

// Weights are fixed point with 20 fraction bits.
inline constexpr int32_t kWeightOne = 1 << 20;  // 1048576

// One (source index, weight) pair of a contribution list.
struct Contribution {
  int32_t pixel;
  int32_t weight;
};

// The contribution lists of one pass: one list per destination column (or row), each
// normalised so that its weights sum to exactly kWeightOne. Source indices are mirrored at
// the edges and always lie inside 0..sourceSize-1.
class ContributionTable {
 public:
  ContributionTable() = default;
  ~ContributionTable();
  ContributionTable(const ContributionTable&) = delete;
  ContributionTable& operator=(const ContributionTable&) = delete;

  // False when the sizes or the support are unusable or memory runs out.
  bool Build(int32_t destinationSize, int32_t sourceSize, Kernel kernel, double support);

  int32_t size() const { return size_; }
  int32_t count(int32_t i) const { return counts_[i]; }
  const Contribution* list(int32_t i) const { return pairs_ + static_cast<size_t>(i) * capacity_; }

 private:
  void Release();

  int32_t size_ = 0;
  size_t capacity_ = 0;  // pairs reserved per list
  int32_t* counts_ = nullptr;
  Contribution* pairs_ = nullptr;
};

// A weighted channel sum back to a channel value: division by kWeightOne truncating toward
// zero (so -1048577 gives -1), then ClampChannel.
inline int32_t WeightedSumToValue(int32_t sum) {
  return sum / kWeightOne;
}
inline uint8_t ClampChannel(int32_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Resamples source into destination, which is already allocated with the wanted size and
// the source's format. Only formats of 1 or 4 bytes per pixel are filtered (every byte of a
// pixel alike). Returns 0 on success and 1 on failure (memory, an unsupported format, or
// buffers that do not match); on failure the destination's contents are undefined.
int Resample(ChunkyImage* destination, const ChunkyImage* source, Kernel kernel, double support);

// The same resampling on the calling thread alone, one row and then one column at a time:
// the reference that Resample's threaded, row-ordered passes must match byte for byte.
int ResamplePlain(ChunkyImage* destination, const ChunkyImage* source, Kernel kernel, double support);

// A new width x height image in the source's format, resampled with method 0..6; null for
// a format other than 1 or 4 bytes per pixel, an unknown method, or when memory runs out.
ChunkyImage* ScaleImage(const ChunkyImage* source, int32_t width, int32_t height, int method);

// A canvas of max(source, requested) size filled with the colour, with the picture centred
// in it: the source itself when it fits into width x height, else the source resampled to
// exactly width x height with the Lanczos kernel. Null on failure.
ChunkyImage* ScaleIntoCanvas(const ChunkyImage* source, int32_t width, int32_t height, uint8_t r, uint8_t g, uint8_t b,
                             uint8_t a);

// Scales the image in place to newWidth x newHeight: bilinear in 16.16 stepping for RGB24,
// RGBA32 and ARGB32, nearest neighbour for every other format. Leaves the image unchanged
// when the new buffer cannot be allocated.
void QuickScale(ChunkyImage* image, int32_t newWidth, int32_t newHeight);

}  // namespace vl::image
