#include "test_handlers_fixture.h"

namespace vl::script {
namespace {

using vl::test::HandlerTest;

TEST(HandlerKeywords, ComparedExactly) {
  EXPECT_EQ(ScaleMethodKeyword("box"), 0);
  EXPECT_EQ(ScaleMethodKeyword("spline"), 3);
  EXPECT_EQ(ScaleMethodKeyword("lanczos"), 5);
  EXPECT_EQ(ScaleMethodKeyword("mitchell"), 6);
  EXPECT_EQ(ScaleMethodKeyword("Lanczos"), -1) << "case matters";
  EXPECT_EQ(ScaleMethodKeyword(nullptr), -1);
  EXPECT_EQ(ChannelModeKeyword("coloralpha"), 4);
  EXPECT_EQ(ChannelModeKeyword("color"), 3);
  EXPECT_EQ(ChannelModeKeyword("alpha"), 1);
  EXPECT_EQ(ChannelModeKeyword("colour"), -1);
  EXPECT_EQ(SelectiveModeKeyword("coloralpha"), -1) << "not accepted by SelectiveBlur";
  EXPECT_EQ(SelectiveModeKeyword("color"), 3);
  EXPECT_EQ(TextDirectionKeyword("bottomtop"), 2);
  EXPECT_EQ(TextDirectionKeyword("TopBottom"), 0) << "any other text is horizontal";
  EXPECT_EQ(TextDirectionKeyword(nullptr), 0);
  EXPECT_EQ(TextOriginKeyword("rightbottom"), 3);
  EXPECT_EQ(TextOriginKeyword("middle"), 0);
}

TEST_F(HandlerTest, EveryImageCommandAnswersOneWithoutAPicture) {
  EXPECT_EQ(Rc("ImageWidth"), 0) << "before any load";
  EXPECT_EQ(Rc("ImageHeight"), 0);
  EXPECT_EQ(FormatReply(Run("ImageName")), "RC 0");
  for (const char* line : {"SaveJPG /tmp/x.jpg", "SavePNG /tmp/x.png", "SaveIFF /tmp/x.iff", "ClipboardCopy",
                           "Scale box 10 10", "Scale RATIO 0.5", "Sharpen 2 50", "Levels color 10 200", "Crop 0 0 5 5",
                           "Blur color 2", "SelectiveBlur color 2 50", "InsertText hi Sans.ttf 12",
                           "BalanceRGB 1 1 1 1", "BalanceHSV 10", "AdjustContrast 1.5", "AdjustGamma 2"})
    EXPECT_EQ(Rc(line), 1) << line;
  EXPECT_EQ(controller->currentImage(), nullptr);
}

TEST_F(HandlerTest, LoadQueriesAndLoadWithoutFile) {
  EXPECT_EQ(Rc("Load /p/640.png"), 0);
  EXPECT_EQ(Rc("ImageWidth"), 640);
  EXPECT_EQ(Rc("ImageHeight"), 480);
  EXPECT_EQ(FormatReply(Run("ImagePath")), "RC 0 /p/640.png");
  EXPECT_EQ(FormatReply(Run("ImageName")), "RC 0 640.png");
  EXPECT_EQ(Rc("Load"), 1) << "Load without FILE";
  EXPECT_EQ(Rc("ImageWidth"), 640) << "and the picture stays";
  EXPECT_EQ(Rc("Load /p/800.png"), 0);
  EXPECT_EQ(FormatReply(Run("ImagePath")), "RC 0 /p/800.png") << "the path as given to the last load";
}

TEST_F(HandlerTest, AFailedLoadOrPasteKeepsThePictureAndItsUndo) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  ASSERT_EQ(Rc("Blur color 2"), 0);
  const image::Texture* undo = controller->undoImage();
  ASSERT_NE(undo, nullptr);
  const std::vector<uint8_t> before = Pixels();
  const std::string title = controller->title();
  for (const char* line : {"Load /p/none.png", "Load \"\"", "ClipboardPaste"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Rc(line), 1);
    ASSERT_NE(Current(), nullptr);
    EXPECT_EQ(Rc("ImageWidth"), 640);
    EXPECT_EQ(Pixels(), before);
    EXPECT_EQ(FormatReply(Run("ImagePath")), "RC 0 /p/640.png");
    EXPECT_EQ(controller->title(), title);
    EXPECT_FALSE(controller->loadFailed());
    EXPECT_EQ(controller->undoImage(), undo);
  }
  // The window's own open keeps dropping the picture when the file cannot be read.
  EXPECT_EQ(controller->OpenPicture("/p/none.png"), 1);
  EXPECT_EQ(controller->currentImage(), nullptr);
  EXPECT_TRUE(controller->loadFailed());
}

TEST_F(HandlerTest, LoadNextAtTheEndKeepsThePicture) {
  struct OneEntry : app::BrowserList {
    int selected = 0;
    std::string path;
    int SelectedIndex() const override { return selected; }
    int EntryCount() const override { return 1; }
    bool IsDirectory(int) const override { return false; }
    bool IsPicture(int) const override { return true; }
    std::string FullPath(int) const override { return "/p/640.png"; }
    void Select(int i) override { selected = i; }
    void SetPath(const std::string& p) override { path = p; }
  } list;
  controller->SetBrowser(&list);
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  EXPECT_EQ(Rc("LoadNext"), 0);
  EXPECT_EQ(Rc("ImageWidth"), 640);
  list.selected = 0;
  EXPECT_EQ(Rc("LoadPrevious"), 0) << "at the start";
  EXPECT_EQ(Rc("ChangeDirectory /somewhere"), 0);
  EXPECT_EQ(list.path, "/somewhere");
  EXPECT_EQ(Rc("ChangeDirectory"), 1) << "no PATH: nothing to point the browser at";
}

TEST_F(HandlerTest, ScaleToTheSameSizeAnswersZeroAndChangesNothing) {
  ASSERT_EQ(Rc("Load /p/800.png"), 0);
  std::vector<uint8_t> before = Pixels();
  EXPECT_EQ(Rc("Scale METHOD lanczos WIDTH 800 HEIGHT 600"), 0);
  EXPECT_EQ(Pixels(), before);
  EXPECT_EQ(Rc("Scale box RATIO 1.0"), 0) << "a ratio of 1 is the same size";
  EXPECT_EQ(Rc("Scale box WIDTH 0 HEIGHT 10"), 1);
  EXPECT_EQ(Rc("Scale box WIDTH -5 HEIGHT -5"), 1);
  EXPECT_EQ(Rc("Scale box RATIO -0.5"), 1);
  EXPECT_EQ(Rc("Scale box RATIO nan"), 1);
  EXPECT_EQ(Rc("Scale box RATIO 1e30"), 1) << "far beyond the size limit";
  EXPECT_EQ(Rc("Scale box WIDTH 2000000000 HEIGHT 2000000000"), 1);
  EXPECT_EQ(Rc("Scale box"), 1) << "no size at all";
  EXPECT_EQ(Rc("ImageWidth"), 800);
  EXPECT_EQ(Pixels(), before);
}

TEST_F(HandlerTest, ArgumentChecksBeforeAnyOperation) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  std::vector<uint8_t> before = Pixels();
  EXPECT_EQ(Rc("Sharpen 0 50"), 1) << "RADIUS must be positive";
  EXPECT_EQ(Rc("Sharpen 3 0"), 1) << "STRENGTH must not be 0";
  EXPECT_EQ(Rc("Sharpen"), 1);
  EXPECT_EQ(Rc("Levels Color 0 255"), 1) << "keywords are compared exactly";
  EXPECT_EQ(Rc("Blur colour 2"), 1);
  EXPECT_EQ(Rc("SelectiveBlur coloralpha 2 50"), 1);
  EXPECT_EQ(Rc("Crop 0 0 0 10"), 1) << "WIDTH <= 0";
  EXPECT_EQ(Rc("Crop 0 0 10 0"), 1) << "HEIGHT < 1";
  EXPECT_EQ(Rc("Crop -10 0 100 100"), 1) << "a rectangle starting outside the picture";
  EXPECT_EQ(Rc("Crop 640 0 10 10"), 1);
  EXPECT_EQ(Rc("Crop 0 2147483647 10 10"), 1);
  EXPECT_EQ(Rc("InsertText"), 1) << "no TEXT";
  EXPECT_EQ(Rc("InsertText hello"), 1) << "no FONT";
  EXPECT_EQ(Rc("InsertText hello Sans.ttf 0"), 1) << "SIZE 0";
  EXPECT_EQ(Rc("SaveJPG"), 1) << "no FILE";
  EXPECT_EQ(Rc("SavePNG ALPHA"), 1);
  EXPECT_EQ(Rc("ImageWidth"), 640);
  EXPECT_EQ(Pixels(), before);
  EXPECT_EQ(controller->editBackup(), nullptr) << "no check left a backup behind";
}

