#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <string>

#include "app/controller.h"
#include "app/dir_listing.h"
#include "test_support.h"

namespace vl::app {
namespace {

using vl::test::TempDir;

struct FakeFile {
  int width;
  int height;
  std::string format;
  int orientation = 0;
};

// Records what the display and the window were told.
struct Recorder : ControllerObserver {
  std::vector<std::string> titles;
  std::vector<const image::Texture*> images;
  int overlays = 0;
  const InfoList* lastOverlay = nullptr;
  StatusTexts lastStatus;
  void TitleChanged(const std::string& t) override { titles.push_back(t); }
  void StatusChanged(const StatusTexts& s) override { lastStatus = s; }
  void ImageChanged(const image::Texture* i) override { images.push_back(i); }
  void OverlayChanged(const InfoList* info) override {
    ++overlays;
    lastOverlay = info;
  }
};

class ControllerTest : public vl::test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    controller = std::make_unique<Controller>();
    controller->SetObserver(&recorder);
    controller->SetReader([this](const char* path) -> image::Texture* {
      auto it = files.find(path);
      if (it == files.end()) return nullptr;
      image::Texture* t = image::CreateTexture(it->second.width, it->second.height, image::ARGB32);
      image::ChunkyPtr pattern(vl::test::RandomImage(it->second.width, it->second.height, image::ARGB32, ++seed));
      std::memcpy(t->chunky->pixels, pattern->pixels, image::BufferBytes(t->chunky->width, t->chunky->height, 7));
      t->name = path;
      t->formatName = it->second.format;
      return t;
    });
    controller->exif().SetReader([this](const std::string& path, int& orientation, InfoList& info) {
      auto it = files.find(path);
      if (it == files.end() || it->second.format != "JPEG") return false;
      orientation = it->second.orientation;
      info = {{"Name:", path}, {"Camera:", "Test"}};
      return true;
    });
  }
  void TearDown() override {
    controller.reset();
    PoolTest::TearDown();
  }
  std::vector<uint8_t> Pixels() const {
    const image::ChunkyImage* c = controller->currentImage()->chunky;
    return std::vector<uint8_t>(c->pixels, c->pixels + image::BufferBytes(c->width, c->height, c->format));
  }
  // An in-place operation as the tool windows run it: negate the backup into the picture.
  void InvertEdit() {
    ASSERT_TRUE(controller->BeginEdit());
    const image::ChunkyImage* from = controller->editBackup()->chunky;
    image::ChunkyImage* to = controller->currentImage()->chunky;
    for (size_t i = 0; i < image::BufferBytes(to->width, to->height, to->format); ++i)
      to->pixels[i] = static_cast<uint8_t>(255 - from->pixels[i] + (i % 4 == 0 ? 255 : 0));
    controller->RefreshDisplay();
    controller->CommitEdit();
  }

  std::map<std::string, FakeFile> files = {
      {"/pics/a.png", {64, 48, "PNG"}},       {"/pics/b.jpg", {64, 48, "JPEG", 3}},
      {"/pics/c.png", {10, 20, "PNG"}},       {"/pics/six.jpg", {640, 480, "JPEG", 6}},
      {"/pics/two.jpg", {64, 48, "JPEG", 2}}, {"/pics/eight.jpg", {64, 48, "JPEG", 8}}};
  uint32_t seed = 0;
  Recorder recorder;
  std::unique_ptr<Controller> controller;
};

TEST_F(ControllerTest, NullPathChangesNothing) {
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  recorder.titles.clear();
  EXPECT_EQ(controller->OpenPicture(nullptr), 1);
  EXPECT_TRUE(recorder.titles.empty());
  EXPECT_EQ(controller->currentPath(), "/pics/a.png");
  EXPECT_NE(controller->currentImage(), nullptr);
}

