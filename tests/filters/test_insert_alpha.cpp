#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "filters/insert_alpha.h"
#include "filters_test_util.h"
#include "formats/loader.h"
#include "image/resample.h"
#include "platform/requester.h"

namespace vl::filters {
namespace {

using test::At;
using test::Bytes;
using test::Pixel;

class ErrorRecorder : public platform::Requester {
 public:
  ErrorRecorder() { platform::SetRequester(this); }
  ~ErrorRecorder() override { platform::SetRequester(nullptr); }
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string&, const std::string&, const std::string&) override { return 0; }
  std::vector<std::string> errors;
};

// Writes an RGB PNG with the given (R, G, B) pixels.
bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<std::array<uint8_t, 3>>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

image::TexturePtr MakeCurrent(int width, int height, Pixel fill) {
  image::TexturePtr t(image::CreateTexture(width, height, image::ARGB32));
  EXPECT_TRUE(t);
  for (int i = 0; i < width * height; ++i) std::memcpy(t->chunky->pixels + i * 4, fill.data(), 4);
  return t;
}

// Nearest-neighbour stand-in for the resampler that records what it was asked.
struct RecordingScaler {
  int calls = 0;
  int method = -1;
  bool fail = false;
  image::ChunkyImage* operator()(const image::ChunkyImage* source, int width, int height, int m) {
    ++calls;
    method = m;
    if (fail) return nullptr;
    image::ChunkyImage* out = image::chk_Create(width, height, source->format, false);
    if (!out) return nullptr;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        std::memcpy(
            out->pixels + (static_cast<size_t>(y) * width + x) * 4,
            source->pixels +
                (static_cast<size_t>(y * source->height / height) * source->width + x * source->width / width) * 4,
            4);
    return out;
  }
};

class InsertAlphaTest : public test::PoolTest {
 protected:
  InsertAlphaTool MakeTool() {
    return InsertAlphaTool(formats::ReadPicture,
                           [this](const image::ChunkyImage* s, int w, int h, int m) { return scaler_(s, w, h, m); });
  }
  test::TempDir dir_;
  RecordingScaler scaler_;
  ErrorRecorder requester_;
};

TEST_F(InsertAlphaTest, SmallerAlphaImageWithoutResizing) {
  const std::string file = dir_.file("alpha.png");
  // Greys (R + G + B) / 3: 30, 91, 254, 0.
  ASSERT_TRUE(WriteRgbPng(file, 2, 2, {{{30, 30, 30}}, {{90, 91, 92}}, {{255, 255, 254}}, {{0, 0, 0}}}));
  auto current = MakeCurrent(4, 3, Pixel{10, 1, 2, 3});
  InsertAlphaTool tool = MakeTool();
  ASSERT_TRUE(tool.Run(current.get(), file, false, false));
  EXPECT_TRUE(requester_.errors.empty());
  EXPECT_EQ(scaler_.calls, 0);
  EXPECT_EQ(At(current->chunky, 0, 0), (Pixel{30, 1, 2, 3}));
  EXPECT_EQ(At(current->chunky, 1, 0), (Pixel{91, 1, 2, 3}));
  EXPECT_EQ(At(current->chunky, 0, 1), (Pixel{254, 1, 2, 3}));
  EXPECT_EQ(At(current->chunky, 1, 1), (Pixel{0, 1, 2, 3}));
  // Outside the alpha image the picture became fully opaque.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      if (x < 2 && y < 2) continue;
      EXPECT_EQ(At(current->chunky, x, y), (Pixel{255, 1, 2, 3})) << x << "," << y;
    }
  // The preview is the grey alpha image.
  ASSERT_NE(tool.Preview(), nullptr);
  EXPECT_EQ(At(tool.Preview()->chunky, 1, 0), (Pixel{255, 91, 91, 91}));
  tool.ClosePreview();
  EXPECT_EQ(tool.Preview(), nullptr);
}

TEST_F(InsertAlphaTest, NegativeOfWhiteMakesTheTargetTransparent) {
  const std::string file = dir_.file("white.png");
  ASSERT_TRUE(WriteRgbPng(file, 3, 2, std::vector<std::array<uint8_t, 3>>(6, {255, 255, 255})));
  auto current = MakeCurrent(3, 2, Pixel{255, 40, 50, 60});
  InsertAlphaTool tool = MakeTool();
  ASSERT_TRUE(tool.Run(current.get(), file, false, true));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(current->chunky, x, y), (Pixel{0, 40, 50, 60}));
}

