// The rendering task, the "Display" menu model, selection handles and re-centring at the
// pan limits.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/display_menu.h"
#include "display/render_task.h"
#include "display/renderer.h"
#include "test_support.h"

namespace vl::display {
namespace {

class DisplayTask : public vl::test::PoolTest {};

image::ChunkyPtr Solid(int w, int h, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  image::ChunkyPtr c(image::chk_Create(w, h, image::ARGB32, false));
  image::Fill(c.get(), r, g, b, a);
  return c;
}

TEST_F(DisplayTask, ZoomOutAtThePanLimitKeepsTheMiddleThenClamps) {
  auto img = Solid(1000, 1000, 255, 0, 0, 0);
  DisplayState s;
  s.SetArea(100, 100);
  s.SetImage(img.get());
  int dx, dy;
  s.PanBy(-5000, 0, dx, dy);
  ASSERT_FLOAT_EQ(s.panX, 900.0f) << "panned to the right end";
  s.Zoom(ZoomInput::kOut);
  // The wanted pan (middle kept) lies beyond the new limit, so the picture's right edge
  // stays on the area's right edge.
  EXPECT_NEAR(s.source.x1, 1000.0f, 0.01f);
  EXPECT_NEAR(s.destination.x1, 100.0f, 0.01f);

  // Away from the limits the middle stays where it was when zooming out.
  s.PanBy(400, 0, dx, dy);
  float midBefore = (s.source.x0 + s.source.x1) / 2;
  s.Zoom(ZoomInput::kOut);
  EXPECT_NEAR((s.source.x0 + s.source.x1) / 2, midBefore, 0.05f);
}

TEST_F(DisplayTask, CoordinatesRoundTripAndHandlesArePicked) {
  auto img = Solid(100, 50, 255, 0, 0, 0);
  DisplayState s;
  s.options.zoomToFit = true;
  s.SetArea(400, 400);  // scale 4, picture at y 100..300
  s.SetImage(img.get());
  float ix, iy, bx, by;
  ASSERT_TRUE(s.BufferToImage(200, 200, ix, iy));
  EXPECT_FLOAT_EQ(ix, 50.0f);
  EXPECT_FLOAT_EQ(iy, 25.0f);
  ASSERT_TRUE(s.ImageToBuffer(10, 5, bx, by));
  EXPECT_FLOAT_EQ(bx, 40.0f);
  EXPECT_FLOAT_EQ(by, 120.0f);

  s.selection = Rect{10, 10, 60, 40};  // buffer 40,140 .. 240,260
  EXPECT_EQ(s.PickHandle(41, 139, 4), 1);
  EXPECT_EQ(s.PickHandle(240, 140, 4), 2);
  EXPECT_EQ(s.PickHandle(238, 262, 4), 3);
  EXPECT_EQ(s.PickHandle(40, 260, 4), 4);
  EXPECT_EQ(s.PickHandle(140, 142, 4), 5);
  EXPECT_EQ(s.PickHandle(243, 200, 4), 6);
  EXPECT_EQ(s.PickHandle(100, 257, 4), 7);
  EXPECT_EQ(s.PickHandle(37, 200, 4), 8);
  EXPECT_EQ(s.PickHandle(140, 200, 4), 0) << "inside, far from the edges";
  EXPECT_EQ(s.PickHandle(300, 140, 4), 0) << "on the top edge's line but past its end";

  s.DragSelection(6, 80, 0);
  EXPECT_FLOAT_EQ(s.selection.x1, 80.0f);
  EXPECT_FLOAT_EQ(s.selection.y0, 10.0f) << "the right edge moves x1 only";

  DisplayState empty;
  EXPECT_FALSE(empty.BufferToImage(1, 1, ix, iy));
  EXPECT_EQ(empty.PickHandle(0, 0, 4), 0);
}

TEST_F(DisplayTask, PointerReportsThePixelDrawnUnderIt) {
  image::ChunkyPtr img(vl::test::RandomImage(61, 43, image::ARGB32, 4));
  struct View {
    int w, h;
    float zoom, panX, panY;
  };
  for (const View v : {View{200, 150, 1.0f, 0, 0}, View{201, 151, 1.0f, 0, 0}, View{90, 70, 2.3f, 7.5f, 3.25f},
                       View{50, 40, 5.0f, 40.0f, 30.0f}, View{300, 200, 0.7f, 0, 0}}) {
    Renderer rd;
    rd.state().options.progressive = false;
    rd.state().contents = kColor;
    rd.state().userZoom = v.zoom;
    rd.state().SetArea(v.w, v.h);
    rd.state().SetImage(img.get());
    int dx, dy;
    rd.state().PanBy(-v.panX * v.zoom, -v.panY * v.zoom, dx, dy);
    rd.Command(kRenderCommand);
    int hits = 0;
    for (int y = 0; y < v.h; ++y)
      for (int x = 0; x < v.w; ++x) {
        uint32_t argb;
        if (!rd.state().PixelAt(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f, argb)) continue;
        const uint8_t* b = rd.buffer().data() + (static_cast<size_t>(y) * v.w + x) * 3;
        ASSERT_EQ(b[0], (argb >> 16) & 0xFF) << x << "," << y << " in " << v.w << "x" << v.h;
        ASSERT_EQ(b[1], (argb >> 8) & 0xFF);
        ASSERT_EQ(b[2], argb & 0xFF);
        ++hits;
      }
    EXPECT_GT(hits, 1000) << "most of the area shows the picture";
  }
}

TEST_F(DisplayTask, AnAreaTooLargeForABufferRendersNothing) {
  auto img = Solid(4, 4, 255, 1, 2, 3);
  Renderer rd;
  rd.state().options.progressive = false;
  rd.state().SetArea(8, 8);
  rd.state().SetImage(img.get());
  rd.Command(kRenderCommand);
  ASSERT_EQ(rd.bufferWidth(), 8);
  rd.state().SetArea(1 << 15, 1 << 14);  // 2^29 pixels: over the buffer limit
  rd.Command(kRenderCommand);
  EXPECT_EQ(rd.bufferWidth(), 0);
  EXPECT_TRUE(rd.buffer().empty());
  EXPECT_TRUE(rd.Pass()) << "the idle pass still asks for a redraw";
  EXPECT_FALSE(rd.InProgress());
}

const DisplayMenuItem* Find(const std::vector<DisplayMenuItem>& items, const std::string& label) {
  for (const auto& i : items) {
    if (label == i.label) return &i;
    if (const DisplayMenuItem* c = Find(i.children, label)) return c;
  }
  return nullptr;
}

TEST_F(DisplayTask, MenuItemsAndTheirInitialCheckMarks) {
  const auto& menu = DisplayMenu();
  std::vector<std::string> top;
  for (const auto& i : menu) top.push_back(i.label);
  EXPECT_EQ(top, (std::vector<std::string>{"Auto image size", "Zoom", "Filtering", "Contents", "Subtask"}));
  DisplayState s;
  std::vector<std::string> checked;
  for (const auto& i : menu) {
    if (i.kind != MenuKind::kSubmenu && IsChecked(s, i.action)) checked.push_back(i.label);
    for (const auto& c : i.children)
      if (IsChecked(s, c.action)) checked.push_back(c.label);
  }
  EXPECT_EQ(checked, (std::vector<std::string>{"None", "Color + Alpha", "Subtask"}));
  ASSERT_NE(Find(menu, "Shrink to fit display area"), nullptr);
  EXPECT_EQ(Find(menu, "Shrink to fit display area")->kind, MenuKind::kToggle);
  EXPECT_EQ(Find(menu, "Bilinear")->kind, MenuKind::kRadio);
  EXPECT_EQ(Find(menu, "Alpha")->action, MenuAction::kContentsAlpha);
}

TEST_F(DisplayTask, MenuActionsChangeTheState) {
  auto img = Solid(100, 50, 255, 0, 0, 0);
  DisplayState s;
  s.SetArea(400, 400);
  s.SetImage(img.get());
  EXPECT_FLOAT_EQ(s.scale, 1.0f);
  EXPECT_TRUE(ApplyMenuAction(s, MenuAction::kZoomToFit));
  EXPECT_FLOAT_EQ(s.scale, 4.0f) << "the scale follows the fitting rule at once";
  EXPECT_TRUE(IsChecked(s, MenuAction::kZoomToFit));
  ApplyMenuAction(s, MenuAction::kZoomToFit);
  EXPECT_FLOAT_EQ(s.scale, 1.0f);

  ApplyMenuAction(s, MenuAction::kFilterBilinear);
  EXPECT_TRUE(s.options.bilinear);
  EXPECT_EQ(s.sourceWidth, 99) << "bilinear drops the last column from the source size";
  EXPECT_FALSE(IsChecked(s, MenuAction::kFilterNone));
  ApplyMenuAction(s, MenuAction::kFilterBilinear);
  EXPECT_TRUE(s.options.bilinear) << "a radio item selects, it does not toggle";
  ApplyMenuAction(s, MenuAction::kFilterNone);
  EXPECT_EQ(s.sourceWidth, 100);

  ApplyMenuAction(s, MenuAction::kContentsAlpha);
  EXPECT_EQ(s.contents, kAlpha);
  EXPECT_FALSE(IsChecked(s, MenuAction::kContentsColorAlpha));
  EXPECT_FALSE(ApplyMenuAction(s, MenuAction::kKeepZoom)) << "Keep needs no rendering";
  s.userZoom = 2.0f;
  s.ResetView();
  EXPECT_FLOAT_EQ(s.userZoom, 2.0f) << "Keep carries the zoom over a reset";
  ApplyMenuAction(s, MenuAction::kSubtask);
  EXPECT_FALSE(s.options.progressive);
}

struct RedrawCounter {
  std::atomic<int> count{0};
  std::function<void()> Callback() {
    return [this] { ++count; };
  }
};

TEST_F(DisplayTask, ProgressiveTaskRendersWhatAFullRenderGives) {
  image::ChunkyPtr img(vl::test::RandomImage(77, 133, image::ARGB32, 9));
  Renderer direct;
  direct.state().options.progressive = false;
  direct.state().SetArea(90, 120);
  direct.state().SetImage(img.get());
  direct.Command(kRenderCommand);

  Renderer rd;
  RedrawCounter redraws;
  {
    std::lock_guard<std::recursive_mutex> g(rd.Lock());
    rd.state().SetArea(90, 120);
    rd.state().SetImage(img.get());
  }
  RenderTask task(rd, redraws.Callback());
  ASSERT_TRUE(task.Running());
  task.Send(kRenderCommand);
  task.WaitIdle();
  std::lock_guard<std::recursive_mutex> g(rd.Lock());
  EXPECT_FALSE(rd.InProgress());
  EXPECT_EQ(rd.buffer(), direct.buffer());
  EXPECT_EQ(redraws.count.load(), 3) << "at rows 50, 100 and the last";
}

TEST_F(DisplayTask, StopBeforeFreeingTheImage) {
  // Command 1, then a new image: the task must never touch the freed one (the sanitizer
  // build catches a read).
  Renderer rd;
  RedrawCounter redraws;
  RenderTask task(rd, redraws.Callback());
  for (int round = 0; round < 20; ++round) {
    image::ChunkyImage* img = vl::test::RandomImage(400, 300, image::ARGB32, round);
    {
      std::lock_guard<std::recursive_mutex> g(rd.Lock());
      rd.state().options.bilinear = (round & 1) != 0;
      rd.state().userZoom = 3.0f;
      rd.state().SetArea(300, 400);
      rd.state().SetImage(img);
    }
    task.Send(kRenderCommand);
    task.Send(kStopCommand);
    {
      std::lock_guard<std::recursive_mutex> g(rd.Lock());
      EXPECT_FALSE(rd.InProgress());
      EXPECT_EQ(rd.NextRow(), 0);
      rd.state().SetImage(nullptr);
    }
    image::chk_Free(img);
  }
  task.WaitIdle();
  // Without an image the task only asks for a redraw of the background.
  int before = redraws.count.load();
  task.Send(kRenderCommand);
  task.WaitIdle();
  EXPECT_EQ(redraws.count.load(), before + 1);
}

TEST_F(DisplayTask, RenderNowIsCompleteWhenTheSendReturns) {
  auto img = Solid(20, 200, 255, 7, 7, 7);
  Renderer rd;
  RedrawCounter redraws;
  {
    std::lock_guard<std::recursive_mutex> g(rd.Lock());
    rd.state().SetArea(20, 200);
    rd.state().SetImage(img.get());
  }
  RenderTask task(rd, redraws.Callback());
  task.Send(kRenderNowCommand);
  {
    std::lock_guard<std::recursive_mutex> g(rd.Lock());
    ASSERT_EQ(rd.buffer().size(), 20u * 200 * 3);
    EXPECT_EQ(rd.buffer()[199 * 60], 7) << "the last row is there before any pass";
  }
  task.WaitIdle();
  EXPECT_EQ(redraws.count.load(), 1);
}

}  // namespace
}  // namespace vl::display
