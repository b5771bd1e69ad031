#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "browser/thumb_view.h"
#include "browser_test_util.h"
#include "formats/file_load.h"
#include "platform/paths.h"
#include "platform/thread_pool.h"
#include "test_support.h"
#include "thumbs/cache.h"

namespace vl::browser {
namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

class ThumbViewTest : public test::PoolTest {
 protected:
  ThumbViewTest()
      : envarc_("VISTALOOM_ASSIGN_ENVARC", tmp_.file("envarc")),
        progdir_("VISTALOOM_ASSIGN_PROGDIR", tmp_.file("progdir") + ":" + VISTALOOM_SOURCE_DIR "/data") {
    EXPECT_TRUE(platform::MakeDirectories(tmp_.file("pics")));
    settings_.cachePath = tmp_.file("cache");
  }
  std::string Pic(const std::string& name) const { return tmp_.file("pics/" + name); }
  std::unique_ptr<ThumbView> Scan(bool wait = true) {
    auto view = std::make_unique<ThumbView>(settings_);
    view->SetStatusCallback([this](const std::string& s) { statuses_.push_back(s); });
    view->SetShown(true);
    view->SetInitialDirectory(tmp_.file("pics"));
    view->LoadDirectory();
    if (wait) {
      EXPECT_TRUE(test::WaitForScan(*view));
    }
    return view;
  }
  ThumbEntry& Entry(ThumbView& v, const std::string& name) {
    int pos = v.FindEntry(name);
    EXPECT_GE(pos, 0) << name;
    return *v.GetEntry(pos < 0 ? 0 : pos);
  }
  std::string CacheFile(const std::string& name) const { return thumbs::CacheFilePath(settings_.cachePath, Pic(name)); }

