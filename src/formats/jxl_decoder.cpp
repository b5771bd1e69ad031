// JPEG XL through libjxl, bare codestream or container: the first frame (animations are
// shown by their first frame), converted to 8-bit RGBA by libjxl, with the file's
// orientation applied by libjxl so the picture shows upright. The ICC profile of the
// decoded pixels is kept unless they are plain sRGB.
#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/decoders.h"

namespace vl::formats {
namespace {

constexpr uint8_t kContainerSignature[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
constexpr size_t kMaxProfileBytes = 16u << 20;
// Worker threads of one decode; pictures are decoded on several workers at once already.
constexpr size_t kMaxThreads = 4;

bool IsPlainSrgb(const JxlColorEncoding& c) {
  bool srgbTransfer = c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
  bool d65 = c.white_point == JXL_WHITE_POINT_D65;
  if (c.color_space == JXL_COLOR_SPACE_GRAY) return srgbTransfer && d65;
  return c.color_space == JXL_COLOR_SPACE_RGB && srgbTransfer && d65 && c.primaries == JXL_PRIMARIES_SRGB;
}

JxlColorEncoding Srgb(bool grey) {
  JxlColorEncoding c;
  std::memset(&c, 0, sizeof c);
  c.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
  c.white_point = JXL_WHITE_POINT_D65;
  c.primaries = JXL_PRIMARIES_SRGB;
  c.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
  c.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
  return c;
}

// Chooses the colour of the output (only possible for pictures stored in the codec's own
// colour space) and returns the ICC profile that describes the decoded pixels, empty for sRGB.
bool TakeColour(JxlDecoder* dec, const JxlBasicInfo& info, std::vector<uint8_t>& profile) {
  profile.clear();
  JxlColorEncoding enc;
  if (!info.uses_original_profile) {
    // Keep the file's own colour space when the codec can name it; otherwise (an ICC
    // profile) ask for sRGB rather than the linear light libjxl would give.
    if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &enc) != JXL_DEC_SUCCESS)
      enc = Srgb(info.num_color_channels == 1);
    if (JxlDecoderSetPreferredColorProfile(dec, &enc) != JXL_DEC_SUCCESS) return false;
  }
  if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &enc) == JXL_DEC_SUCCESS &&
      IsPlainSrgb(enc))
    return true;
  size_t bytes = 0;
  if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &bytes) != JXL_DEC_SUCCESS ||
      bytes == 0 || bytes > kMaxProfileBytes)
    return true;  // no profile to carry: shown as its numbers
  profile.resize(bytes);
  if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, profile.data(), bytes) !=
      JXL_DEC_SUCCESS)
    profile.clear();
  return true;
}

}  // namespace

bool SniffJxl(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0x0A) return true;
  return size >= sizeof kContainerSignature && std::memcmp(data, kContainerSignature, sizeof kContainerSignature) == 0;
}

bool DecodeJxl(const uint8_t* data, size_t size, DecodedPicture& out) {
  if (!SniffJxl(data, size)) return false;
  JxlDecoderPtr dec = JxlDecoderMake(nullptr);
  if (!dec) return false;
  size_t threads = std::min(kMaxThreads, JxlThreadParallelRunnerDefaultNumWorkerThreads());
  JxlThreadParallelRunnerPtr runner = JxlThreadParallelRunnerMake(nullptr, threads);
  if (!runner || JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS)
    return false;
  if (JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSetUnpremultiplyAlpha(dec.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec.get(), data, size) != JXL_DEC_SUCCESS)
    return false;
  JxlDecoderCloseInput(dec.get());

  const JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  JxlBasicInfo info;
  std::memset(&info, 0, sizeof info);
  bool haveInfo = false, alpha = false;
  std::vector<uint8_t> profile;
  for (;;) {
    JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) break;
      // The size as shown: orientations 5 to 8 exchange width and height.
      int64_t w = info.orientation > 4 ? info.ysize : info.xsize;
      int64_t h = info.orientation > 4 ? info.xsize : info.ysize;
      if (!image::SizeAllowed(w, h, image::ARGB32)) break;
      haveInfo = true;
      alpha = info.alpha_bits > 0;
    } else if (status == JXL_DEC_COLOR_ENCODING) {
      if (!TakeColour(dec.get(), info, profile)) break;
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      if (!haveInfo) break;
      int64_t w = info.orientation > 4 ? info.ysize : info.xsize;
      int64_t h = info.orientation > 4 ? info.xsize : info.ysize;
      size_t bytes = 0;
      if (JxlDecoderImageOutBufferSize(dec.get(), &format, &bytes) != JXL_DEC_SUCCESS ||
          bytes != image::BufferBytes(w, h, image::ARGB32))
        break;
      if (!decode::AllocatePixels(out, w, h, alpha ? 32 : 24)) break;
      if (JxlDecoderSetImageOutBuffer(dec.get(), &format, out.pixels->pixels, bytes) != JXL_DEC_SUCCESS) break;
    } else if (status == JXL_DEC_FULL_IMAGE) {
      if (!out.pixels) break;
      // RGBA as libjxl writes it, turned to A, R, G, B in place.
      uint8_t* p = out.pixels->pixels;
      size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
      for (size_t i = 0; i < count; ++i, p += 4) decode::PutArgb(p, alpha ? p[3] : 255, p[0], p[1], p[2]);
      out.hasAlpha = alpha;
      out.iccProfile = std::move(profile);
      out.typeName = "JPEG XL";
      return true;
    } else {
      // An error, input that ends early, or an event nobody asked for.
      break;
    }
  }
  out = DecodedPicture();
  return false;
}

}  // namespace vl::formats