TEST_F(ControllerTest, FailedLoadThenSuccessfulLoad) {
  EXPECT_EQ(controller->OpenPicture("/pics/missing.png"), 1);
  EXPECT_TRUE(controller->loadFailed());
  EXPECT_EQ(controller->currentImage(), nullptr);
  ASSERT_GE(recorder.titles.size(), 2u);
  EXPECT_EQ(recorder.titles.front(), "Loading /pics/missing.png...");
  EXPECT_EQ(controller->title(), "Vistaloom: Failed to load image");
  EXPECT_EQ(recorder.lastStatus.width, "0");
  EXPECT_EQ(recorder.lastStatus.height, "0");
  EXPECT_EQ(recorder.lastStatus.format, "");
  EXPECT_EQ(recorder.lastStatus.loadTime, "0.00s");
  EXPECT_EQ(controller->infoList(), nullptr);

  EXPECT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  EXPECT_FALSE(controller->loadFailed());
  EXPECT_EQ(controller->title(), "/pics/a.png (64x48)");
  EXPECT_EQ(recorder.lastStatus.width, "64");
  EXPECT_EQ(recorder.lastStatus.format, "PNG");
  ASSERT_NE(controller->infoList(), nullptr);
  EXPECT_EQ(*controller->infoList(), (InfoList{{"Name:", "a.png"}}));
  ASSERT_FALSE(recorder.images.empty());
  EXPECT_EQ(recorder.images.back(), controller->currentImage()) << "the display got the new picture";
}

TEST_F(ControllerTest, JpegInfoListAndExifWindow) {
  controller->exif().exifInfoChecked = true;
  ASSERT_EQ(controller->OpenPicture("/pics/b.jpg"), 0);
  EXPECT_TRUE(controller->exif().open);
  ASSERT_NE(controller->infoList(), nullptr);
  EXPECT_EQ(controller->infoList()->size(), 2u) << "a JPEG shows the EXIF window's list";
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  EXPECT_FALSE(controller->exif().open) << "a picture that is not a JPEG closes the EXIF window";
  EXPECT_EQ(controller->exif().orientation(), 0);
  ASSERT_EQ(controller->OpenPicture("/pics/missing.jpg"), 1);
  EXPECT_FALSE(controller->exif().open);
}

TEST_F(ControllerTest, OrientationThreeLeavesThePictureAsStored) {
  controller->SetCorrectOrientation(true);
  ASSERT_EQ(controller->OpenPicture("/pics/b.jpg"), 0);
  EXPECT_EQ(controller->currentImage()->chunky->width, 64);
  EXPECT_EQ(controller->currentImage()->chunky->height, 48);
  EXPECT_FALSE(controller->exif().orientationApplied());
  EXPECT_EQ(controller->title(), "/pics/b.jpg (64x48)");
}

TEST_F(ControllerTest, OrientationSixTurnsTheJpegClockwise) {
  controller->SetCorrectOrientation(true);
  ASSERT_EQ(controller->OpenPicture("/pics/six.jpg"), 0);
  const image::ChunkyImage* c = controller->currentImage()->chunky;
  ASSERT_EQ(c->width, 480);
  ASSERT_EQ(c->height, 640);
  const std::string title = controller->title();
  EXPECT_EQ(title.substr(title.size() - 9), "(480x640)");
  EXPECT_TRUE(controller->exif().orientationApplied());
  // The stored picture's top-left corner is now the top-right one.
  image::ChunkyPtr stored(vl::test::RandomImage(640, 480, image::ARGB32, seed));
  EXPECT_EQ(std::memcmp(c->pixels + (479 * 4), stored->pixels, 4), 0);

  controller->SetCorrectOrientation(false);
  ASSERT_EQ(controller->OpenPicture("/pics/six.jpg"), 0);
  EXPECT_EQ(controller->currentImage()->chunky->width, 640) << "without the setting the picture stays as stored";
  EXPECT_FALSE(controller->exif().orientationApplied());
}

TEST_F(ControllerTest, OrientationFlipsAndCounterClockwise) {
  controller->SetCorrectOrientation(true);
  ASSERT_EQ(controller->OpenPicture("/pics/two.jpg"), 0);
  image::ChunkyPtr stored(vl::test::RandomImage(64, 48, image::ARGB32, seed));
  const image::ChunkyImage* c = controller->currentImage()->chunky;
  EXPECT_EQ(c->width, 64);
  EXPECT_EQ(std::memcmp(c->pixels + 63 * 4, stored->pixels, 4), 0) << "2 mirrors each row";
  ASSERT_EQ(controller->OpenPicture("/pics/eight.jpg"), 0);
  stored.reset(vl::test::RandomImage(64, 48, image::ARGB32, seed));
  c = controller->currentImage()->chunky;
  ASSERT_EQ(c->width, 48);
  // Source (x, y) lands at (y, width - 1 - x): the top-left corner goes to the bottom-left.
  EXPECT_EQ(std::memcmp(c->pixels + static_cast<size_t>(63) * 48 * 4, stored->pixels, 4), 0);
}

