// The Insert Alpha tool: loads a second picture, turns it grey, fits it to the current
// image (or makes the current image opaque first), optionally inverts it, and inserts its
// grey as the current image's alpha channel.
#pragma once

#include <functional>
#include <string>

#include "image/chunky.h"

namespace vl::filters {

inline constexpr const char* kAlphaLoadFailedText = "Failed to load alpha image\n";
inline constexpr const char* kAlphaResizeFailedText = "Not enough memory for resized image\n";

class InsertAlphaTool {
 public:
  // Reads a picture as an ARGB32 texture (null on failure).
  using Loader = std::function<image::Texture*(const char* path)>;
  // Scales a pixel buffer to width x height with a resampling method (null on failure).
  using Scaler =
      std::function<image::ChunkyImage*(const image::ChunkyImage* source, int width, int height, int method)>;

  // The program's picture loader (ReadPicture) and resampler (ScaleImage).
  InsertAlphaTool();
  InsertAlphaTool(Loader loader, Scaler scaler);

  // Runs the tool on the current image. A file that cannot be loaded, or an alpha image
  // that cannot be resized, is reported through the requester ("Error..." / "OK") and
  // leaves the current image as it was (false).
  bool Run(image::Texture* current, const std::string& alphaFile, bool resize, bool negative);

  // The alpha image of the last successful run, as inserted (grey, fitted, inverted when
  // asked), for the window's preview; null before the first run.
  const image::Texture* Preview() const { return preview_.get(); }
  // The window closes: the preview goes.
  void ClosePreview() { preview_.reset(); }

 private:
  Loader load_;
  Scaler scale_;
  image::TexturePtr preview_;
};

}  // namespace vl::filters