  test::TempDir tmp_;
  test::ScopedEnv envarc_;
  test::ScopedEnv progdir_;
  ThumbViewSettings settings_;
  std::vector<std::string> statuses_;
};

TEST_F(ThumbViewTest, ExifThumbnailIsShownAndNeverCachedDecodedPicturesAre) {
  ASSERT_TRUE(test::WriteJpeg(Pic("exif.jpg"), 200, 150, 64, 48));
  ASSERT_TRUE(test::WriteJpeg(Pic("plain.jpg"), 200, 150));
  auto view = Scan();
  ThumbEntry& exif = Entry(*view, "exif.jpg");
  EXPECT_EQ(exif.source, PictureSource::Exif);
  EXPECT_EQ(exif.picture.PictureWidth(), 106);
  EXPECT_EQ(exif.picture.PictureHeight(), 80);
  EXPECT_FALSE(Exists(CacheFile("exif.jpg")));
  ASSERT_TRUE(exif.tooltip.has_value());
  EXPECT_EQ(*exif.tooltip, ThumbnailTooltip("exif.jpg", 200, 150, "JPEG", formats::FileSize(Pic("exif.jpg").c_str())));
  ThumbEntry& plain = Entry(*view, "plain.jpg");
  EXPECT_EQ(plain.source, PictureSource::Decoded);
  EXPECT_EQ(plain.picture.PictureWidth(), 106);
  EXPECT_EQ(plain.picture.PictureHeight(), 80);
  ASSERT_TRUE(plain.typeName.has_value());
  EXPECT_EQ(*plain.typeName, "JPEG");
  EXPECT_TRUE(Exists(CacheFile("plain.jpg")));
  ASSERT_TRUE(plain.tooltip.has_value());
  EXPECT_EQ(*plain.tooltip,
            ThumbnailTooltip("plain.jpg", 200, 150, "JPEG", formats::FileSize(Pic("plain.jpg").c_str())));
  EXPECT_EQ(plain.bubbleHelp, *plain.tooltip);

  // The next view of the directory takes the stored thumbnail, with its facts.
  auto again = Scan();
  ThumbEntry& cached = Entry(*again, "plain.jpg");
  EXPECT_EQ(cached.source, PictureSource::Cache);
  EXPECT_EQ(cached.picture.PictureWidth(), 106);
  ASSERT_TRUE(cached.tooltip.has_value());
  EXPECT_EQ(*cached.tooltip, *plain.tooltip);
  ASSERT_TRUE(cached.typeName.has_value());
  EXPECT_EQ(*cached.typeName, "JPEG");
  EXPECT_EQ(Entry(*again, "exif.jpg").source, PictureSource::Exif);
}

TEST_F(ThumbViewTest, SmallPicturesAreEnlargedAndNotCached) {
  ASSERT_TRUE(test::WritePng(Pic("small.png"), 10, 10));
  auto view = Scan();
  ThumbEntry& e = Entry(*view, "small.png");
  EXPECT_EQ(e.source, PictureSource::Decoded);
  EXPECT_EQ(e.picture.PictureWidth(), 80);
  EXPECT_EQ(e.picture.PictureHeight(), 80);
  EXPECT_FALSE(Exists(CacheFile("small.png")));
}

TEST_F(ThumbViewTest, DisabledCacheStoresNothing) {
  settings_.diskCacheEnabled = false;
  ASSERT_TRUE(test::WriteJpeg(Pic("plain.jpg"), 200, 150));
  auto view = Scan();
  EXPECT_EQ(Entry(*view, "plain.jpg").source, PictureSource::Decoded);
  EXPECT_FALSE(Exists(CacheFile("plain.jpg")));
}

TEST_F(ThumbViewTest, IconsForDirectoriesAndOtherFiles) {
  ASSERT_TRUE(platform::MakeDirectories(Pic("own")));
  ASSERT_TRUE(platform::MakeDirectories(Pic("bare")));
  ASSERT_TRUE(test::WritePng(Pic("own.info"), 20, 10));
  ASSERT_TRUE(test::WritePng(Pic("huge.info"), 600, 100));
  ASSERT_TRUE(platform::MakeDirectories(Pic("huge")));
  ASSERT_TRUE(test::WriteFile(Pic("notes.txt"), std::string("some text\n")));
  auto view = Scan();
  ASSERT_TRUE(view->HasDefaultDrawer() && view->HasDefaultTool());
  ASSERT_EQ(view->EntryCount(), 4);  // the .info files are hidden
  // Directories first, then files, each in name order.
  EXPECT_EQ(view->GetEntry(0)->name, "bare");
  EXPECT_EQ(view->GetEntry(3)->name, "notes.txt");
  ThumbEntry& own = Entry(*view, "own");
  EXPECT_EQ(own.source, PictureSource::Icon);
  EXPECT_EQ(own.picture.PictureWidth(), 20);
  EXPECT_EQ(own.picture.PictureHeight(), 10);
  ThumbEntry& bare = Entry(*view, "bare");
  EXPECT_EQ(bare.source, PictureSource::Icon);
  EXPECT_EQ(bare.picture.PictureWidth(), 40);  // data/icons/def_drawer.png
  EXPECT_EQ(bare.picture.PictureHeight(), 32);
  EXPECT_EQ(bare.bubbleHelp, "bare");
  ThumbEntry& huge = Entry(*view, "huge");  // fitted into the box
  EXPECT_EQ(huge.picture.PictureWidth(), 120);
  EXPECT_EQ(huge.picture.PictureHeight(), 20);
  ThumbEntry& text = Entry(*view, "notes.txt");
  EXPECT_EQ(text.source, PictureSource::Icon);
  EXPECT_EQ(text.picture.PictureWidth(), 28);  // data/icons/def_tool.png
  EXPECT_EQ(text.picture.PictureHeight(), 36);
  EXPECT_FALSE(text.tooltip.has_value());
  EXPECT_FALSE(Exists(CacheFile("notes.txt")));
}

TEST_F(ThumbViewTest, MissingDefaultIconsAreReportedAndTheViewStillWorks) {
  test::ScopedEnv noData("VISTALOOM_ASSIGN_PROGDIR", tmp_.file("nothing"));
  ASSERT_TRUE(platform::MakeDirectories(Pic("d")));
  testing::internal::CaptureStdout();
  ThumbView view(settings_);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, "Failed to load def_drawer.info\nFailed to load def_tool.info\n");
  view.SetShown(true);
  view.SetInitialDirectory(tmp_.file("pics"));
  view.LoadDirectory();
  ASSERT_TRUE(test::WaitForScan(view));
  ASSERT_EQ(view.EntryCount(), 1);
  EXPECT_FALSE(view.GetEntry(0)->picture.HasPicture());
  EXPECT_EQ(view.StatusText(), kStatusReady);
}

TEST_F(ThumbViewTest, UserIconsUnderEnvarcComeFirst) {
  ASSERT_TRUE(platform::MakeDirectories(tmp_.file("envarc/sys")));
  ASSERT_TRUE(test::WritePng(tmp_.file("envarc/sys/def_drawer.info"), 12, 6));
  ASSERT_TRUE(platform::MakeDirectories(Pic("d")));
  auto view = Scan();
  EXPECT_EQ(Entry(*view, "d").picture.PictureWidth(), 12);
}

