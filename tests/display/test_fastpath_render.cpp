// Whole frames rendered with rows split over the thread pool against one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/renderer.h"
#include "display/row_renderer.h"
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

// Every row of a view through RenderRow and through the plain loop; false at the first
// row that differs.
bool RowsMatchThePlainLoop(const DisplayState& d, std::string& where) {
  std::vector<uint8_t> fast(static_cast<size_t>(d.areaWidth) * 3), plain(fast.size());
  for (int r = 0; r < d.areaHeight; ++r) {
    std::fill(fast.begin(), fast.end(), 0x5A);
    std::fill(plain.begin(), plain.end(), 0x5A);
    RenderRow(d, r, fast.data());
    RenderRowPlain(d, r, plain.data());
    if (fast != plain) {
      where = "row " + std::to_string(r);
      return false;
    }
  }
  return true;
}

TEST_F(FastPathRender, BilinearRowsMatchThePlainLoopAtEveryZoomPanAndMode) {
  // Pictures with random alpha (so the checkerboard blend runs) and fully opaque ones;
  // areas narrower and wider than a block of eight, zooms in and out, pans both ways.
  struct Case {
    int imageW, imageH, areaW, areaH;
    float zoom, panX, panY;
  };
  const Case cases[] = {
      {97, 61, 200, 150, 1.7f, 0, 0},
      {97, 61, 200, 150, 3.3f, 13.5f, -7.25f},
      {301, 203, 64, 37, 1.0f, 0, 0},
      {301, 203, 250, 170, 0.6f, 0, 0},
      {2, 3, 41, 29, 1.0f, 0, 0},
      {9, 9, 7, 5, 2.0f, 0, 0},
      {1000, 31, 333, 40, 4.9f, -120.0f, 3.0f},
      {17, 5, 300, 90, 9.0f, 2.5f, 1.5f},
  };
  int compared = 0;
  for (const Case& c : cases) {
    for (bool opaque : {false, true}) {
      image::ChunkyPtr img(test::RandomImage(c.imageW, c.imageH, image::ARGB32, static_cast<uint32_t>(c.imageW * 7)));
      ASSERT_TRUE(img);
      if (opaque)
        for (size_t i = 0; i < image::BufferBytes(c.imageW, c.imageH, image::ARGB32); i += 4) img->pixels[i] = 255;
      for (int contents : {kColorAlpha, kColor, kAlpha}) {
        DisplayState d;
        DisplayOptions o;
        o.bilinear = true;
        o.zoomToFit = o.shrinkToFit = true;
        d.SetArea(c.areaW, c.areaH);
        d.ApplyOptions(o);
        d.SetImage(img.get());
        d.contents = contents;
        d.userZoom = c.zoom;
        d.ComputeScale();
        d.panX = c.panX;
        d.panY = c.panY;
        d.ComputeRects();
        std::string where;
        EXPECT_TRUE(RowsMatchThePlainLoop(d, where))
            << c.imageW << "x" << c.imageH << " in " << c.areaW << "x" << c.areaH << " zoom " << c.zoom << " contents "
            << contents << (opaque ? " opaque " : " ") << where;
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 8 * 2 * 3);
}

}  // namespace
}  // namespace vl::display
