// HEIF/HEIC through libheif: the primary picture of the file, with the file's rotation,
// mirroring and crop applied by libheif, high bit depths brought down to 8 bits, alpha
// kept, and the ICC profile when the file carries one.
#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

// The largest width or height libheif is asked to handle; the pixel count is checked
// against the buffer limits separately.
constexpr int kMaxSide = 1 << 16;
// ICC profiles are small; a larger one is ignored.
constexpr size_t kMaxProfileBytes = 16u << 20;

// libheif counts its users; the first call registers the built-in codecs. Taken once and
// kept for the life of the program.
void InitLibheif() {
  static const bool ready = [] {
    heif_init(nullptr);
    return true;
  }();
  (void)ready;
}

struct ContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
  void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
  void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

std::vector<uint8_t> RawProfile(const heif_image_handle* handle) {
  heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
  size_t bytes = heif_image_handle_get_raw_color_profile_size(handle);
  if (bytes == 0 || bytes > kMaxProfileBytes) return {};
  std::vector<uint8_t> profile(bytes);
  if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok) return {};
  return profile;
}

}  // namespace

bool SniffHeif(const uint8_t* data, size_t size) {
  return decode::ClassifyBmff(data, size) == decode::BmffKind::kHeif;
}

bool DecodeHeif(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffHeif(data, size) || !decode::HeifCanvasesAllowed(data, size)) return false;
  InitLibheif();
  std::unique_ptr<heif_context, ContextDeleter> ctx(heif_context_alloc());
  if (!ctx) return false;
  heif_context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
  // The data outlives the context: no copy needed.
  if (heif_context_read_from_memory_without_copy(ctx.get(), data, size, nullptr).code != heif_error_Ok) return false;
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok || !rawHandle) return false;
  std::unique_ptr<const heif_image_handle, HandleDeleter> handle(rawHandle);

  // The size after the file's transformations, checked before anything is decoded.
  int w = heif_image_handle_get_width(handle.get());
  int h = heif_image_handle_get_height(handle.get());
  if (!image::SizeAllowed(w, h, image::ARGB32)) return false;
  bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(handle.get()) != 0;

  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) return false;
  options->convert_hdr_to_8bit = 1;
  heif_image* rawImage = nullptr;
  heif_error err = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                     alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
  std::unique_ptr<const heif_image, ImageDeleter> img(rawImage);
  if (err.code != heif_error_Ok || !img) return false;
  if (heif_image_get_bits_per_pixel_range(img.get(), heif_channel_interleaved) != 8) return false;
  int iw = heif_image_get_primary_width(img.get()), ih = heif_image_get_primary_height(img.get());
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(img.get(), heif_channel_interleaved, &stride);
  const int channels = alpha ? 4 : 3;
  if (!plane || iw != w || ih != h || stride < w * channels) return false;

  if (!decode::AllocatePixels(out, w, h, alpha ? 32 : 24)) return false;
  uint8_t* dst = out.pixels->pixels;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    for (int x = 0; x < w; ++x, s += channels, dst += 4) {
      uint8_t a = alpha ? s[3] : 255;
      if (premultiplied && a != 0 && a != 255) {
        auto un = [a](uint8_t c) { return static_cast<uint8_t>(std::min(255, (c * 255 + a / 2) / a)); };
        decode::PutArgb(dst, a, un(s[0]), un(s[1]), un(s[2]));
      } else {
        decode::PutArgb(dst, a, s[0], s[1], s[2]);
      }
    }
  }
  out.hasAlpha = alpha;
  out.iccProfile = RawProfile(handle.get());
  out.typeName = "HEIF";
  return true;
}

}  // namespace vl::formats