TEST_F(ThumbViewTest, DelayedScanningWaitsUntilShown) {
  settings_.delayedScanning = true;
  ASSERT_TRUE(test::WritePng(Pic("a.png"), 30, 20));
  ASSERT_TRUE(test::WritePng(Pic("b.png"), 30, 20));
  ThumbView view(settings_);
  view.SetInitialDirectory(tmp_.file("pics"));
  view.LoadDirectory();
  EXPECT_EQ(view.EntryCount(), 2);
  EXPECT_FALSE(view.Scanning());
  EXPECT_FALSE(view.TimerInstalled());
  EXPECT_EQ(view.StatusText(), kStatusReading);
  EXPECT_FALSE(view.GetEntry(0)->picture.HasPicture());
  view.SetShown(true);
  EXPECT_TRUE(view.TimerInstalled());
  EXPECT_TRUE(view.Scanning());
  ASSERT_TRUE(test::WaitForScan(view));
  EXPECT_TRUE(view.GetEntry(0)->picture.HasPicture());
  EXPECT_TRUE(view.GetEntry(1)->picture.HasPicture());
  EXPECT_EQ(view.StatusText(), kStatusReady);
}

TEST_F(ThumbViewTest, WithoutDelayHiddenViewsScanToo) {
  ASSERT_TRUE(test::WritePng(Pic("a.png"), 30, 20));
  ThumbView view(settings_);
  view.SetInitialDirectory(tmp_.file("pics"));
  view.LoadDirectory();
  EXPECT_TRUE(view.Scanning());
  ASSERT_TRUE(test::WaitForScan(view));
  EXPECT_TRUE(view.GetEntry(0)->picture.HasPicture());
}

TEST_F(ThumbViewTest, ProgressCountsEveryEntryThenReady) {
  ASSERT_TRUE(platform::MakeDirectories(Pic("d1")));
  ASSERT_TRUE(platform::MakeDirectories(Pic("d2")));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(test::WriteFile(Pic("t" + std::to_string(i) + ".txt"), std::string("x\n")));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(test::WritePng(Pic("p" + std::to_string(i) + ".png"), 16, 8));
  auto view = Scan();
  ASSERT_GE(statuses_.size(), 4u);
  EXPECT_EQ(statuses_[0], kStatusReading);
  EXPECT_EQ(statuses_[1], kStatusGenerating);
  EXPECT_EQ(statuses_[statuses_.size() - 2], "Scanned 10 of 10 files...");
  EXPECT_EQ(statuses_.back(), kStatusReady);
  for (size_t i = 2; i + 1 < statuses_.size(); ++i) EXPECT_EQ(statuses_[i].rfind("Scanned ", 0), 0u) << statuses_[i];
  for (int i = 0; i < view->EntryCount(); ++i) EXPECT_EQ(view->GetEntry(i)->index, i);
}

TEST_F(ThumbViewTest, EmptyOrUnreadableDirectoryIsReadyAtOnce) {
  auto view = Scan(false);
  EXPECT_EQ(view->EntryCount(), 0);
  EXPECT_FALSE(view->Scanning());
  EXPECT_EQ(view->StatusText(), kStatusReady);
  view->SetDirectory(tmp_.file("missing"));
  EXPECT_EQ(view->StatusText(), kStatusReady);
}

TEST_F(ThumbViewTest, RescanRenameAndRemove) {
  ASSERT_TRUE(test::WritePng(Pic("a.png"), 40, 20));
  ASSERT_TRUE(test::WritePng(Pic("b.png"), 40, 20));
  auto view = Scan();
  EXPECT_EQ(Entry(*view, "a.png").picture.PictureWidth(), 120);
  // The file changes: a rescan gives it its new picture.
  ASSERT_TRUE(test::WritePng(Pic("a.png"), 20, 40));
  view->RescanEntry(view->FindEntry("a.png"));
  ASSERT_TRUE(test::WaitForScan(*view));
  EXPECT_EQ(Entry(*view, "a.png").picture.PictureWidth(), 40);
  EXPECT_EQ(Entry(*view, "a.png").picture.PictureHeight(), 80);
  std::string c = "C.png";
  view->RenameEntry("a.png", &c);
  EXPECT_EQ(view->GetEntry(0)->name, "b.png");
  EXPECT_EQ(view->GetEntry(1)->name, "C.png");
  EXPECT_EQ(view->GetEntry(1)->label, "C.png");
  EXPECT_EQ(view->GetEntry(1)->index, 1);
  view->RemoveEntry(0);
  ASSERT_EQ(view->EntryCount(), 1);
  EXPECT_EQ(view->GetEntry(0)->index, 0);
}