TEST_F(ControllerTest, AnEarlierJpegsOrientationDoesNotTurnTheNextPicture) {
  controller->SetCorrectOrientation(true);
  controller->exif().exifInfoChecked = true;
  ASSERT_EQ(controller->OpenPicture("/pics/six.jpg"), 0);
  ASSERT_EQ(controller->currentImage()->chunky->width, 480);
  ASSERT_EQ(controller->OpenPicture("/pics/c.png"), 0);
  EXPECT_EQ(controller->currentImage()->chunky->width, 10);
  EXPECT_EQ(controller->currentImage()->chunky->height, 20);
  EXPECT_EQ(controller->title(), "/pics/c.png (10x20)");
}

TEST_F(ControllerTest, InformationOverlayToggle) {
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  EXPECT_EQ(recorder.lastOverlay, nullptr) << "unchecked: no overlay";
  controller->SetInfoOverlay(true);
  EXPECT_EQ(recorder.lastOverlay, controller->infoList());
  ASSERT_EQ(controller->OpenPicture("/pics/c.png"), 0);
  ASSERT_NE(recorder.lastOverlay, nullptr) << "a new load shows its list while checked";
  EXPECT_EQ((*recorder.lastOverlay)[0].second, "c.png");
  controller->SetInfoOverlay(false);
  EXPECT_EQ(recorder.lastOverlay, nullptr);
}

TEST_F(ControllerTest, EditSlotsBeginCommitCancel) {
  EXPECT_FALSE(controller->BeginEdit()) << "no picture, no backup";
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  std::vector<uint8_t> before = Pixels();
  ASSERT_TRUE(controller->BeginEdit());
  const image::Texture* backup = controller->editBackup();
  EXPECT_NE(backup->chunky, controller->currentImage()->chunky) << "the backup has its own pixels";
  EXPECT_TRUE(controller->BeginEdit());
  EXPECT_EQ(controller->editBackup(), backup) << "a running edit keeps its backup";
  std::memset(controller->currentImage()->chunky->pixels, 0, 16);
  controller->CancelEdit();
  EXPECT_EQ(controller->editBackup(), nullptr);
  EXPECT_EQ(Pixels(), before) << "cancel puts the backup's pixels back";
  EXPECT_EQ(controller->undoImage(), nullptr);

  controller->CommitEdit();  // without a backup: nothing
  EXPECT_EQ(controller->undoImage(), nullptr);
  InvertEdit();
  EXPECT_NE(controller->undoImage(), nullptr);
  EXPECT_EQ(controller->editBackup(), nullptr);
  EXPECT_EQ(controller->redoImage(), nullptr);
}

TEST_F(ControllerTest, UndoAlternatesBetweenTheTwoLatestStates) {
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  std::vector<uint8_t> original = Pixels();
  InvertEdit();
  std::vector<uint8_t> edited = Pixels();
  ASSERT_NE(edited, original);
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), original) << "Undo restores the picture before the edit";
  EXPECT_NE(controller->redoImage(), nullptr);
  EXPECT_EQ(controller->undoImage(), nullptr);
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), edited) << "Undo again restores the edited one";
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), original);

  // Not while an edit is running.
  ASSERT_TRUE(controller->BeginEdit());
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), original);
  controller->CancelEdit();
}

