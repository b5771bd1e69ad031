// The plain per-pixel forms of the filters that also have a faster path. They are the
// reference the faster paths must match byte for byte (the tests compare the two); each
// takes the same arguments and gives the same answer as the public filter of that name.
#pragma once

#include "filters/alpha_mode.h"
#include "image/chunky.h"

namespace vl::filters::plain {

// Running sums of 64 bits and a reciprocal per pixel (box_blur.h BoxBlur).
bool BoxBlur(const image::ChunkyImage* source, image::ChunkyImage* destination, int radiusX, int radiusY);

// Every line position with its clamped taps and one int64 division (gaussian_blur.h GaussianBlur).
bool GaussianBlur(image::ChunkyImage* image, float radius, AlphaMode mode);

// The plain box blur and 64-bit products (sharpen.h Sharpen).
bool Sharpen(const image::ChunkyImage* source, image::ChunkyImage* destination, int maskSize, double strength);

// Every pixel's neighbourhood walked afresh (rank.h MinimumFilter and the others).
bool MinimumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);
bool MaximumFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);
bool MedianFilter(const image::ChunkyImage* source, image::ChunkyImage* destination, int radius, bool circular);

}  // namespace vl::filters::plain
