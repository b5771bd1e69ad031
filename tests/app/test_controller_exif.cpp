// The controller with the real loader and EXIF reader on JPEG files made here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/controller.h"
#include "formats/jpeg_codec.h"
#include "settings/settings.h"
#include "test_support.h"

namespace vl::app {
namespace {

using vl::test::TempDir;

using vl::test::WriteJpegWithOrientation;

class ControllerExif : public vl::test::PoolTest {};

TEST_F(ControllerExif, OrientationSixOnA640x480Jpeg) {
  TempDir t;
  const std::string six = t.file("six.jpg"), three = t.file("three.jpg");
  ASSERT_TRUE(WriteJpegWithOrientation(six, 640, 480, 6));
  ASSERT_TRUE(WriteJpegWithOrientation(three, 640, 480, 3));
  {
    Controller c;
    c.SetCorrectOrientation(true);
    ASSERT_EQ(c.OpenPicture(six.c_str()), 0);
    EXPECT_EQ(c.currentImage()->formatName, "JPEG");
    EXPECT_EQ(c.exif().orientation(), 6);
    ASSERT_EQ(c.currentImage()->chunky->width, 480);
    EXPECT_EQ(c.currentImage()->chunky->height, 640);
    EXPECT_EQ(c.title(), six + " (480x640)");
    EXPECT_TRUE(c.exif().orientationApplied());
    ASSERT_NE(c.infoList(), nullptr);
    EXPECT_GT(c.infoList()->size(), 1u) << "a JPEG with EXIF data shows the EXIF window's list";

    ASSERT_EQ(c.OpenPicture(three.c_str()), 0);
    EXPECT_EQ(c.exif().orientation(), 3);
    EXPECT_EQ(c.currentImage()->chunky->width, 640) << "orientation 3 leaves the picture as stored";
    EXPECT_EQ(c.title(), three + " (640x480)");
  }
}

TEST_F(ControllerExif, HeadlessRunFollowsTheOrientationSetting) {
  TempDir t;
  const std::string six = t.file("six.jpg"), cfg = t.file("on.config");
  ASSERT_TRUE(WriteJpegWithOrientation(six, 640, 480, 6));
  settings::Settings s = settings::DefaultSettings();
  s.correctOrientation = true;
  ASSERT_TRUE(settings::WriteSettingsFile(cfg, s));
  const std::string bin = vl::test::ShellQuote(VISTALOOM_BINARY);
  std::string out;
  EXPECT_EQ(vl::test::RunCommand(
                bin + " --headless --config " + vl::test::ShellQuote(cfg) + " " + vl::test::ShellQuote(six), out),
            0);
  EXPECT_NE(out.find("Title: " + six + " (480x640)\nWidth: 480\nHeight: 640\n"), std::string::npos) << out;
  EXPECT_EQ(vl::test::RunCommand(
                bin + " --headless --config /nonexistent/x.config " + vl::test::ShellQuote(six) + " 2>&1", out),
            2);
}

}  // namespace
}  // namespace vl::app