TEST_F(ControllerTest, UndoAfterReplaceChunkyDoesNotRestoreTheOldSize) {
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  std::vector<uint8_t> original = Pixels();
  InvertEdit();
  ASSERT_TRUE(controller->ReplaceChunky(image::ChunkyPtr(image::chk_Create(8, 6, image::ARGB32, true))));
  EXPECT_EQ(controller->title(), "/pics/a.png (8x6)") << "the texts follow the new size";
  EXPECT_EQ(controller->currentImage()->chunky->width, 8);
  controller->ToggleUndo();
  EXPECT_EQ(controller->currentImage()->chunky->width, 64) << "the undo slot still held the state before the edit";
  EXPECT_EQ(Pixels(), original);
  EXPECT_EQ(controller->title(), "/pics/a.png (64x48)");
  controller->ToggleUndo();
  EXPECT_EQ(controller->currentImage()->chunky->width, 8);

  EXPECT_FALSE(controller->ReplaceChunky(nullptr));
  ASSERT_TRUE(controller->BeginEdit());
  ASSERT_TRUE(controller->ReplaceChunky(image::ChunkyPtr(image::chk_Create(4, 4, image::ARGB32, true))));
  EXPECT_EQ(controller->editBackup(), nullptr) << "replacing the pixels drops the backup";
}

TEST_F(ControllerTest, NewLoadDropsUndoState) {
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  InvertEdit();
  ASSERT_EQ(controller->OpenPicture("/pics/c.png"), 0);
  EXPECT_EQ(controller->undoImage(), nullptr);
  EXPECT_EQ(controller->redoImage(), nullptr);
  std::vector<uint8_t> loaded = Pixels();
  controller->ToggleUndo();
  EXPECT_EQ(Pixels(), loaded) << "Undo after a new load does nothing";
  EXPECT_EQ(controller->currentImage()->chunky->width, 10);
}

TEST_F(ControllerTest, PastePictureTitlesStatusAndKeptUndo) {
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  InvertEdit();
  recorder.titles.clear();
  controller->PastePicture();  // the clipboard holds nothing
  ASSERT_EQ(recorder.titles.size(), 2u);
  EXPECT_EQ(recorder.titles[0], "Vistaloom[MorphOS]: (Loading fro clipboard...)");
  EXPECT_EQ(recorder.titles[1], "Vistaloom[MorphOS]: Failed to load image");
  EXPECT_EQ(recorder.lastStatus.width, "0 pixels");
  EXPECT_EQ(recorder.lastStatus.format, "");
  EXPECT_NE(controller->undoImage(), nullptr) << "paste keeps the undo slots";

  files["CLIPS:0"] = {30, 20, "ILBM"};
  controller->PastePicture();
  EXPECT_EQ(controller->title(), "Vistaloom[MorphOS]: Clipboard (30 x 20)");
  EXPECT_EQ(recorder.lastStatus.width, "30 pixels");
  EXPECT_EQ(recorder.lastStatus.height, "20 pixels");
  ASSERT_EQ(recorder.lastStatus.loadTime.size(), 6u) << recorder.lastStatus.loadTime;
  EXPECT_EQ(recorder.lastStatus.loadTime.substr(1, 1), ".");
  EXPECT_EQ(recorder.lastStatus.loadTime.back(), 's');
  EXPECT_EQ(controller->currentImage()->name, "Clipboard");
  EXPECT_NE(controller->undoImage(), nullptr);
}

TEST_F(ControllerTest, CopyPicture) {
  const image::ChunkyImage* written = nullptr;
  bool succeed = false;
  controller->SetClipboardWriter([&](const image::ChunkyImage* c) {
    written = c;
    return succeed;
  });
  EXPECT_EQ(controller->CopyPicture(), 1) << "no picture";
  EXPECT_EQ(written, nullptr);
  ASSERT_EQ(controller->OpenPicture("/pics/a.png"), 0);
  EXPECT_EQ(controller->CopyPicture(), 1) << "a failed write";
  succeed = true;
  EXPECT_EQ(controller->CopyPicture(), 0);
  EXPECT_EQ(written, controller->currentImage()->chunky);
}

// A browser list with fixed entries; selecting a file opens it like the browser does.
struct FakeList : BrowserList {
  struct Entry {
    std::string name;
    bool dir;
    bool picture;
  };
  std::vector<Entry> entries;
  int selected = -1;
  Controller* controller = nullptr;
  int SelectedIndex() const override { return selected; }
  int EntryCount() const override { return static_cast<int>(entries.size()); }
  bool IsDirectory(int i) const override { return entries[static_cast<size_t>(i)].dir; }
  bool IsPicture(int i) const override { return entries[static_cast<size_t>(i)].picture; }
  std::string FullPath(int i) const override { return "/pics/" + entries[static_cast<size_t>(i)].name; }
  void Select(int i) override {
    selected = i;
    if (i >= 0 && !entries[static_cast<size_t>(i)].dir) controller->OpenPicture(FullPath(i).c_str());
  }
  void SetPath(const std::string&) override {}
};

