#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "display/display.h"
#include "display/renderer.h"
#include "display/row_renderer.h"
#include "test_support.h"

namespace vl::display {
namespace {

class Display : public vl::test::PoolTest {};

image::ChunkyPtr Solid(int w, int h, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  image::ChunkyPtr c(image::chk_Create(w, h, image::ARGB32, false));
  image::Fill(c.get(), r, g, b, a);
  return c;
}

TEST_F(Display, FittingRules) {
  auto img = Solid(400, 400, 255, 1, 2, 3);
  DisplayState s;
  s.options.zoomToFit = s.options.shrinkToFit = true;
  s.userZoom = 1.5f;
  s.SetArea(400, 400);
  s.SetImage(img.get());
  EXPECT_FLOAT_EQ(s.scale, 1.5f) << "an image as large as the area: fit factor 1";

  auto wide = Solid(100, 50, 255, 0, 0, 0);
  DisplayState z;
  z.options.zoomToFit = true;
  z.SetArea(400, 400);
  z.SetImage(wide.get());
  EXPECT_FLOAT_EQ(z.scale, 4.0f);
  DisplayState sh;
  sh.options.shrinkToFit = true;
  sh.SetArea(400, 400);
  sh.SetImage(wide.get());
  EXPECT_FLOAT_EQ(sh.scale, 1.0f);

  auto big = Solid(800, 200, 255, 0, 0, 0);
  sh.SetImage(big.get());
  EXPECT_FLOAT_EQ(sh.scale, 0.5f) << "shrinks by width";
  auto tall = Solid(100, 800, 255, 0, 0, 0);
  sh.SetImage(tall.get());
  EXPECT_FLOAT_EQ(sh.scale, 0.5f) << "shrinks by height";

  DisplayState none;
  none.userZoom = 2.0f;
  none.SetArea(10, 10);
  none.SetImage(nullptr);
  EXPECT_FLOAT_EQ(none.scale, 2.0f);
  EXPECT_EQ(none.ScaleFixed(), 2 * 65536);
}

TEST_F(Display, ZoomLimits) {
  auto img = Solid(10, 10, 255, 0, 0, 0);
  DisplayState s;
  s.SetArea(100, 100);
  s.SetImage(img.get());
  int steps = 0;
  while (s.Zoom(ZoomInput::kIn) && steps < 1000) ++steps;
  EXPECT_GE(s.scale, kMaxZoomScale);
  EXPECT_LT(s.scale, kMaxZoomScale * 1.1f + 0.001f);
  s.Zoom(ZoomInput::kReset);
  EXPECT_FLOAT_EQ(s.userZoom, 1.0f);
  steps = 0;
  while (s.Zoom(ZoomInput::kOut) && steps < 1000) ++steps;
  EXPECT_LE(s.scale, kMinZoomScale);
  EXPECT_GE(s.userZoom, kMinUserZoom);

  DisplayState d;
  d.SetArea(100, 100);
  d.SetImage(img.get());
  for (int i = 0; i < 100; ++i) d.DragZoom(200);
  EXPECT_LE(d.userZoom, kMaxDragZoom);
  for (int i = 0; i < 100; ++i) d.DragZoom(-200);
  EXPECT_GE(d.userZoom, kMinDragZoom);
  EXPECT_EQ(ZoomInputForLinuxKey(13), ZoomInput::kIn);
  EXPECT_EQ(ZoomInputForLinuxKey(74), ZoomInput::kOut);
  EXPECT_EQ(ZoomInputForLinuxKey(82), ZoomInput::kReset);
  EXPECT_EQ(ZoomInputForLinuxKey(30), ZoomInput::kNone);
}

TEST_F(Display, RectanglesForSmallAndLargePictures) {
  auto small = Solid(100, 50, 255, 0, 0, 0);
  DisplayState s;
  s.SetArea(400, 300);
  s.SetImage(small.get());
  EXPECT_FLOAT_EQ(s.destination.x0, 150);
  EXPECT_FLOAT_EQ(s.destination.x1, 250);
  EXPECT_FLOAT_EQ(s.destination.y0, 125);
  EXPECT_FLOAT_EQ(s.destination.y1, 175);
  EXPECT_FLOAT_EQ(s.source.x1, 100);

  auto large = Solid(1000, 800, 255, 0, 0, 0);
  DisplayState l;
  l.SetArea(400, 300);
  l.SetImage(large.get());
  EXPECT_FLOAT_EQ(l.destination.x0, 0);
  EXPECT_FLOAT_EQ(l.destination.x1, 400);
  EXPECT_FLOAT_EQ(l.source.x0, 0);
  EXPECT_FLOAT_EQ(l.source.x1, 400);
  int sx, sy;
  l.PanBy(-10000, -10000, sx, sy);  // drag far to the upper left: pan to the far corner
  EXPECT_FLOAT_EQ(l.panX, 600);
  EXPECT_FLOAT_EQ(l.panY, 500);
  EXPECT_FLOAT_EQ(l.source.x1, 1000);
  EXPECT_FLOAT_EQ(l.source.y1, 800);
  EXPECT_FLOAT_EQ(l.source.x0, 600);
  EXPECT_EQ(sx, -600);
  l.PanBy(50, 0, sx, sy);
  EXPECT_FLOAT_EQ(l.panX, 550);
  EXPECT_EQ(sx, 50);
  // Zoomed in by 2: source and destination still map linearly.
  l.userZoom = 2.0f;
  l.ComputeScale();
  l.ComputeRects();
  EXPECT_NEAR((l.source.x1 - l.source.x0) * 2.0f, l.destination.x1 - l.destination.x0, 1e-3);
  l.ResetView();
  EXPECT_FLOAT_EQ(l.userZoom, 1.0f);
  l.options.keepZoom = true;
  l.userZoom = 3.0f;
  l.ResetView();
  EXPECT_FLOAT_EQ(l.userZoom, 3.0f) << "Keep carries the zoom over a reset";
}

TEST_F(Display, ZoomKeepsTheMiddleInPlace) {
  auto large = Solid(1000, 1000, 255, 0, 0, 0);
  DisplayState s;
  s.SetArea(200, 200);
  s.SetImage(large.get());
  int dx, dy;
  s.PanBy(-400, -400, dx, dy);  // middle of the area at source 500
  float midBefore = (s.source.x0 + s.source.x1) / 2;
  s.Zoom(ZoomInput::kIn);
  float midAfter = (s.source.x0 + s.source.x1) / 2;
  EXPECT_NEAR(midBefore, midAfter, 0.01);
}

// Direct evaluation of the row formulas, independent of RenderRow's loop.
void ExpectedPixel(const DisplayState& s, int x, int r, uint8_t out[3]) {
  const image::ChunkyImage* img = s.image;
  float sy = s.source.y0 + (r - s.destination.y0) * (s.source.y1 - s.source.y0) / (s.destination.y1 - s.destination.y0);
  int dx0 = static_cast<int>(s.destination.x0), dx1 = static_cast<int>(s.destination.x1);
  long long step = static_cast<long long>((s.source.x1 - s.source.x0) * 65536.0f) / (dx1 - dx0);
  long long fx = static_cast<long long>(s.source.x0 * 65536.0f) + step * (x - dx0);
  long long fy = static_cast<long long>(sy * 65536.0f);
  int ix = static_cast<int>(fx >> 16), iy = static_cast<int>(fy >> 16);
  auto px = [&](int xx, int yy, int c) { return static_cast<int>(img->pixels[(yy * img->width + xx) * 4 + c]); };
  int ch[4];
  if (s.UsesBilinear()) {
    unsigned ffx = fx & 0xFFFF, ffy = fy & 0xFFFF;
    unsigned w00 = ((65535 - ffx) * (65535 - ffy)) >> 24, w10 = (ffx * (65535 - ffy)) >> 24;
    unsigned w01 = ((65535 - ffx) * ffy) >> 24, w11 = 256 - w00 - w10 - w01;
    for (int c = 0; c < 4; ++c)
      ch[c] = static_cast<int>(
          (px(ix, iy, c) * w00 + px(ix + 1, iy, c) * w10 + px(ix, iy + 1, c) * w01 + px(ix + 1, iy + 1, c) * w11) >> 8);
  } else {
    for (int c = 0; c < 4; ++c) ch[c] = px(ix, iy, c);
  }
  int a = ch[0];
  for (int c = 0; c < 3; ++c) {
    int v = ch[c + 1];
    if (s.contents == kColorAlpha && a <= 251) {
      int X = x + static_cast<int>(s.panX * s.scale), Y = r + static_cast<int>(s.panY * s.scale);
      int g = 40 + 64 * (((X >> 3) & 1) ^ ((Y >> 3) & 1));
      v = g + (((v - g) * a) >> 8);
    } else if (s.contents == kAlpha) {
      v = a;
    }
    out[c] = static_cast<uint8_t>(v);
  }
}

TEST_F(Display, RenderedRowsMatchTheFormulas) {
  image::ChunkyPtr img(vl::test::RandomImage(37, 23, image::ARGB32, 5));
  int compared = 0;
  for (bool bilinear : {false, true})
    for (int mode : {0, 1, 2})
      for (float zoom : {1.0f, 2.7f, 0.6f}) {
        DisplayState s;
        s.options.bilinear = bilinear;
        s.contents = mode;
        s.userZoom = zoom;
        s.SetArea(61, 45);
        s.SetImage(img.get());
        int dx, dy;
        s.PanBy(-7, -5, dx, dy);
        std::vector<uint8_t> row(61 * 3, 0xEE);
        for (int r = 0; r < 45; ++r) {
          std::fill(row.begin(), row.end(), 0xEE);
          RenderRow(s, r, row.data());
          int dy0 = static_cast<int>(s.destination.y0), dy1 = static_cast<int>(s.destination.y1);
          float sy = s.source.y0 +
                     (r - s.destination.y0) * (s.source.y1 - s.source.y0) / (s.destination.y1 - s.destination.y0);
          bool drawn = r >= dy0 && r <= dy1 && sy >= 0 && sy < (s.UsesBilinear() ? img->height - 1 : img->height);
          int dx0 = static_cast<int>(s.destination.x0), dx1 = std::min(60, static_cast<int>(s.destination.x1));
          for (int x = 0; x < 61; ++x) {
            bool inside = drawn && x >= dx0 && x <= dx1;
            if (!inside) {
              EXPECT_EQ(row[x * 3], 0xEE) << "untouched outside the destination";
              continue;
            }
            // Columns whose fixed-point x runs past the last source pixel are clamped;
            // compare only the columns inside the source.
            long long step = static_cast<long long>((s.source.x1 - s.source.x0) * 65536.0f) /
                             (static_cast<int>(s.destination.x1) - dx0);
            long long fx = static_cast<long long>(s.source.x0 * 65536.0f) + step * (x - dx0);
            if ((fx >> 16) > (s.UsesBilinear() ? img->width - 2 : img->width - 1)) continue;
            uint8_t e[3];
            ExpectedPixel(s, x, r, e);
            ASSERT_EQ(row[x * 3], e[0]) << "bilinear " << bilinear << " mode " << mode << " zoom " << zoom << " at "
                                        << x << "," << r;
            ASSERT_EQ(row[x * 3 + 1], e[1]);
            ASSERT_EQ(row[x * 3 + 2], e[2]);
            ++compared;
          }
        }
      }
  EXPECT_GT(compared, 10000);
}

TEST_F(Display, AlphaThresholdAndNoBilinearAtScaleOne) {
  auto img = Solid(4, 4, 252, 200, 100, 50);
  DisplayState s;
  s.SetArea(4, 4);
  s.SetImage(img.get());
  uint8_t row[12];
  RenderRow(s, 0, row);
  EXPECT_EQ(row[0], 200) << "alpha 252 is drawn opaque";
  auto img2 = Solid(4, 4, 251, 200, 100, 50);
  s.SetImage(img2.get());
  RenderRow(s, 0, row);
  EXPECT_EQ(row[0], 40 + (((200 - 40) * 251) >> 8)) << "alpha 251 is blended with the checkerboard";

  // Bilinear at scale 1.0 is not applied: a hard edge stays hard.
  image::ChunkyPtr edge(image::chk_Create(4, 2, image::ARGB32, false));
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y) image::SetPixel(edge.get(), x, y, 255, x < 2 ? 0 : 255, 0, 0);
  DisplayState b;
  b.options.bilinear = true;
  b.SetArea(3, 1);
  b.SetImage(edge.get());
  ASSERT_FLOAT_EQ(b.scale, 1.0f);
  EXPECT_FALSE(b.UsesBilinear());
  uint8_t r3[9] = {};
  RenderRow(b, 0, r3);
  EXPECT_EQ(r3[0], 0);
  EXPECT_EQ(r3[3], 0);
  EXPECT_EQ(r3[6], 255);
}

TEST_F(Display, PointerAndSelection) {
  image::ChunkyPtr img(vl::test::RandomImage(10, 10, image::ARGB32, 9));
  DisplayState s;
  s.SetArea(20, 20);
  s.SetImage(img.get());  // centred at 5..15
  uint32_t argb;
  EXPECT_FALSE(s.PixelAt(2, 2, argb));
  ASSERT_TRUE(s.PixelAt(5.5f, 6.5f, argb));
  const uint8_t* p = img->pixels + (1 * 10 + 0) * 4;
  EXPECT_EQ(argb, (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]);
  s.selection = {1, 1, 5, 5};
  s.DragSelection(3, 8, 9);
  EXPECT_FLOAT_EQ(s.selection.x1, 8);
  EXPECT_FLOAT_EQ(s.selection.y1, 9);
  s.DragSelection(5, 0, 2);
  EXPECT_FLOAT_EQ(s.selection.y0, 2);
  EXPECT_FLOAT_EQ(s.selection.x0, 1) << "the top edge moves only y0";
  s.DragSelection(8, 3, 7);
  EXPECT_FLOAT_EQ(s.selection.x0, 3);
}

TEST_F(Display, ProgressiveRenderingInBandsAndStop) {
  auto img = Solid(30, 120, 255, 9, 8, 7);
  Renderer rd;
  rd.state().SetArea(30, 120);
  rd.state().background = 0x102030;
  rd.state().SetImage(img.get());
  rd.Command(kRenderCommand);
  EXPECT_TRUE(rd.InProgress());
  ASSERT_EQ(rd.buffer().size(), 30u * 120 * 3);
  EXPECT_EQ(rd.buffer()[0], 0x10) << "background first";
  std::vector<int> redrawAt;
  for (int i = 0; i < 20 && rd.InProgress(); ++i)
    if (rd.Pass()) redrawAt.push_back(rd.NextRow());
  EXPECT_EQ(redrawAt, (std::vector<int>{50, 100, 120}));
  EXPECT_EQ(rd.buffer()[0], 9);
  EXPECT_EQ(rd.buffer()[119 * 90], 9);

  rd.Command(kRenderCommand);
  rd.Pass();
  EXPECT_EQ(rd.NextRow(), 10);
  rd.Command(kStopCommand);
  EXPECT_FALSE(rd.InProgress());
  EXPECT_FALSE(rd.Pass());
  EXPECT_EQ(rd.buffer()[50 * 90], 0x10) << "rows after the stop stay background";

  rd.Command(kRenderNowCommand);
  EXPECT_EQ(rd.buffer()[119 * 90], 9) << "command 2 renders everything at once";
  EXPECT_TRUE(rd.Pass()) << "then one redraw";
  EXPECT_FALSE(rd.InProgress());
}

TEST_F(Display, ScrollRendersTheSameAsAFullRender) {
  image::ChunkyPtr img(vl::test::RandomImage(300, 200, image::ARGB32, 3));
  Renderer a, b;
  for (Renderer* r : {&a, &b}) {
    r->state().options.progressive = false;
    r->state().SetArea(80, 60);
    r->state().SetImage(img.get());
    r->Command(kRenderCommand);
  }
  int dx, dy;
  a.state().PanBy(-13, -7, dx, dy);
  a.Scroll(dx, dy);
  b.state().PanBy(-13, -7, dx, dy);
  b.Command(kRenderCommand);
  EXPECT_EQ(a.buffer(), b.buffer());
  a.state().PanBy(21, 4, dx, dy);
  a.Scroll(dx, dy);
  b.state().PanBy(21, 4, dx, dy);
  b.Command(kRenderCommand);
  EXPECT_EQ(a.buffer(), b.buffer());
}

TEST_F(Display, OverlayBlendsOverTheFirstRows) {
  auto img = Solid(10, 10, 255, 0, 0, 0);
  image::ChunkyPtr overlay(image::chk_Create(20, 2, image::ARGB32, false));
  image::Fill(overlay.get(), 255, 255, 255, 255);
  Renderer rd;
  rd.state().options.progressive = false;
  rd.state().SetArea(10, 10);
  rd.state().SetImage(img.get());
  rd.SetOverlay(overlay.get());
  rd.Command(kRenderCommand);
  EXPECT_EQ(rd.buffer()[0], 255);
  EXPECT_EQ(rd.buffer()[1 * 30], 255);
  EXPECT_EQ(rd.buffer()[2 * 30], 0);
}

// The selection's rules: inside the picture, the ratio kept while dragged, whole pixels.
TEST_F(Display, SelectionStaysInsideThePictureAndKeepsItsAspect) {
  image::ChunkyPtr img(vl::test::RandomImage(40, 20, image::ARGB32, 3));
  DisplayState s;
  s.SetSelection(Rect{1, 1, 5, 5});
  EXPECT_FLOAT_EQ(s.selection.x1, 0) << "no picture, no selection";
  s.SetArea(100, 100);
  s.SetImage(img.get());
  s.SetSelection(Rect{-5, 3, 60, 30});
  EXPECT_FLOAT_EQ(s.selection.x0, 0);
  EXPECT_FLOAT_EQ(s.selection.y0, 3);
  EXPECT_FLOAT_EQ(s.selection.x1, 40);
  EXPECT_FLOAT_EQ(s.selection.y1, 20);
  // Free: a handle dragged past the edge stops at it.
  s.DragSelection(1, -3, -8);
  EXPECT_FLOAT_EQ(s.selection.x0, 0);
  EXPECT_FLOAT_EQ(s.selection.y0, 0);

  // 2:1 from the corner at (10, 4): the longer side the pointer asks for wins.
  s.selectionAspect = 2.0f;
  s.selection = Rect{10, 4, 12, 6};
  s.DragSelection(3, 30, 6);
  EXPECT_FLOAT_EQ(s.selection.x1, 30);
  EXPECT_FLOAT_EQ(s.selection.y1, 14);
  s.DragSelection(3, 12, 10);
  EXPECT_FLOAT_EQ(s.selection.x1, 22);
  EXPECT_FLOAT_EQ(s.selection.y1, 10);
  // An edge takes the other side along; the opposite corner stays.
  s.DragSelection(6, 20, 0);
  EXPECT_FLOAT_EQ(s.selection.x1, 20);
  EXPECT_FLOAT_EQ(s.selection.y1, 9);
  EXPECT_FLOAT_EQ(s.selection.x0, 10);
  EXPECT_FLOAT_EQ(s.selection.y0, 4);
  // Past the picture's bottom the whole rectangle shrinks to fit, still 2:1.
  s.DragSelection(7, 0, 50);
  EXPECT_FLOAT_EQ(s.selection.x1, 40);
  EXPECT_FLOAT_EQ(s.selection.y1, 19);
  EXPECT_FLOAT_EQ((s.selection.x1 - s.selection.x0) / (s.selection.y1 - s.selection.y0), 2.0f);
  // Dragged over the anchor, it turns round it.
  s.selection = Rect{10, 10, 20, 15};
  s.DragSelection(3, 4, 12);
  EXPECT_FLOAT_EQ(s.selection.x1, 4);
  EXPECT_FLOAT_EQ(s.selection.y1, 13);
  EXPECT_FLOAT_EQ(s.selection.x0, 10);
  // A ratio set later reshapes the selection from its first corner.
  s.selectionAspect = 1.0f;
  s.selection = Rect{2, 2, 12, 6};
  s.FitSelectionToAspect();
  EXPECT_FLOAT_EQ(s.selection.x1, 12);
  EXPECT_FLOAT_EQ(s.selection.y1, 12);
}

TEST(SelectionPixels, RoundsToPixelEdgesInAnyCornerOrder) {
  EXPECT_EQ(SelectionPixels(Rect{9.6f, 7.4f, 2.2f, 1.5f}), (PixelRect{2, 2, 8, 5}));
  EXPECT_EQ(SelectionPixels(Rect{3, 3, 3.2f, 9}), (PixelRect{3, 3, 0, 0})) << "narrower than a pixel";
  const PixelRect p{4, 5, 6, 7};
  EXPECT_EQ(SelectionPixels(SelectionOf(p)), p);
}

TEST(AspectPresets, FreeThePicturesOwnAndThePortraitForms) {
  EXPECT_EQ(AspectOf(0, 300, 200), 0.0f);
  EXPECT_FLOAT_EQ(AspectOf(1, 300, 200), 1.5f);
  EXPECT_EQ(AspectOf(1, 0, 0), 0.0f) << "no picture";
  EXPECT_EQ(AspectOf(kAspectPresetCount, 300, 200), 0.0f);
  EXPECT_EQ(AspectOf(-1, 300, 200), 0.0f);
  // Every landscape ratio has its portrait form, the inverse.
  int pairs = 0;
  for (int i = 2; i < kAspectPresetCount; ++i)
    for (int j = 2; j < kAspectPresetCount; ++j)
      if (i != j && kAspectPresets[i].width == kAspectPresets[j].height &&
          kAspectPresets[i].height == kAspectPresets[j].width) {
        EXPECT_FLOAT_EQ(AspectOf(i, 1, 1) * AspectOf(j, 1, 1), 1.0f);
        ++pairs;
      }
  EXPECT_EQ(pairs, 6);  // 3:2, 4:3, 16:9 both ways
}

}  // namespace
}  // namespace vl::display