TEST_F(ThumbViewTest, RemovingAndReloadingWhileScanning) {
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(test::WritePng(Pic("p" + std::to_string(i) + ".png"), 64, 64));
  auto view = Scan(false);
  while (view->EntryCount() > 20) view->RemoveEntry(view->EntryCount() / 2);
  view->LoadDirectory();
  view->RemoveEntry(0);
  ASSERT_TRUE(test::WaitForScan(*view));
  EXPECT_EQ(view->EntryCount(), 39);
  for (int i = 0; i < view->EntryCount(); ++i) EXPECT_TRUE(view->GetEntry(i)->picture.HasPicture());
}

TEST_F(ThumbViewTest, ContextMenuTitles) {
  ASSERT_TRUE(test::WriteJpeg(Pic("a.jpg"), 16, 16));
  ASSERT_TRUE(test::WritePng(Pic("b.png"), 16, 16));
  ASSERT_TRUE(test::WritePng(Pic("c.png"), 16, 16));
  ASSERT_TRUE(platform::MakeDirectories(Pic("d")));
  auto view = Scan();
  ContextMenuState one = view->ContextMenuFor(view->FindEntry("a.jpg"));
  EXPECT_EQ(one.title, " a.jpg ");
  EXPECT_TRUE(one.jpegEnabled);
  EXPECT_FALSE(view->ContextMenuFor(view->FindEntry("d")).fileItemsEnabled);
  view->SelectEntry(view->FindEntry("a.jpg"), true);
  view->SelectEntry(view->FindEntry("b.png"), true);
  EXPECT_EQ(view->ContextMenuFor(view->FindEntry("b.png")).title, " 2 entries: \na.jpg,b.png");
  view->SelectEntry(view->FindEntry("c.png"), true);
  EXPECT_EQ(view->ContextMenuFor(view->FindEntry("b.png")).title, " 3 entries: \na.jpg,b.png,...");
}

TEST(ThumbTexts, TooltipAndTitles) {
  EXPECT_EQ(ThumbnailTooltip("x.png", 640, 480, "PNG", 12345),
            "\x1b"
            "bFilename: \x1b"
            "nx.png\n\x1b"
            "bWidth: \x1b"
            "n640\n\x1b"
            "bHeight: \x1b"
            "n480\n"
            "\x1b"
            "bType: \x1b"
            "nPNG\n\x1b"
            "bSize: \x1b"
            "n12345 bytes");
  EXPECT_EQ(SeveralEntriesTitle({"a", "b"}), " 2 entries: \na,b");
  EXPECT_STREQ(PictureSourceName(PictureSource::None), "none");
  EXPECT_STREQ(PictureSourceName(PictureSource::Cache), "cache");
}

TEST(ThumbSettings, FromTheSettingsRecord) {
  settings::Settings s = settings::DefaultSettings();
  s.thumbWidth = 150;
  s.thumbHeight = 0;  // out of range: the view's own default
  s.thumbBorder = 100000;
  s.delayedScanning = true;
  ThumbViewSettings v = ThumbSettingsFrom(s);
  EXPECT_EQ(v.boxWidth, 150);
  EXPECT_EQ(v.boxHeight, 80);
  EXPECT_EQ(v.border, 0);
  EXPECT_TRUE(v.delayedScanning);
  EXPECT_EQ(v.cachePath, s.cachePath);
  ThumbViewSettings d;
  EXPECT_EQ(d.boxWidth, 120);
  EXPECT_EQ(d.boxHeight, 80);
  EXPECT_EQ(d.compression, 1u);
  EXPECT_TRUE(d.saveMemory && d.diskCacheEnabled);
  EXPECT_EQ(d.cachePath, "PROGDIR:cache/");
}

TEST(ThumbSettings, CacheContextFollowsTheRecord) {
  settings::Settings s;
  s.cachePath = "/srv/c/";
  s.disabledVolumes = {"cd0", "RAM"};
  thumbs::CacheContext c = CacheContextFor(s);
  EXPECT_EQ(c.root, "/srv/c/");
  EXPECT_EQ(c.disabledVolumes, s.disabledVolumes);
}

