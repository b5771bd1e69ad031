#include "browser_test_util.h"

#include "formats/jpeg_codec.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "test_support.h"

namespace vl::test {
namespace {

image::ChunkyPtr Gradient(int w, int h) {
  image::ChunkyPtr c(image::chk_Create(w, h, image::RGB24, false));
  if (!c) return nullptr;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = c->pixels + (static_cast<size_t>(y) * w + x) * 3;
      p[0] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
      p[1] = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
      p[2] = 128;
    }
  return c;
}

void Put16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& b, unsigned v) {
  Put16(b, v >> 16);
  Put16(b, v & 0xFFFF);
}

}  // namespace

bool WritePng(const std::string& path, int width, int height) {
  image::ChunkyPtr c = Gradient(width, height);
  return c && formats::SavePNG(c.get(), path.c_str(), false) == 1;
}

bool WriteJpeg(const std::string& path, int width, int height, int thumbWidth, int thumbHeight) {
  image::ChunkyPtr c = Gradient(width, height);
  if (!c || formats::SaveJPEG(c.get(), path.c_str(), 90, false, false) != 1) return false;
  if (thumbWidth <= 0) return true;
  std::string thumbPath = path + ".thumb";
  image::ChunkyPtr t = Gradient(thumbWidth, thumbHeight);
  if (!t || formats::SaveJPEG(t.get(), thumbPath.c_str(), 90, false, false) != 1) return false;
  std::vector<uint8_t> thumb = ReadFile(thumbPath);
  std::remove(thumbPath.c_str());
  std::vector<uint8_t> main = ReadFile(path);
  if (main.size() < 2 || thumb.empty()) return false;
  // TIFF block: IFD0 with the orientation, IFD1 with the thumbnail's offset and length.
  std::vector<uint8_t> tiff = {'M', 'M', 0, 0x2a};
  Put32(tiff, 8);
  Put16(tiff, 1);
  Put16(tiff, 0x112), Put16(tiff, 3), Put32(tiff, 1), Put16(tiff, 1), Put16(tiff, 0);
  Put32(tiff, 26);
  Put16(tiff, 2);
  Put16(tiff, 0x201), Put16(tiff, 4), Put32(tiff, 1), Put32(tiff, 56);
  Put16(tiff, 0x202), Put16(tiff, 4), Put32(tiff, 1), Put32(tiff, static_cast<unsigned>(thumb.size()));
  Put32(tiff, 0);
  tiff.insert(tiff.end(), thumb.begin(), thumb.end());
  std::vector<uint8_t> app1 = {0xFF, 0xE1};
  Put16(app1, static_cast<unsigned>(2 + 6 + tiff.size()));
  for (char ch : std::string("Exif\0\0", 6)) app1.push_back(static_cast<uint8_t>(ch));
  app1.insert(app1.end(), tiff.begin(), tiff.end());
  std::vector<uint8_t> out(main.begin(), main.begin() + 2);
  out.insert(out.end(), app1.begin(), app1.end());
  out.insert(out.end(), main.begin() + 2, main.end());
  return WriteFile(path, out);
}

}  // namespace vl::test