TEST_F(InsertAlphaTest, ResizingFitsTheAlphaImageWithLanczos) {
  const std::string file = dir_.file("small.png");
  ASSERT_TRUE(WriteRgbPng(file, 2, 1, {{{60, 60, 60}}, {{200, 200, 200}}}));
  auto current = MakeCurrent(4, 2, Pixel{7, 1, 2, 3});
  InsertAlphaTool tool = MakeTool();
  ASSERT_TRUE(tool.Run(current.get(), file, true, false));
  EXPECT_EQ(scaler_.calls, 1);
  EXPECT_EQ(scaler_.method, 5);
  // Every pixel got alpha from the fitted image; nothing was forced opaque first.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(current->chunky, x, y)[0], x < 2 ? 60 : 200) << x << "," << y;
  ASSERT_NE(tool.Preview(), nullptr);
  EXPECT_EQ(tool.Preview()->chunky->width, 4);
  EXPECT_EQ(tool.Preview()->chunky->height, 2);
}

TEST_F(InsertAlphaTest, FailedResizeIsReportedAndChangesNothing) {
  const std::string file = dir_.file("small.png");
  ASSERT_TRUE(WriteRgbPng(file, 2, 1, {{{60, 60, 60}}, {{200, 200, 200}}}));
  auto current = MakeCurrent(4, 2, Pixel{7, 1, 2, 3});
  const auto before = Bytes(current->chunky);
  scaler_.fail = true;
  InsertAlphaTool tool = MakeTool();
  EXPECT_FALSE(tool.Run(current.get(), file, true, true));
  ASSERT_EQ(requester_.errors.size(), 1u);
  EXPECT_EQ(requester_.errors[0], "Not enough memory for resized image\n");
  EXPECT_EQ(Bytes(current->chunky), before);
  EXPECT_EQ(tool.Preview(), nullptr);
}

TEST_F(InsertAlphaTest, UnreadableFileIsReportedAndChangesNothing) {
  const std::string missing = dir_.file("missing.png");
  const std::string garbage = dir_.file("garbage.png");
  ASSERT_TRUE(test::WriteFile(garbage, std::string("\x89PNG\r\n\x1a\nthis is not a picture")));
  auto current = MakeCurrent(2, 2, Pixel{9, 1, 2, 3});
  const auto before = Bytes(current->chunky);
  InsertAlphaTool tool = MakeTool();
  EXPECT_FALSE(tool.Run(current.get(), missing, false, false));
  EXPECT_FALSE(tool.Run(current.get(), garbage, true, false));
  ASSERT_EQ(requester_.errors.size(), 2u);
  EXPECT_EQ(requester_.errors[0], "Failed to load alpha image\n");
  EXPECT_EQ(requester_.errors[1], "Failed to load alpha image\n");
  EXPECT_EQ(Bytes(current->chunky), before);
  EXPECT_EQ(scaler_.calls, 0);
  EXPECT_FALSE(tool.Run(nullptr, missing, false, false));
}

TEST_F(InsertAlphaTest, TheProgramResamplerFitsTheAlphaImage) {
  // A flat grey stays flat through Lanczos (its weights sum to exactly 1.0).
  const std::string file = dir_.file("flat.png");
  ASSERT_TRUE(WriteRgbPng(file, 3, 2, std::vector<std::array<uint8_t, 3>>(6, {120, 120, 123})));
  auto current = MakeCurrent(7, 5, Pixel{255, 1, 2, 3});
  InsertAlphaTool tool;
  ASSERT_TRUE(tool.Run(current.get(), file, true, true));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(At(current->chunky, x, y), (Pixel{255 - 121, 1, 2, 3})) << x << "," << y;
  // The preview is what ScaleImage makes of the grey picture.
  const std::string edge = dir_.file("edge.png");
  ASSERT_TRUE(WriteRgbPng(edge, 2, 1, {{{0, 0, 0}}, {{255, 255, 255}}}));
  ASSERT_TRUE(tool.Run(current.get(), edge, true, false));
  image::TexturePtr grey(formats::ReadPicture(edge.c_str()));
  ASSERT_TRUE(grey);
  image::ChunkyPtr expected(image::ScaleImage(grey->chunky, 7, 5, image::kMethodLanczos));
  ASSERT_TRUE(expected);
  EXPECT_EQ(Bytes(tool.Preview()->chunky), Bytes(expected.get()));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(At(current->chunky, x, y)[0], At(expected.get(), x, y)[1]);
}

}  // namespace
}  // namespace vl::filters