TEST_F(ThumbViewTest, PrioritizedCellsAreMadeBeforeTheRest) {
  settings_.delayedScanning = true;
  settings_.diskCacheEnabled = false;
  const int n = 24;
  for (int i = 0; i < n; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "p%02d.png", i);
    ASSERT_TRUE(test::WritePng(Pic(name), 40 + i, 30));
  }
  ThumbView view(settings_);
  std::vector<int> made;
  view.SetCellChangedCallback([&](int index) { made.push_back(index); });
  view.SetInitialDirectory(tmp_.file("pics"));
  view.LoadDirectory();  // hidden: the scan waits
  ASSERT_EQ(view.EntryCount(), n);
  view.PrioritizeRange(n - 6, n + 10);  // the end of the directory, clamped
  view.SetShown(true);
  ASSERT_TRUE(test::WaitForScan(view));
  ASSERT_EQ(made.size(), static_cast<size_t>(n));
  // The last six come first, in display order; the rest follow in theirs.
  for (int i = 0; i < n; ++i) EXPECT_EQ(made[static_cast<size_t>(i)], (i + n - 6) % n) << i;

  // Cells already made are not queued again.
  made.clear();
  view.PrioritizeRange(-3, n - 1);
  view.TimerTick();
  EXPECT_FALSE(view.Scanning());
  EXPECT_TRUE(made.empty());
}

// With more than one thread the pictures that follow are found on other threads while one is
// reduced and cached; every cell and every cache file must be the one the plain serial scan
// makes, and a second scan must take the same cells from the cache either way.
TEST_F(ThumbViewTest, FindingAheadMakesWhatTheSerialScanMakes) {
  for (int i = 0; i < 7; ++i)
    ASSERT_TRUE(test::WriteJpeg(Pic("j" + std::to_string(i) + ".jpg"), 180 + 13 * i, 150 - 7 * i));
  ASSERT_TRUE(test::WriteJpeg(Pic("exif.jpg"), 200, 150, 64, 48));
  ASSERT_TRUE(test::WritePng(Pic("p.png"), 90, 120));
  ASSERT_TRUE(test::WritePng(Pic("tiny.png"), 9, 5));
  ASSERT_TRUE(test::WriteFile(Pic("broken.jpg"), std::string("\xff\xd8\xff\xe0 not a picture")));
  ASSERT_TRUE(test::WriteFile(Pic("notes.txt"), std::string("text\n")));
  ASSERT_TRUE(platform::MakeDirectories(Pic("sub")));

  struct Cell {
    std::string name;
    PictureSource source;
    std::optional<std::string> typeName, tooltip;
    std::vector<uint8_t> rgb, cacheFile;
    bool operator==(const Cell&) const = default;
  };
  auto cells = [&](ThumbView& view) {
    std::vector<Cell> out;
    for (int i = 0; i < view.EntryCount(); ++i) {
      ThumbEntry* e = view.GetEntry(i);
      Cell c{e->name, e->source, e->typeName, e->tooltip, {}, test::ReadFile(CacheFile(e->name))};
      image::ChunkyPtr rgb(e->picture.CopyRGB());
      if (rgb) {
        const size_t n = static_cast<size_t>(rgb->width) * rgb->height * 3;
        c.rgb.assign(rgb->pixels, rgb->pixels + n);
      }
      out.push_back(std::move(c));
    }
    return out;
  };
  struct Run {
    int threads;
    const char* cache;
  } runs[] = {{1, "cache1"}, {2, "cache2"}, {4, "cache4"}};
  std::vector<Cell> serial, serialAgain;
  for (const Run& r : runs) {
    SCOPED_TRACE(::testing::Message() << r.threads << " threads");
    platform::ScopedThreadCount threads(r.threads);
    settings_.cachePath = tmp_.file(r.cache);
    auto first = Scan();
    const std::vector<Cell> made = cells(*first);
    first.reset();
    auto second = Scan();
    const std::vector<Cell> again = cells(*second);
    ASSERT_EQ(made.size(), 13u);
    if (r.threads == 1) {
      serial = made;
      serialAgain = again;
      EXPECT_EQ(
          std::count_if(made.begin(), made.end(), [](const Cell& c) { return c.source == PictureSource::Decoded; }), 9);
      EXPECT_EQ(
          std::count_if(again.begin(), again.end(), [](const Cell& c) { return c.source == PictureSource::Cache; }), 8);
      continue;
    }
    for (size_t i = 0; i < made.size(); ++i) {
      SCOPED_TRACE(made[i].name);
      EXPECT_TRUE(made[i] == serial[i]);
      EXPECT_TRUE(again[i] == serialAgain[i]);
    }
  }
}

}  // namespace
}  // namespace vl::browser
