#include "image/resample.h"
#include "test_handlers_fixture.h"

namespace vl::script {
namespace {

using vl::test::HandlerTest;

TEST_F(HandlerTest, CropIsLimitedToThePicture) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  image::ChunkyPtr stored(vl::test::RandomImage(640, 480, image::ARGB32, 7));
  EXPECT_EQ(Rc("Crop LEFT 10 TOP 10 WIDTH 5000 HEIGHT 5000"), 0);
  ASSERT_EQ(Current()->width, 630);
  ASSERT_EQ(Current()->height, 470);
  EXPECT_EQ(std::memcmp(Current()->pixels, stored->pixels + (10 * 640 + 10) * 4, 630 * 4), 0)
      << "the first row starts at (10, 10)";
  EXPECT_EQ(controller->title(), "/p/640.png (630x470)");
  EXPECT_EQ(Rc("Crop 5 5"), 0) << "WIDTH and HEIGHT default to the picture's size, then are limited";
  EXPECT_EQ(Current()->width, 625);
  EXPECT_EQ(Current()->height, 465);
  EXPECT_EQ(controller->undoImage(), nullptr) << "a crop cannot be undone";
}

TEST_F(HandlerTest, ScaleByRatioUsesTheBoxKernel) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  image::ChunkyPtr expected(image::ScaleImage(Current(), 320, 240, 0));
  ASSERT_TRUE(expected);
  EXPECT_EQ(Rc("Scale METHOD box RATIO 0.5"), 0);
  ASSERT_EQ(Current()->width, 320);
  ASSERT_EQ(Current()->height, 240);
  EXPECT_EQ(std::memcmp(Current()->pixels, expected->pixels, 320 * 240 * 4), 0);
  EXPECT_EQ(controller->title(), "/p/640.png (320x240)");
  EXPECT_EQ(Rc("Scale box RATIO 0.5 WIDTH 7 HEIGHT 7"), 0) << "RATIO wins over WIDTH and HEIGHT";
  EXPECT_EQ(Current()->width, 160);
}

TEST_F(HandlerTest, UnknownMethodFailsUnlessScalingIntoABorder) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  int rc = 0;
  EXPECT_EQ(Printed("Scale METHOD foo WIDTH 100 HEIGHT 100", &rc), "[REXX][Scale]: Unknown method:foo\n");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(Current()->width, 40);
  EXPECT_EQ(Printed("Scale METHOD foo WIDTH 100 HEIGHT 100 BORDER 1 BORDERCOLOR 4278255360", &rc),
            "[REXX][Scale]: Unknown method:foo\n");
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(Current()->width, 100);
  ASSERT_EQ(Current()->height, 100);
  // The corner is border: 4278255360 is 0xFF00FF00 (A, R, G, B = FF, 00, FF, 00).
  const uint8_t corner[4] = {0xFF, 0x00, 0xFF, 0x00};
  EXPECT_EQ(std::memcmp(Current()->pixels, corner, 4), 0);
}

TEST_F(HandlerTest, ScaleWithOneSideKeepsTheAspectAndWithoutMethodUsesLanczos) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  image::ChunkyPtr expected(image::ScaleImage(Current(), 320, 240, 5));
  EXPECT_EQ(Rc("Scale WIDTH 320"), 0);
  ASSERT_EQ(Current()->height, 240);
  EXPECT_EQ(std::memcmp(Current()->pixels, expected->pixels, 320 * 240 * 4), 0);
  EXPECT_EQ(Rc("Scale box HEIGHT 120"), 0);
  EXPECT_EQ(Current()->width, 160);
}

TEST_F(HandlerTest, UndoAfterScaleRestoresTheStateBeforeTheLastEdit) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  ASSERT_EQ(Rc("Scale box 20 15"), 0);
  controller->ToggleUndo();
  EXPECT_EQ(Current()->width, 20) << "nothing to undo: the scale left the undo slot alone";

  // An in-place edit, then a scale: Undo goes back to before the edit, at the old size.
  std::vector<uint8_t> beforeEdit = Pixels();
  ASSERT_TRUE(controller->BeginEdit());
  std::memset(Current()->pixels, 0x55, 64);
  controller->CommitEdit();
  ASSERT_EQ(Rc("Scale box 10 5"), 0);
  controller->ToggleUndo();
  EXPECT_EQ(Current()->width, 20);
  EXPECT_EQ(Pixels(), beforeEdit);
}

}  // namespace
}  // namespace vl::script
