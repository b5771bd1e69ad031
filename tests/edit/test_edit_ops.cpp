// The operations of edit/: a window's worker (Run on private buffers) and the edit step
// (Apply on the controller) give the same bytes; a raised stop flag ends a run early.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controller.h"
#include "edit/blur_ops.h"
#include "edit/composite_ops.h"
#include "edit/geometry_ops.h"
#include "edit/tone_ops.h"
#include "platform/thread_pool.h"
#include "test_support.h"

namespace vl::edit {
namespace {

using RunFn = std::function<bool(const image::ChunkyImage&, image::ChunkyImage&, const StopFlag&)>;
using ApplyFn = std::function<int(app::Controller&)>;

struct SameSizeCase {
  const char* name;
  RunFn run;
  ApplyFn apply;
};

std::vector<SameSizeCase> SameSizeCases() {
  LevelsParams levels;
  levels.low = 30;
  levels.high = 200;
  LevelsParams autoLevels;
  autoLevels.autoLevels = true;
  ContrastGammaParams cg{150, 80, filters::kColourAndAlpha};
  RGBBalanceParams rgb{50, 120, 180, 90};
  HSVBalanceParams hsv{-40, 130, 90};
  SmoothParams smooth{3, 1};
  GaussianBlurParams gauss;
  gauss.radius = 2.5f;
  gauss.mode = filters::kColourAndAlpha;
  NoiseReductionParams noise;
  noise.radius = 1.5f;
  NoiseReductionParams median;
  median.filter = NoiseFilter::kMedian;
  median.size = 3;
  median.threshold = 200;
  median.mode = filters::kAlphaOnly;
  SharpenParams sharpen{3, 70};
  MedianParams rank{RankMethod::kMedian, 2, true};
  StraightenParams straighten{3.5f, true};
  GlowParams glow;
  glow.mode = filters::kBlendScreen;
  BlenderParams blender{0x336699};
  auto run = [](auto params, auto fn) -> RunFn {
    return [params, fn](const image::ChunkyImage& s, image::ChunkyImage& d, const StopFlag& stop) {
      return fn(s, d, params, stop);
    };
  };
  auto apply = [](auto params, auto fn) -> ApplyFn {
    return [params, fn](app::Controller& c) { return fn(c, params); };
  };
  return {
      {"Levels", run(levels, RunLevels), apply(levels, ApplyLevels)},
      {"AutoLevels", run(autoLevels, RunLevels), apply(autoLevels, ApplyLevels)},
      {"ContrastGamma", run(cg, RunContrastGamma), apply(cg, ApplyContrastGamma)},
      {"RGBBalance", run(rgb, RunRGBBalance), apply(rgb, ApplyRGBBalance)},
      {"HSVBalance", run(hsv, RunHSVBalance), apply(hsv, ApplyHSVBalance)},
      {"Smooth", run(smooth, RunSmooth), apply(smooth, ApplySmooth)},
      {"GaussianBlur", run(gauss, RunGaussianBlur), apply(gauss, ApplyGaussianBlur)},
      {"NoiseReductionGaussian", run(noise, RunNoiseReduction), apply(noise, ApplyNoiseReduction)},
      {"NoiseReductionMedian", run(median, RunNoiseReduction), apply(median, ApplyNoiseReduction)},
      {"Sharpen", run(sharpen, RunSharpen), apply(sharpen, ApplySharpen)},
      {"Median", run(rank, RunMedian), apply(rank, ApplyMedian)},
      {"Straighten", run(straighten, RunStraighten), apply(straighten, ApplyStraighten)},
      {"Glow", run(glow, RunGlow), apply(glow, ApplyGlow)},
      {"Blender", run(blender, RunBlender), apply(blender, ApplyBlender)},
      {"Grayscale",
       [](const image::ChunkyImage& s, image::ChunkyImage& d, const StopFlag& stop) {
         return RunGrayscale(s, d, stop);
       },
       ApplyGrayscale},
  };
}

class EditOps : public test::PoolTest {
 protected:
  // A controller whose picture is a random w x h ARGB32 image with varied alpha.
  void Open(int w, int h) {
    controller_ = std::make_unique<app::Controller>();
    controller_->SetReader([w, h](const char* path) -> image::Texture* {
      image::Texture* t = image::CreateTexture(w, h, image::ARGB32);
      image::ChunkyPtr pattern(test::RandomImage(w, h, image::ARGB32, 11));
      std::memcpy(t->chunky->pixels, pattern->pixels, image::BufferBytes(w, h, image::ARGB32));
      t->name = path;
      return t;
    });
    ASSERT_EQ(controller_->OpenPicture("random"), 0);
  }
  void TearDown() override {
    controller_.reset();
    PoolTest::TearDown();
  }
  image::ChunkyImage& Current() { return *controller_->currentImage()->chunky; }
  static std::vector<uint8_t> Bytes(const image::ChunkyImage& c) {
    return {c.pixels, c.pixels + image::BufferBytes(c.width, c.height, c.format)};
  }
  std::unique_ptr<app::Controller> controller_;
};

TEST_F(EditOps, AWorkerRunGivesTheBytesOfTheEditStep) {
  for (const SameSizeCase& op : SameSizeCases()) {
    SCOPED_TRACE(op.name);
    Open(67, 41);
    image::ChunkyPtr src(image::chk_Duplicate(&Current()));
    image::ChunkyPtr dst(image::chk_Create(src->width, src->height, src->format, true));
    ASSERT_TRUE(op.run(*src, *dst, NeverStop()));
    ASSERT_EQ(op.apply(*controller_), 0);
    EXPECT_EQ(Bytes(*dst), Bytes(Current()));
    EXPECT_NE(Bytes(*dst), Bytes(*src)) << "the operation changed nothing: the case tests nothing";
    // Grayscale commits its backup as the undo image; the others keep it for the window.
    const image::Texture* kept = controller_->editBackup() ? controller_->editBackup() : controller_->undoImage();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(Bytes(*src), Bytes(*kept->chunky)) << "the edit step reads the untouched backup";
    // The run reads only its source: running again from the same source gives the same bytes.
    image::ChunkyPtr again(image::chk_Create(src->width, src->height, src->format, true));
    ASSERT_TRUE(op.run(*src, *again, NeverStop()));
    EXPECT_EQ(Bytes(*again), Bytes(*dst));
  }
}

TEST_F(EditOps, ARaisedStopFlagEndsARunWithoutAResult) {
  for (const SameSizeCase& op : SameSizeCases()) {
    SCOPED_TRACE(op.name);
    Open(40, 30);
    image::ChunkyPtr dst(image::chk_Create(40, 30, image::ARGB32, true));
    StopFlag stop;
    stop.Request();
    EXPECT_FALSE(op.run(Current(), *dst, stop));
  }
  // Geometry that makes a new buffer stops too.
  Open(40, 30);
  StopFlag stop;
  stop.Request();
  image::ChunkyPtr out;
  ScaleParams half;
  half.width = 20;
  half.height = 15;
  EXPECT_FALSE(RunScale(Current(), out, half, stop));
  EXPECT_FALSE(RunCrop(Current(), out, CropParams{1, 1, 5, 5}, stop));
}

TEST(EditThreadPool, AStopRaisedDuringTheWorkSkipsThePiecesNotStarted) {
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    platform::ScopedThreadCount count(threads, true);
    StopFlag stop;
    std::atomic<int64_t> ran{0};
    {
      platform::ScopedStopFlag scope(stop);
      platform::ParallelFor(0, 1000, 1, [&](int64_t lo, int64_t hi) {
        ran += hi - lo;
        stop.Request();  // raised by the first piece that runs
      });
      EXPECT_TRUE(platform::StopRequested());
    }
    EXPECT_FALSE(platform::StopRequested()) << "the flag is in force only inside its scope";
    EXPECT_GT(ran.load(), 0);
    EXPECT_LT(ran.load(), 1000);
  }
}

TEST(EditGeometry, ScaleSizesFromRatioOneSideOrBoth) {
  struct Case {
    ScaleParams p;
    int32_t srcW, srcH;
    bool ok;
    int32_t w, h;
  };
  auto params = [](int32_t w, int32_t h, bool hasW, bool hasH, float ratio) {
    ScaleParams p;
    p.width = w;
    p.height = h;
    p.hasWidth = hasW;
    p.hasHeight = hasH;
    p.ratio = ratio;
    return p;
  };
  const Case cases[] = {
      {params(0, 0, false, false, 0.5f), 640, 480, true, 320, 240},
      {params(100, 0, true, false, 0.0f), 640, 480, true, 100, 75},
      {params(0, 300, false, true, 0.0f), 640, 480, true, 400, 300},
      {params(5, 0, true, false, 0.0f), 4000, 10, true, 5, 1},  // the other side is at least 1
      {params(0, 0, false, false, 0.0f), 640, 480, false, 0, 0},
      {params(800, 600, true, true, 0.0f), 640, 480, true, 800, 600},
      {params(7, 9, true, true, 0.3f), 10, 10, true, 3, 3},  // a ratio wins over the sides
  };
  for (const Case& c : cases) {
    int32_t w = 0, h = 0;
    ASSERT_EQ(ScaleTargetSize(c.p, c.srcW, c.srcH, w, h), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
  }
}

TEST(EditGeometry, CropIsLimitedToThePicture) {
  struct Case {
    CropParams in;
    bool ok;
    CropParams out;
  };
  const Case cases[] = {
      {{10, 10, 5000, 5000}, true, {10, 10, 630, 470}},
      {{0, 0, 640, 480}, true, {0, 0, 640, 480}},
      {{639, 479, 1, 1}, true, {639, 479, 1, 1}},
      {{640, 0, 1, 1}, false, {}},
      {{-1, 0, 10, 10}, false, {}},
      {{0, 0, 0, 10}, false, {}},
      {{2147483647, 0, 1, 1}, false, {}},
      {{600, 400, 2147483647, 2147483647}, true, {600, 400, 40, 80}},
  };
  for (const Case& c : cases) {
    CropParams out{};
    ASSERT_EQ(ClampCrop(c.in, 640, 480, out), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(out.left, c.out.left);
    EXPECT_EQ(out.top, c.out.top);
    EXPECT_EQ(out.width, c.out.width);
    EXPECT_EQ(out.height, c.out.height);
  }
}

TEST_F(EditOps, SizeChangingRunsGiveThePictureOfTheEditStep) {
  Open(50, 40);
  image::ChunkyPtr src(image::chk_Duplicate(&Current()));
  ScaleParams bordered;
  bordered.width = 31;
  bordered.height = 60;
  bordered.border = true;
  bordered.borderColor = 0x80FF0000u;
  image::ChunkyPtr scaled;
  ASSERT_TRUE(RunScale(*src, scaled, bordered, NeverStop()));
  ASSERT_EQ(ApplyScale(*controller_, bordered), 0);
  EXPECT_EQ(Bytes(*scaled), Bytes(Current()));
  EXPECT_EQ(controller_->editBackup(), nullptr) << "a scale is not undoable";
  EXPECT_EQ(Current().width, 50) << "the canvas is never narrower than the picture";
  EXPECT_EQ(Current().height, 60);

  image::ChunkyPtr cropped;
  ASSERT_TRUE(RunCrop(Current(), cropped, CropParams{3, 4, 100, 10}, NeverStop()));
  ASSERT_EQ(ApplyCrop(*controller_, CropParams{3, 4, 100, 10}), 0);
  EXPECT_EQ(Current().width, 47);
  EXPECT_EQ(Current().height, 10);
  EXPECT_EQ(Bytes(*cropped), Bytes(Current()));

  ScaleParams zero;
  zero.width = 0;
  zero.height = 10;
  EXPECT_EQ(ApplyScale(*controller_, zero), 1);
  ScaleParams huge;
  huge.width = 1 << 30;
  huge.height = 1 << 30;
  EXPECT_EQ(ApplyScale(*controller_, huge), 1);
  EXPECT_EQ(Current().width, 47) << "a failed scale leaves the picture";
}

TEST_F(EditOps, AutomaticLevelsMeasureTheUntouchedPictureEveryTime) {
  // A window applies its step again and again on the same backup: the result must not depend on
  // the preview shown before (the current picture), only on the backup.
  Open(30, 20);
  LevelsParams autoLevels;
  autoLevels.autoLevels = true;
  LevelsParams narrow;
  narrow.low = 100;
  narrow.high = 120;
  ASSERT_EQ(ApplyLevels(*controller_, autoLevels), 0);
  const std::vector<uint8_t> once = Bytes(Current());
  ASSERT_EQ(ApplyLevels(*controller_, narrow), 0);
  ASSERT_NE(Bytes(Current()), once);
  ASSERT_EQ(ApplyLevels(*controller_, autoLevels), 0);
  EXPECT_EQ(Bytes(Current()), once);
}

TEST_F(EditOps, MenuStepsWithoutAWindow) {
  Open(9, 7);
  image::ChunkyPtr before(image::chk_Duplicate(&Current()));
  ASSERT_EQ(ApplyRotateClockwise(*controller_), 0);
  EXPECT_EQ(Current().width, 7);
  ASSERT_EQ(ApplyRotateCounterClockwise(*controller_), 0);
  EXPECT_EQ(Bytes(Current()), Bytes(*before));
  ASSERT_EQ(ApplyFlipHorizontal(*controller_), 0);
  ASSERT_EQ(ApplyFlipHorizontal(*controller_), 0);
  ASSERT_EQ(ApplyFlipVertical(*controller_), 0);
  ASSERT_EQ(ApplyFlipVertical(*controller_), 0);
  EXPECT_EQ(Bytes(Current()), Bytes(*before));
  ASSERT_EQ(ApplyNegative(*controller_), 0);
  EXPECT_EQ(controller_->undoImage(), nullptr) << "negative has no undo step";
  ASSERT_EQ(ApplyNegative(*controller_), 0);
  EXPECT_EQ(Bytes(Current()), Bytes(*before));
  ASSERT_EQ(ApplyGrayscale(*controller_), 0);
  ASSERT_NE(controller_->undoImage(), nullptr) << "grayscale is one undo step";
  EXPECT_EQ(Bytes(*controller_->undoImage()->chunky), Bytes(*before));

  app::Controller empty;
  EXPECT_EQ(ApplyGrayscale(empty), 1);
  EXPECT_EQ(ApplyNegative(empty), 1);
  EXPECT_EQ(ApplyRotateClockwise(empty), 1);
  EXPECT_EQ(ApplyFlipVertical(empty), 1);
  EXPECT_EQ(ApplyLevels(empty, LevelsParams{}), 1);
}

class EditText : public test::PoolTest {};

TEST_F(EditText, TheStatusSaysWhatRenderingTheTextGives) {
  InsertTextParams p;
  p.font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  p.text = "Hi";
  EXPECT_EQ(InsertTextStatus(p), filters::kTextStatusOK);
  p.text.clear();
  EXPECT_EQ(InsertTextStatus(p), "") << "no text, nothing to draw";
  p.text = "Hi";
  p.font = "/nonexistent/NoSuchFont.ttf";
  EXPECT_EQ(InsertTextStatus(p), filters::kTextStatusNoFont);
}

}  // namespace
}  // namespace vl::edit
