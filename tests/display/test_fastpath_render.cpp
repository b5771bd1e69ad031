// Whole frames rendered with rows split over the thread pool against one thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/renderer.h"
#include "image/chunky.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::display {
namespace {

struct View {
  int imageW, imageH, areaW, areaH;
  bool bilinear, zoomToFit;
  int contents;
};

std::vector<uint8_t> RenderFrame(const image::ChunkyImage* img, const image::ChunkyImage* overlay, const View& v,
                                 int threads) {
  platform::ScopedThreadCount scope(threads, threads > 1);
  Renderer rd;
  rd.state().options.progressive = false;
  rd.state().options.bilinear = v.bilinear;
  rd.state().options.zoomToFit = rd.state().options.shrinkToFit = v.zoomToFit;
  rd.state().contents = v.contents;
  rd.state().background = 0x203040;
  rd.state().SetArea(v.areaW, v.areaH);
  rd.state().SetImage(img);
  rd.SetOverlay(overlay);
  rd.Command(kRenderNowCommand);
  return rd.buffer();
}

class FastPathRender : public test::PoolTest {};

TEST_F(FastPathRender, FullFramesMatchSerialRowsInEveryMode) {
  const View views[] = {
      {97, 61, 97, 61, false, false, kColorAlpha},  {97, 61, 200, 150, false, true, kColorAlpha},
      {97, 61, 200, 150, true, true, kColorAlpha},  {301, 203, 64, 37, true, true, kColorAlpha},
      {301, 203, 64, 37, false, true, kColorAlpha}, {2, 3, 41, 29, true, true, kColorAlpha},
      {1, 1, 5, 5, false, true, kColorAlpha},       {130, 70, 50, 90, false, false, kColorAlpha},
      {97, 61, 150, 99, true, true, kColor},        {97, 61, 150, 99, false, true, kAlpha},
  };
  image::ChunkyPtr overlay(test::RandomImage(30, 4, image::ARGB32, 77));
  ASSERT_TRUE(overlay);
  for (const View& v : views) {
    image::ChunkyPtr img(test::RandomImage(v.imageW, v.imageH, image::ARGB32, static_cast<uint32_t>(v.imageW)));
    ASSERT_TRUE(img);
    const image::ChunkyImage* overlays[] = {nullptr, overlay.get()};
    for (const image::ChunkyImage* ov : overlays) {
      const std::string what = std::to_string(v.imageW) + "x" + std::to_string(v.imageH) + " in " +
                               std::to_string(v.areaW) + "x" + std::to_string(v.areaH) +
                               (v.bilinear ? " bilinear" : " nearest") + (ov ? " overlay" : "");
      const std::vector<uint8_t> serial = RenderFrame(img.get(), ov, v, 1);
      const std::vector<uint8_t> threaded = RenderFrame(img.get(), ov, v, 3);
      ASSERT_EQ(serial.size(), static_cast<size_t>(v.areaW) * v.areaH * 3) << what;
      EXPECT_EQ(serial, threaded) << what;
      // The frame shows the picture, not only the background.
      bool picture = false;
      for (size_t i = 0; i + 2 < serial.size() && !picture; i += 3)
        picture = serial[i] != 0x20 || serial[i + 1] != 0x30 || serial[i + 2] != 0x40;
      EXPECT_TRUE(picture) << what;
    }
  }
}

}  // namespace
}  // namespace vl::display
