#include "filters/text.h"
#include "filters/text_engine.h"
#include "test_handlers_fixture.h"

namespace vl::script {
namespace {

using vl::test::HandlerTest;

const char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Refreshes : app::ControllerObserver {
  int count = 0;
  void ImageChanged(const image::Texture* i) override { count += i != nullptr; }
};

TEST_F(HandlerTest, InsertTextWithoutAlphaDrawsNothingVisible) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  std::vector<uint8_t> before = Pixels();
  EXPECT_EQ(Rc(std::string("InsertText Hello ") + kFont + " 40 COLOR 0xFFFFFF"), 0);
  EXPECT_EQ(Pixels(), before) << "the colour's alpha byte 0 weights the text away";
}

TEST_F(HandlerTest, InsertTextFromTheRightBottomCorner) {
  image::TexturePtr text, shadow;
  {
    filters::TextEngineScope engine(6);
    ASSERT_TRUE(engine.ok());
    ASSERT_EQ(filters::RenderText("Hello", kFont, 40, 0, 0, true, text, shadow), 0);
  }
  const int x = 640 - text->chunky->width - 10, y = 480 - text->chunky->height - 10;
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  std::vector<uint8_t> original = Pixels();
  ASSERT_EQ(Rc(std::string("InsertText Hello ") + kFont + " 40 POSX " + std::to_string(x) + " POSY " +
               std::to_string(y) + " COLOR 0xFF000000"),
            0);
  std::vector<uint8_t> placed = Pixels();
  ASSERT_NE(placed, original) << "opaque black text changes pixels";

  Refreshes seen;
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  controller->SetObserver(&seen);
  ASSERT_EQ(Rc(std::string("InsertText Hello ") + kFont + " 40 ORIGIN rightbottom POSX 10 POSY 10 COLOR 0xFF000000"),
            0);
  controller->SetObserver(nullptr);
  EXPECT_EQ(Pixels(), placed) << "the text's bottom-right corner is 10 pixels from the edges";
  EXPECT_EQ(seen.count, 1) << "the display is refreshed";
  EXPECT_EQ(controller->undoImage(), nullptr) << "not undoable";
  EXPECT_EQ(controller->editBackup(), nullptr);
}

TEST_F(HandlerTest, InsertTextWithAMissingFontAnswersOne) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  std::vector<uint8_t> before = Pixels();
  EXPECT_EQ(Rc("InsertText Hello /nonexistent/font.ttf 20 COLOR 0xFF000000"), 1);
  EXPECT_EQ(Pixels(), before);
}

TEST_F(HandlerTest, InsertTextWithHostileValues) {
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  const std::string f = std::string(" ") + kFont + " ";
  EXPECT_EQ(Rc("InsertText Hi" + f + "-5"), 1);
  EXPECT_EQ(Rc("InsertText Hi" + f + "100000"), 1) << "beyond the largest font size";
  EXPECT_EQ(Rc("InsertText Hi" + f + "20 SHADOW 1 SSMOOTH 2147483647"), 0);
  EXPECT_EQ(Rc("InsertText Hi" + f +
               "20 SHADOW 1 SSMOOTH 50 SINTENSITY nan POSX -2147483648 POSY 2147483647 "
               "ORIGIN rightbottom"),
            0);
  EXPECT_EQ(Rc("InsertText " + std::string(20000, 'W') + f + "200"), 1) << "far too wide a text line";
  EXPECT_EQ(Rc("InsertText Hi" + f + "20 DIRECTION topbottom SHADOW 1 SSMOOTH 3 SCOLOR 0xFF0000"), 0);
  EXPECT_EQ(Current()->width, 40);
  EXPECT_EQ(controller->undoImage(), nullptr);
}

}  // namespace
}  // namespace vl::script