TEST_F(HandlerTest, ClipboardPasteOpensTheClipboardLikeAFile) {
  ASSERT_EQ(Rc("Load /p/640.png"), 0);
  EXPECT_EQ(Rc("ClipboardPaste"), 1) << "an empty clipboard";
  EXPECT_EQ(Rc("ImageWidth"), 640) << "and the picture stays";
  pictures["CLIPS:0"] = {12, 8, "ILBM", 0};
  EXPECT_EQ(Rc("ClipboardPaste"), 0);
  EXPECT_EQ(Rc("ImageWidth"), 12);
  EXPECT_EQ(controller->title(), "CLIPS:0 (12x8)");
}

}  // namespace
}  // namespace vl::script

#include "formats/jpeg_codec.h"

namespace vl::script {
namespace {

TEST_F(HandlerTest, SaveJpgWithoutQualityWritesQuality95Optimized) {
  vl::test::TempDir t;
  ASSERT_EQ(Rc("Load /p/small.png"), 0);
  ASSERT_EQ(Rc("SaveJPG " + t.file("script.jpg")), 0);
  ASSERT_EQ(formats::SaveJPEG(Current(), t.file("direct.jpg").c_str(), 95, true, false), 1);
  std::vector<uint8_t> viaScript = vl::test::ReadFile(t.file("script.jpg"));
  ASSERT_FALSE(viaScript.empty());
  EXPECT_EQ(viaScript, vl::test::ReadFile(t.file("direct.jpg")));
  ASSERT_EQ(Rc("SaveJPG " + t.file("q10.jpg") + " QUALITY 10"), 0);
  EXPECT_LT(vl::test::ReadFile(t.file("q10.jpg")).size(), viaScript.size());
  EXPECT_EQ(Rc("SaveJPG " + t.file("missing/dir/x.jpg")), 1) << "a save that fails answers 1";
}

}  // namespace
}  // namespace vl::script
