// The EXIF block and the ICC profile follow the picture from its JPEG through the operations,
// undo and the savers, with the real loader, EXIF reader and scripting port.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controller.h"
#include "app/save.h"
#include "edit/geometry_ops.h"
#include "formats/exif.h"
#include "formats/picture_metadata.h"
#include "script/commands.h"
#include "script/handlers.h"
#include "test_support.h"

namespace vl::app {
namespace {

class ControllerMetadata : public test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    controller = std::make_unique<Controller>();
    script::InstallHandlers(port, *controller);
    ASSERT_TRUE(test::WriteJpegWithMetadata(photo, 64, 32, exif, icc));
  }
  void TearDown() override {
    controller.reset();
    PoolTest::TearDown();
  }
  // Opens the photo, turned upright or as stored, and gives it the profile (the tests read
  // profiles from the saved files only).
  void OpenPhoto(bool upright = true) {
    controller->SetCorrectOrientation(upright);
    ASSERT_EQ(controller->OpenPicture(photo.c_str()), 0);
    image::Texture* t = controller->currentImage();
    ASSERT_EQ(t->chunky->width, upright ? 32 : 64);
    ASSERT_EQ(t->exifOrientationApplied, upright);
    ASSERT_NE(t->exifBlock, nullptr);
    EXPECT_EQ(*t->exifBlock, exif);
    t->iccProfile = std::make_shared<const std::vector<uint8_t>>(icc);
  }
  int Rc(const std::string& line) { return port.Execute(line).rc; }

  test::TempDir dir;
  std::string photo = dir.file("photo.jpg");
  std::vector<uint8_t> exif = test::MakeExifBlock(true, 6, "Acme Optics", true);
  std::vector<uint8_t> icc = test::SrgbIccProfile();
  std::unique_ptr<Controller> controller;
  script::CommandPort port;
};

TEST_F(ControllerMetadata, OperationsAndUndoKeepTheMetadata) {
  OpenPhoto();
  const auto block = controller->currentImage()->exifBlock;
  const auto profile = controller->currentImage()->iccProfile;
  const std::pair<const char*, std::function<int()>> steps[] = {
      {"Scale", [&] { return Rc("Scale METHOD lanczos WIDTH 16 HEIGHT 32"); }},
      {"Crop", [&] { return Rc("Crop 1 1 12 20"); }},
      {"Blur", [&] { return Rc("Blur color 2"); }},
      {"AdjustGamma", [&] { return Rc("AdjustGamma 1.2"); }},
      {"rotate", [&] { return edit::ApplyRotateClockwise(*controller); }},
      {"flip", [&] { return edit::ApplyFlipHorizontal(*controller); }},
      {"undo", [&] { return controller->ToggleUndo(), 0; }},
  };
  for (const auto& [name, run] : steps) {
    SCOPED_TRACE(name);
    ASSERT_EQ(run(), 0);
    ASSERT_NE(controller->currentImage(), nullptr);
    EXPECT_TRUE(controller->currentImage()->exifOrientationApplied);
    for (const image::Texture* t :
         std::initializer_list<const image::Texture*>{controller->currentImage(), controller->undoImage()}) {
      if (t == nullptr) continue;  // no undo picture kept
      EXPECT_EQ(t->exifBlock, block);
      EXPECT_EQ(t->iccProfile, profile);
    }
  }
}

TEST_F(ControllerMetadata, ATurnedPhotoIsSavedUprightAndOneAsStoredKeepsItsOrientation) {
  for (bool upright : {true, false}) {
    SCOPED_TRACE(upright ? "turned upright" : "as stored");
    OpenPhoto(upright);
    ASSERT_EQ(Rc("Scale METHOD lanczos WIDTH 16 HEIGHT 32"), 0);
    const std::string jpg = dir.file("port.jpg"), windowJpg = dir.file("window.jpg");
    const std::string png = dir.file("port.png"), windowPng = dir.file("window.png");
    ASSERT_EQ(Rc("SaveJPG " + jpg), 0);
    ASSERT_EQ(Rc("SavePNG " + png), 0);
    ASSERT_TRUE(SaveCurrentPicture(*controller, windowJpg, SaveFormat::kJpeg, SaveOptions()).ok);
    ASSERT_TRUE(SaveCurrentPicture(*controller, windowPng, SaveFormat::kPng, SaveOptions()).ok);
    for (const std::string& saved : {jpg, windowJpg}) {
      SCOPED_TRACE(saved);
      EXPECT_EQ(test::JpegIccProfile(saved), icc);
      testing::internal::CaptureStderr();
      std::unique_ptr<formats::ExifInfo> info = formats::ReadExifInfo(saved.c_str());
      testing::internal::GetCapturedStderr();
      ASSERT_NE(info, nullptr);
      EXPECT_EQ(info->orientation, upright ? 1 : 6);
      EXPECT_EQ(info->cameraMake, "Acme Optics");
      EXPECT_EQ(info->thumbnailOffset != 0u, !upright) << "a thumbnail lying the old way round stays linked";
      // Opened again upright, the saved file is not turned a second time.
      Controller again;
      again.SetCorrectOrientation(true);
      ASSERT_EQ(again.OpenPicture(saved.c_str()), 0);
      EXPECT_EQ(again.currentImage()->chunky->width, upright ? 16 : 32);
      EXPECT_EQ(again.currentImage()->chunky->height, upright ? 32 : 16);
      EXPECT_EQ(again.currentImage()->exifOrientationApplied, !upright);
    }
    for (const std::string& saved : {png, windowPng}) EXPECT_EQ(test::PngIccProfile(saved), icc) << saved;
  }
  // IFF carries neither; the save itself works.
  EXPECT_EQ(Rc("SaveIFF " + dir.file("port.iff")), 0);
}

TEST_F(ControllerMetadata, PastedAndPlainPicturesCarryNothing) {
  OpenPhoto();
  image::TexturePtr pasted(image::DuplicateTexture(controller->currentImage()));
  ASSERT_NE(pasted->exifBlock, nullptr);
  controller->PastePicture(std::move(pasted));
  const image::Texture* t = controller->currentImage();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->exifBlock, nullptr);
  EXPECT_EQ(t->iccProfile, nullptr);
  EXPECT_FALSE(t->exifOrientationApplied);

  // A JPEG without EXIF data is saved without an APP1 section.
  const std::string plain = dir.file("plain.jpg"), saved = dir.file("plain-saved.jpg");
  ASSERT_TRUE(test::WriteJpegWithMetadata(plain, 8, 8, {}, {}));
  ASSERT_EQ(controller->OpenPicture(plain.c_str()), 0);
  EXPECT_EQ(controller->currentImage()->exifBlock, nullptr);
  ASSERT_EQ(Rc("SaveJPG " + saved), 0);
  const std::vector<uint8_t> file = test::ReadFile(saved);
  std::vector<int> markers;
  for (size_t at = 2; at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] != 0xDA;
       at += 2 + (size_t{file[at + 2]} << 8 | file[at + 3]))
    markers.push_back(file[at + 1]);
  ASSERT_FALSE(markers.empty());
  EXPECT_EQ(markers.front(), 0xE0);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE1), 0);
}

}  // namespace
}  // namespace vl::app
