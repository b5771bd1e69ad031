#include "filters/gaussian_blur.h"
#include "filters/selective_gaussian.h"
#include "filters/tone.h"
#include "test_handlers_fixture.h"

namespace vl::script {
namespace {

using vl::test::HandlerTest;

// The pixels the fixture loads for every picture, run through an operation.
std::vector<uint8_t> Expected(int w, int h, const std::function<void(image::ChunkyImage*)>& op) {
  image::ChunkyPtr img(vl::test::RandomImage(w, h, image::ARGB32, 7));
  op(img.get());
  return std::vector<uint8_t>(img->pixels, img->pixels + static_cast<size_t>(w) * h * 4);
}

TEST_F(HandlerTest, LevelsWithLowEqualToHighChangesNothing) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  std::vector<uint8_t> before = Pixels();
  EXPECT_EQ(Rc("Levels MODE color LOW 20 HIGH 20"), 0);
  EXPECT_EQ(Pixels(), before);
  EXPECT_EQ(Rc("Levels color 40 200"), 0);
  EXPECT_EQ(Pixels(),
            Expected(40, 30, [](image::ChunkyImage* i) { filters::Levels(i, i, 40, 200, filters::kColourOnly); }));
  EXPECT_EQ(Rc("Levels 0 255"), 1) << "MODE is the first slot: \"0\" is no mode";
}

TEST_F(HandlerTest, LevelsAutoMeasuresThePicture) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  filters::LevelRange r = filters::AutoLevels(Current(), filters::kColourOnly);
  EXPECT_EQ(Rc("Levels color AUTO"), 0);
  EXPECT_EQ(Pixels(), Expected(40, 30, [&](image::ChunkyImage* i) {
              filters::Levels(i, i, r.low, r.high, filters::kColourOnly);
            }));
}

TEST_F(HandlerTest, ContrastIsQuantisedToHundredths) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  EXPECT_EQ(Rc("AdjustContrast 1.259"), 0);
  std::vector<uint8_t> a = Pixels();
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  EXPECT_EQ(Rc("AdjustContrast CONTRAST 1.25"), 0);
  EXPECT_EQ(Pixels(), a) << "CONTRAST 1.259 acts as 1.25";
  EXPECT_EQ(a, Expected(40, 30, [](image::ChunkyImage* i) {
              filters::ContrastGamma(i, i, 1.25f, 1.0f, filters::kColourOnly);
            }));
}

// Chained commands build on each other; each one's input becomes the undo image.
TEST_F(HandlerTest, ContrastThenGammaAccumulate) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  EXPECT_EQ(Rc("AdjustContrast 1.5"), 0);
  std::vector<uint8_t> afterContrast = Pixels();
  EXPECT_EQ(Rc("AdjustGamma 2.0"), 0);
  EXPECT_EQ(Pixels(), Expected(40, 30, [](image::ChunkyImage* i) {
              filters::ContrastGamma(i, i, 1.5f, 1.0f, filters::kColourOnly);
              filters::ContrastGamma(i, i, 1.0f, 2.0f, filters::kColourOnly);
            }));
  EXPECT_EQ(controller->editBackup(), nullptr);
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), afterContrast) << "Undo goes back one command";
}

TEST_F(HandlerTest, BalancesCommitAndChainWithBlur) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  EXPECT_EQ(Rc("BalanceRGB 0.5 1 1.5"), 0);
  EXPECT_EQ(Rc("BalanceHSV 90 0.8"), 0);
  EXPECT_EQ(Rc("Blur color 1.5"), 0);
  EXPECT_EQ(Pixels(), Expected(40, 30, [](image::ChunkyImage* i) {
              filters::RGBBalance(i, i, 0.5, 1.0, 1.5, 1.0);
              filters::HSVBalance(i, i, 90 / 360.0, 0.8, 1.0);
              filters::GaussianBlur(i, 1.5f, filters::kColourOnly);
            }));
}

TEST_F(HandlerTest, UndoAfterBlurAndAgain) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  std::vector<uint8_t> original = Pixels();
  EXPECT_EQ(Rc("Blur MODE coloralpha RADIUS 2"), 0);
  std::vector<uint8_t> blurred = Pixels();
  EXPECT_EQ(blurred,
            Expected(40, 30, [](image::ChunkyImage* i) { filters::GaussianBlur(i, 2.0f, filters::kColourAndAlpha); }));
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), original);
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), blurred);
}

TEST_F(HandlerTest, DefaultsForModesAndRadii) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  EXPECT_EQ(Rc("Blur"), 0) << "no MODE: color, RADIUS 1.0";
  EXPECT_EQ(Pixels(),
            Expected(40, 30, [](image::ChunkyImage* i) { filters::GaussianBlur(i, 1.0f, filters::kColourOnly); }));
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  EXPECT_EQ(Rc("SelectiveBlur"), 0) << "no MODE: color, RADIUS 1.0, THRESHOLD 50";
  EXPECT_EQ(Pixels(), Expected(40, 30, [](image::ChunkyImage* i) {
              image::ChunkyPtr copy(image::chk_Duplicate(i));
              filters::SelectiveGaussian(copy.get(), i, 1.0f, 50, filters::kColourOnly);
            }));
  EXPECT_EQ(Rc("Blur color 5000"), 1) << "a radius the filter does not take";
  EXPECT_EQ(Rc("Sharpen 3 STRENGTH 2147483647"), 0) << "a huge strength only saturates";
}

}  // namespace
}  // namespace vl::script

namespace vl::script {
namespace {

// Values no tool window would send: each command answers 0 or 1, the picture keeps its size
// and no backup is left behind.
TEST_F(HandlerTest, HostileValuesNeverBreakAnOperation) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  const char* lines[] = {"BalanceHSV HUE -2147483648 SATURATION nan VALUE 1e30",
                         "BalanceRGB nan inf -inf 1e-30",
                         "AdjustGamma 0",
                         "AdjustGamma -1",
                         "AdjustContrast nan",
                         "AdjustContrast -1e38",
                         "Levels color -99999 99999",
                         "Levels alpha 300 200",
                         "Levels coloralpha -2147483648 2147483647",
                         "Sharpen 100000 5",
                         "Sharpen 2 -2147483648",
                         "SelectiveBlur color 1e9 99999",
                         "SelectiveBlur alpha -4 -4",
                         "Blur color -3",
                         "Blur alpha nan",
                         "Crop 2147483647 2147483647 2147483647 2147483647",
                         "Scale box RATIO 0.0000001",
                         "Scale box WIDTH 1 HEIGHT 2147483647"};
  for (const char* line : lines) {
    int rc = Rc(line);
    EXPECT_TRUE(rc == 0 || rc == 1) << line;
    ASSERT_NE(Current(), nullptr) << line;
    EXPECT_EQ(Current()->width, 40) << line;
    EXPECT_EQ(controller->editBackup(), nullptr) << line;
  }
}

}  // namespace
}  // namespace vl::script
