#include "formats/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <vector>

#include "platform/safe_file.h"
#include "platform/stopwatch.h"

namespace vl::formats {
namespace {

struct PngJob {
  const image::ChunkyImage* image = nullptr;
  bool rgba = false;
  uint8_t* row = nullptr;  // width x 3 or width x 4 bytes
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  const std::vector<uint8_t>* icc = nullptr;  // written as iCCP when set
};

// A profile libpng refuses is left out of the file without a word.
void IgnoreWarning(png_structp, png_const_charp) {}

void FillRow(const PngJob& job, int y) {
  const image::ChunkyImage* img = job.image;
  const size_t width = static_cast<size_t>(img->width);
  if (img->format == image::ARGB32) {
    const uint8_t* src = img->pixels + static_cast<size_t>(y) * width * 4;
    if (job.rgba)
      image::ConvertARGB32ToRGBA32(src, job.row, img->width, 1);
    else
      image::ConvertARGB32ToRGB24(src, job.row, img->width, 1);
  } else {
    // RGB24 is only ever written as RGB.
    image::ConvertRGB24ToRGB24(img->pixels + static_cast<size_t>(y) * width * 3, job.row, img->width, 1);
  }
}

// Every libpng call happens in this frame, which holds nothing with a destructor, so the
// error jump back into it is safe. True when the whole stream was written.
bool WritePngStream(PngJob* job) {
  job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!job->png) return false;
  job->info = png_create_info_struct(job->png);
  if (!job->info) {
    png_destroy_write_struct(&job->png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(job->png))) {
    png_destroy_write_struct(&job->png, &job->info);
    return false;
  }
  png_init_io(job->png, job->file);
  const image::ChunkyImage* img = job->image;
  png_set_IHDR(job->png, job->info, static_cast<png_uint_32>(img->width), static_cast<png_uint_32>(img->height), 8,
               job->rgba ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (job->icc) {
    // libpng checks the profile against the picture; an unfit one is then dropped with a
    // warning instead of failing the whole save.
    png_set_error_fn(job->png, nullptr, nullptr, IgnoreWarning);
    png_set_benign_errors(job->png, 1);
    png_set_iCCP(job->png, job->info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, job->icc->data(),
                 static_cast<png_uint_32>(job->icc->size()));
  }
  png_write_info(job->png, job->info);
  for (int y = 0; y < img->height; ++y) {
    FillRow(*job, y);
    png_write_row(job->png, job->row);
  }
  png_write_end(job->png, job->info);
  png_destroy_write_struct(&job->png, &job->info);
  return true;
}

bool PngWritable(const image::ChunkyImage* image) {
  if (!image || !image->pixels) return false;
  if (image->format != image::ARGB32 && image->format != image::RGB24) return false;
  return image::SizeAllowed(image->width, image->height, image->format);
}

}  // namespace

int SavePNG(const image::ChunkyImage* image, const char* path, bool withAlpha, const SaveMetadata& metadata) {
  if (!path || !*path || !PngWritable(image)) return 0;
  PngJob job;
  job.image = image;
  if (metadata.iccProfile && IsRgbIccProfile(*metadata.iccProfile)) job.icc = metadata.iccProfile;
  job.rgba = withAlpha && image->format == image::ARGB32;
  std::vector<uint8_t> row;
  try {
    row.assign(static_cast<size_t>(image->width) * (job.rgba ? 4 : 3), 0);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  job.row = row.data();

  platform::SafeFile file(path, true);
  if (!file.file()) return 0;
  platform::SaveStopwatch().Start();
  job.file = file.file();
  if (!WritePngStream(&job)) return 0;  // the temporary file goes, the old file stays
  return file.Commit() ? 1 : 0;
}

int SavePNG(const image::Texture* image, const char* path, bool withAlpha) {
  return SavePNG(image ? image->chunky : nullptr, path, withAlpha, MetadataOf(image));
}

}  // namespace vl::formats
