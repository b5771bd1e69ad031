// The real program on a real X server: keys pressed with xdotool reach the menus and the resize
// window, and the results are read back through the scripting port that the window serves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "formats/loader.h"
#include "formats/png_writer.h"
#include "icc_test_util.h"
#include "image/chunky.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::main {
namespace {

using vl::test::RunCommand;
using vl::test::ShellQuote;

bool Have(const char* tool) {
  std::string out;
  return RunCommand(std::string("command -v ") + tool + " >/dev/null 2>&1", out) == 0;
}

class GuiKeyboard : public test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    if (!Have("Xvfb") || !Have("xdotool"))
      GTEST_SKIP() << "Xvfb or xdotool missing (scripts/install-deps installs them)";
    env_ = "export XDG_RUNTIME_DIR=" + ShellQuote(dir_.path()) + " HOME=" + ShellQuote(dir_.path()) +
           " XDG_CONFIG_HOME=" + ShellQuote(dir_.file("config")) +
           " VISTALOOM_ASSIGN_ENV=" + ShellQuote(dir_.file("env")) +
           " VISTALOOM_ASSIGN_ENVARC=" + ShellQuote(dir_.file("envarc")) +
           " VISTALOOM_ASSIGN_CLIPS=" + ShellQuote(dir_.file("clips")) + "; unset QT_QPA_PLATFORM WAYLAND_DISPLAY; ";
    // A free display number from the server itself.
    std::string out;
    ASSERT_EQ(
        RunCommand("(Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>" + ShellQuote(dir_.file("display")) +
                       " >/dev/null 2>&1 & echo $! > " + ShellQuote(dir_.file("xvfb.pid")) +
                       "); for i in $(seq 1 100); do [ -s " + ShellQuote(dir_.file("display")) +
                       " ] && break; sleep 0.1; done; cat " + ShellQuote(dir_.file("display")),
                   out),
        0);
    ASSERT_FALSE(out.empty()) << "Xvfb did not start";
    env_ += "export DISPLAY=:" + out.substr(0, out.find('\n')) + "; ";
  }
  void TearDown() override {
    std::string out;
    RunCommand(env_ + Cmd() + " QUIT >/dev/null 2>&1; sleep 0.3; kill $(cat " + ShellQuote(dir_.file("xvfb.pid")) +
                   ") 2>/dev/null",
               out);
    PoolTest::TearDown();
  }
  std::string Cmd() const { return ShellQuote(VISTALOOM_CMD_BINARY); }
  // One scripting command's reply line.
  std::string Ask(const std::string& command) {
    std::string out;
    RunCommand(env_ + "timeout 20 " + Cmd() + " " + command, out);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  // Keys to the window that has the focus.
  void Keys(const std::string& keys) {
    std::string out;
    ASSERT_EQ(RunCommand(env_ + "xdotool key --delay 80 " + keys, out), 0);
  }
  // What the program answers once it has acted on the keys (asked again for up to 20 s).
  template <typename T, typename Fn>
  T Eventually(Fn ask, const T& expected) {
    T got = ask();
    for (int i = 0; i < 100 && got != expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      got = ask();
    }
    return got;
  }
  std::string EventuallyAnswers(const std::string& command, const std::string& expected) {
    return Eventually([&] { return Ask(command); }, expected);
  }
  uint32_t EventuallyFirstPixel(uint32_t expected) {
    return Eventually([&] { return FirstPixel(); }, expected);
  }
  // The first pixel of the picture as the program saves it.
  uint32_t FirstPixel() {
    const std::string file = dir_.file("probe.png");
    EXPECT_EQ(Ask("SavePNG " + ShellQuote(file) + " ALPHA"), "RC 0");
    image::TexturePtr t(formats::ReadPicture(file.c_str()));
    if (!t || !t->chunky) return 0;
    uint8_t a, r, g, b;
    image::GetPixel(t->chunky, 0, 0, a, r, g, b);
    return uint32_t{a} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
  }

  // Whether the port comes to answer ImageWidth with width (asked for up to 15 s).
  bool AnswersWidth(int width) {
    const std::string expected = "RC " + std::to_string(width);
    for (int i = 0; i < 150; ++i) {
      if (Ask("ImageWidth") == expected) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // Starts the program on picture and waits until its port answers with the picture's width;
  // the main window's X id in mainWindow.
  void Launch(const std::string& picture, int width, std::string& mainWindow, const std::string& switches = "") {
    std::string out;
    ASSERT_EQ(RunCommand(env_ + "(timeout 120 " + ShellQuote(VISTALOOM_BINARY) + " " + ShellQuote(picture) + " " +
                             switches + " > " + ShellQuote(dir_.file("gui.log")) + " 2>&1 &)",
                         out),
              0);
    ASSERT_TRUE(AnswersWidth(width)) << "the program did not answer on its port";
    const std::string name(platform::FilePart(picture));
    ASSERT_EQ(RunCommand(env_ + "xdotool search --sync --limit 1 --name " + ShellQuote(name), out), 0) << out;
    mainWindow = out.substr(0, out.find('\n'));
  }
  // Waits (up to 20 s) for a shown window with this title.
  bool WindowShown(const std::string& title) {
    std::string out;
    return RunCommand(env_ + "timeout 20 xdotool search --sync --onlyvisible --limit 1 --name " + ShellQuote(title),
                      out) == 0;
  }

  test::TempDir dir_;
  std::string env_;
};

TEST_F(GuiKeyboard, MenuKeysAndTheResizeWindowByKeysAlone) {
  image::ChunkyPtr img(image::chk_Create(64, 48, image::ARGB32, false));
  image::Fill(img.get(), 200, 100, 50, 255);
  const std::string picture = dir_.file("card.png");
  ASSERT_EQ(formats::SavePNG(img.get(), picture.c_str(), true), 1);
  std::string out;
  ASSERT_EQ(RunCommand(env_ + "(timeout 120 " + ShellQuote(VISTALOOM_BINARY) + " " + ShellQuote(picture) + " > " +
                           ShellQuote(dir_.file("gui.log")) + " 2>&1 &)",
                       out),
            0);
  ASSERT_TRUE(AnswersWidth(64)) << "the program did not answer on its port";
  // The keyboard goes to the main window (no window manager: focus it directly).
  ASSERT_EQ(RunCommand(env_ + "xdotool search --sync --limit 1 --name 'card.png'", out), 0) << out;
  const std::string mainWindow = out.substr(0, out.find('\n'));
  // Without a window manager nothing gives the keyboard back to the main window when a window
  // closes: the test does, as a window manager would.
  auto focusMain = [&] { ASSERT_EQ(RunCommand(env_ + "xdotool windowfocus --sync " + mainWindow, out), 0) << out; };
  focusMain();
  EXPECT_EQ(FirstPixel(), 0xFFC86432u);

  Keys("ctrl+n");  // Negative
  EXPECT_EQ(EventuallyFirstPixel(0xFF379BCDu), 0xFF379BCDu);

  Keys("ctrl+bracketright");  // Rotate +90
  EXPECT_EQ(EventuallyAnswers("ImageWidth", "RC 48"), "RC 48");
  EXPECT_EQ(Ask("ImageHeight"), "RC 64");

  Keys("ctrl+g");  // Grayscale, one undo step: (55 + 155 + 205) / 3 = 138
  EXPECT_EQ(EventuallyFirstPixel(0xFF8A8A8Au), 0xFF8A8A8Au);
  Keys("ctrl+u");  // Undo
  EXPECT_EQ(EventuallyFirstPixel(0xFF379BCDu), 0xFF379BCDu);

  // The resize window: opens with the focus on "Width:", aspect kept, Enter executes.
  Keys("ctrl+r");
  // (A crop to the whole picture changes nothing, but is refused while the program is busy.)
  EXPECT_EQ(EventuallyAnswers("Crop", "RC 1 busy"), "RC 1 busy")
      << "the picture cannot change under an open tool window";
  Keys("ctrl+a 2 4 Tab Return");
  EXPECT_EQ(EventuallyAnswers("ImageWidth", "RC 24"), "RC 24");
  EXPECT_EQ(Ask("ImageHeight"), "RC 32");
  EXPECT_EQ(Ask("Scale RATIO 2"), "RC 0") << "closed again, the port takes edits";
  EXPECT_EQ(Ask("ImageWidth"), "RC 48");

  // Levels by its key: "Minimum:" typed, Enter. (55, 155, 205) through 100..255 gives
  // ((v - 100) * (65536 / 155)) >> 8, limited to 0..255.
  focusMain();
  Keys("ctrl+l");
  EXPECT_EQ(EventuallyAnswers("Crop", "RC 1 busy"), "RC 1 busy");
  Keys("ctrl+a 1 0 0 Return");
  EXPECT_EQ(EventuallyFirstPixel(0xFF005AADu), 0xFF005AADu);

  // Median by its key: the radius one step up with the arrow key, Enter; a uniform picture
  // stays as it is, and the window has gone when the port takes edits again.
  focusMain();
  Keys("ctrl+m");
  EXPECT_EQ(EventuallyAnswers("Crop", "RC 1 busy"), "RC 1 busy");
  Keys("Up Return");
  EXPECT_EQ(EventuallyAnswers("Crop", "RC 0"), "RC 0");
  EXPECT_EQ(Ask("Scale RATIO 0.5"), "RC 0");
  EXPECT_EQ(Ask("ImageWidth"), "RC 24");
  EXPECT_EQ(FirstPixel(), 0xFF005AADu);
}

TEST_F(GuiKeyboard, TheExifAndJpegTransformWindowsOpenByTheirKeys) {
  const std::string picture = dir_.file("photo.jpg");
  ASSERT_TRUE(test::WriteJpegWithOrientation(picture, 64, 48, 1));
  std::string mainWindow, out;
  Launch(picture, 64, mainWindow);
  if (HasFatalFailure()) return;
  auto focusMain = [&] { ASSERT_EQ(RunCommand(env_ + "xdotool windowfocus --sync " + mainWindow, out), 0) << out; };
  focusMain();

  Keys("ctrl+e");  // "EXIF Info"
  EXPECT_TRUE(WindowShown("EXIF Informations"));

  // "JPEG Transform...": the focus starts on "None"; the arrow key chooses "Rotate 90 degrees"
  // and Enter turns the file in place, which the program then shows.
  focusMain();
  Keys("ctrl+j");
  ASSERT_TRUE(WindowShown("JPEG Transformations"));
  Keys("Down Return");
  EXPECT_EQ(EventuallyAnswers("ImageWidth", "RC 48"), "RC 48");
  EXPECT_EQ(Ask("ImageHeight"), "RC 64");
  image::TexturePtr turned(formats::ReadPicture(picture.c_str()));
  ASSERT_TRUE(turned && turned->chunky);
  EXPECT_EQ(turned->chunky->width, 48);
}

// Solid pictures of different widths in one folder, for the browser.
void WriteSolid(const std::string& path, int width, uint8_t r, uint8_t g, uint8_t b) {
  image::ChunkyPtr img(image::chk_Create(width, 48, image::ARGB32, false));
  image::Fill(img.get(), r, g, b, 255);
  ASSERT_EQ(formats::SavePNG(img.get(), path.c_str(), true), 1);
}

TEST_F(GuiKeyboard, TheBrowserShowsThumbnailsAndStepsInBothViews) {
  const std::string pics = dir_.file("pics");
  ASSERT_TRUE(platform::MakeDirectories(pics));
  WriteSolid(pics + "/a.png", 64, 255, 0, 0);
  WriteSolid(pics + "/b.png", 72, 0, 255, 0);
  WriteSolid(pics + "/c.png", 80, 0, 0, 255);

  // The grid at start: a picture of the window once its thumbnails have arrived holds the
  // three colours in the browser's half (the display on the right shows only the red one).
  std::string out;
  const std::string shot = dir_.file("grid.png");
  // (The exit status is not looked at: under the leak checker, the X platform's own libraries
  // make it 1.)
  RunCommand(env_ + "VISTALOOM_SCREENSHOT=" + ShellQuote(shot) + " VISTALOOM_SCREENSHOT_DELAY=3000 timeout 120 " +
                 ShellQuote(VISTALOOM_BINARY) + " " + ShellQuote(pics + "/a.png") + " BROWSER",
             out);
  image::TexturePtr t(formats::ReadPicture(shot.c_str()));
  ASSERT_TRUE(t && t->chunky) << out;
  int red = 0, green = 0, blue = 0;
  for (int y = 0; y < t->chunky->height; ++y)
    for (int x = 0; x < std::min(300, t->chunky->width); ++x) {
      uint8_t a, r, g, b;
      image::GetPixel(t->chunky, x, y, a, r, g, b);
      // Thumbnails are kept two bytes a pixel (not exact), and the selected cell is drawn
      // brightened (0 becomes 40).
      red += r >= 230 && g <= 60 && b <= 60;
      green += g >= 230 && r <= 60 && b <= 60;
      blue += b >= 230 && r <= 60 && g <= 60;
    }
  EXPECT_GT(red, 400);
  EXPECT_GT(green, 400);
  EXPECT_GT(blue, 400);

  // Stepping through the port acts on the browser that is shown: the grid, then the list
  // (LoadNext and LoadPrevious answer 1 when they stepped to a picture).
  std::string mainWindow;
  Launch(pics + "/a.png", 64, mainWindow, "BROWSER");
  if (HasFatalFailure()) return;
  EXPECT_EQ(Ask("LoadNext"), "RC 1");
  EXPECT_EQ(EventuallyAnswers("ImageWidth", "RC 72"), "RC 72");
  ASSERT_EQ(RunCommand(env_ + "xdotool windowfocus --sync " + mainWindow, out), 0) << out;
  Keys("ctrl+1");  // View > Browser > "List"
  // The list, read in the background, keeps b as its active entry.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Ask("LoadNext"), "RC 1");
  EXPECT_EQ(EventuallyAnswers("ImageWidth", "RC 80"), "RC 80");
  EXPECT_EQ(Ask("LoadPrevious"), "RC 1");
  EXPECT_EQ(EventuallyAnswers("ImageWidth", "RC 72"), "RC 72");
}

// Pixels of a screenshot within 2 levels of rgb.
int CountNear(const std::string& shot, std::array<uint8_t, 3> rgb) {
  image::TexturePtr t(formats::ReadPicture(shot.c_str()));
  if (!t || !t->chunky) return -1;
  int n = 0;
  for (int y = 0; y < t->chunky->height; ++y)
    for (int x = 0; x < t->chunky->width; ++x) {
      uint8_t a, r, g, b;
      image::GetPixel(t->chunky, x, y, a, r, g, b);
      n += std::abs(r - rgb[0]) <= 2 && std::abs(g - rgb[1]) <= 2 && std::abs(b - rgb[2]) <= 2;
    }
  return n;
}

// An Adobe RGB photo is shown with the sRGB values lcms2 computes, while the port still saves
// the file's numbers; View > "Color management" switched off by the keyboard shows the numbers.
TEST_F(GuiKeyboard, APictureWithAProfileIsShownConvertedUntilSwitchedOff) {
  const std::vector<uint8_t> adobe = test::AdobeRgbProfile();
  const std::string picture = dir_.file("adobe.jpg");
  ASSERT_TRUE(test::WriteFile(picture, test::FlatJpeg(160, 120, {128, 200, 64}, {}, &adobe)));
  image::TexturePtr file(formats::ReadPicture(picture.c_str()));
  ASSERT_TRUE(file && file->chunky && file->iccProfile);
  uint8_t a, r, g, b;
  image::GetPixel(file->chunky, 80, 60, a, r, g, b);
  const std::array<uint8_t, 3> numbers = {r, g, b};
  const std::array<uint8_t, 3> srgb = test::LcmsToSrgb(adobe, numbers);
  ASSERT_GT(std::abs(srgb[0] - numbers[0]), 10);
  const int pictureArea = 160 * 120 / 2;

  std::string out;
  const std::string shot = dir_.file("shown.png");
  RunCommand(env_ + "VISTALOOM_SCREENSHOT=" + ShellQuote(shot) + " timeout 120 " + ShellQuote(VISTALOOM_BINARY) + " " +
                 ShellQuote(picture),
             out);
  EXPECT_GT(CountNear(shot, srgb), pictureArea) << out;
  EXPECT_LT(CountNear(shot, numbers), 50);

  // Running with a later screenshot: the port saves the numbers, then the keys switch the
  // item off (Alt to the menu bar, Right twice to "View", Down into it, Up to its last item).
  const std::string off = dir_.file("off.png");
  ASSERT_EQ(RunCommand(env_ + "(VISTALOOM_SCREENSHOT=" + ShellQuote(off) +
                           " VISTALOOM_SCREENSHOT_DELAY=8000 timeout 120 " + ShellQuote(VISTALOOM_BINARY) + " " +
                           ShellQuote(picture) + " > " + ShellQuote(dir_.file("off.log")) + " 2>&1; touch " +
                           ShellQuote(dir_.file("off.done")) + ") >/dev/null 2>&1 &",
                       out),
            0);
  ASSERT_TRUE(AnswersWidth(160)) << "the program did not answer on its port";
  EXPECT_EQ(FirstPixel() & 0xFFFFFF, uint32_t{numbers[0]} << 16 | uint32_t{numbers[1]} << 8 | numbers[2]);
  ASSERT_EQ(RunCommand(env_ + "xdotool search --sync --limit 1 --name adobe.jpg", out), 0) << out;
  ASSERT_EQ(RunCommand(env_ + "xdotool windowfocus --sync " + out.substr(0, out.find('\n')), out), 0) << out;
  Keys("alt");
  Keys("Right Right Down Up Return");
  for (int i = 0; i < 200 && access(dir_.file("off.done").c_str(), F_OK) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_GT(CountNear(off, numbers), pictureArea) << test::ReadFile(dir_.file("off.log")).size();
  EXPECT_LT(CountNear(off, srgb), 50);
}

}  // namespace
}  // namespace vl::main