TEST_F(ControllerTest, StepThroughTheBrowserWithoutWrapAround) {
  FakeList list;
  list.controller = controller.get();
  list.entries = {{"sub", true, false},
                  {"a.png", false, true},
                  {"notes.txt", false, false},
                  {"c.png", false, false},
                  {"readme", false, false}};
  controller->SetBrowser(&list);
  controller->SetPictureTest([](const std::string& p) { return p == "/pics/c.png"; });

  EXPECT_FALSE(controller->LoadNext()) << "nothing selected: entry 0 is selected, here a directory";
  EXPECT_EQ(list.selected, 0);
  EXPECT_EQ(controller->currentImage(), nullptr);
  EXPECT_TRUE(controller->LoadNext());
  EXPECT_EQ(list.selected, 1);
  EXPECT_EQ(controller->currentPath(), "/pics/a.png");
  EXPECT_TRUE(controller->LoadNext()) << "notes.txt is no picture and is skipped";
  EXPECT_EQ(list.selected, 3);
  EXPECT_EQ(controller->currentPath(), "/pics/c.png");
  EXPECT_FALSE(controller->LoadNext()) << "only non-pictures up to the end";
  EXPECT_EQ(list.selected, -1);
  EXPECT_EQ(controller->currentPath(), "/pics/c.png") << "the current picture stays";
  EXPECT_NE(controller->currentImage(), nullptr);

  list.selected = 4;
  EXPECT_FALSE(controller->LoadNext()) << "the last entry";
  EXPECT_EQ(list.selected, -1);
  list.selected = 3;
  EXPECT_TRUE(controller->LoadPrevious());
  EXPECT_EQ(list.selected, 1);
  EXPECT_FALSE(controller->LoadPrevious()) << "only a directory before it";
  EXPECT_EQ(list.selected, -1);
  EXPECT_EQ(controller->currentPath(), "/pics/a.png");
  list.selected = 0;
  EXPECT_FALSE(controller->LoadPrevious()) << "the first entry";

  list.selected = -1;
  list.entries[0] = {"a.png", false, true};
  EXPECT_TRUE(controller->LoadNext()) << "entry 0 is a picture";
  EXPECT_EQ(list.selected, 0);

  FakeList empty;
  empty.controller = controller.get();
  controller->SetBrowser(&empty);
  EXPECT_FALSE(controller->LoadNext());
  EXPECT_FALSE(controller->LoadPrevious());
}

TEST(DirectoryListing, DirectoriesFirstThenNamesWithoutCase) {
  TempDir t;
  for (const char* n : {"b.png", "A.png", "c.txt"}) ASSERT_TRUE(vl::test::WriteFile(t.file(n), std::string("x")));
  ASSERT_EQ(::mkdir(t.file("zdir").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(t.file("Adir").c_str(), 0755), 0);
  DirectoryListing list;
  std::vector<std::string> chosen;
  list.SetChosenCallback([&](const std::string& p) { chosen.push_back(p); });
  list.SetPath(t.path());
  ASSERT_EQ(list.EntryCount(), 5);
  std::vector<std::string> names;
  for (int i = 0; i < list.EntryCount(); ++i) names.push_back(list.Name(i));
  EXPECT_EQ(names, (std::vector<std::string>{"Adir", "zdir", "A.png", "b.png", "c.txt"}));
  EXPECT_TRUE(list.IsDirectory(1));
  EXPECT_FALSE(list.IsDirectory(2));
  EXPECT_FALSE(list.IsDirectory(99));
  EXPECT_EQ(list.FullPath(3), t.file("b.png"));
  EXPECT_EQ(list.FullPath(-1), "");
  list.Select(0);
  EXPECT_TRUE(chosen.empty()) << "a directory is not opened";
  list.Select(3);
  EXPECT_EQ(chosen, (std::vector<std::string>{t.file("b.png")}));
  list.CurrentFileChanged(t.file("c.txt"));
  EXPECT_EQ(list.SelectedIndex(), 4);
}

}  // namespace
}  // namespace vl::app
