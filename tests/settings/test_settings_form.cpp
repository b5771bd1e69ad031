// The settings window's logic without a display: its fields, the typed values it checks, the
// files "Use" and "Save" write, and the cache maintenance it runs on a worker.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/main_thread_queue.h"
#include "platform/paths.h"
#include "settings/settings.h"
#include "settings/settings_form.h"
#include "test_support.h"
#include "thumbs/maintenance.h"

namespace vl::settings {
namespace {

using vl::test::ReadFile;
using vl::test::ScopedEnv;
using vl::test::TempDir;
using vl::test::WriteFile;

TEST(SettingsForm, EveryNumberOfTheRecordHasOneFieldAndTheDefaultsLieInTheRanges) {
  // Each field of the record is edited by exactly one widget; an encoded record differs
  // from the defaults exactly where the field was changed.
  std::set<std::string> names;
  const Record defaults = EncodeSettings(DefaultSettings());
  for (const FormField& f : FormFields()) {
    SCOPED_TRACE(f.name);
    EXPECT_TRUE(names.insert(f.name).second);
    EXPECT_NE(f.number == nullptr, f.flag == nullptr);
    Settings s = DefaultSettings();
    if (f.flag) {
      s.*f.flag = !(s.*f.flag);
    } else {
      EXPECT_GE(s.*f.number, f.minimum);
      EXPECT_LE(s.*f.number, f.maximum);
      s.*f.number = s.*f.number == f.maximum ? f.minimum : f.maximum;
    }
    const Record changed = EncodeSettings(s);
    int differing = 0;
    for (size_t i = 0; i < kRecordSize; ++i) differing += changed[i] != defaults[i];
    EXPECT_GE(differing, 1);
    EXPECT_LE(differing, 4);
  }
  EXPECT_EQ(names.size(), 18u);  // 20 labelled fields, less the cache path and the volumes
}

TEST(SettingsForm, ClampBringsHostileNumbersIntoTheWindowsRanges) {
  Settings s;
  s.thumbWidth = 5000;
  s.thumbHeight = 1;
  s.thumbBorder = 0xFFFFFFFF;
  s.cacheCompression = 7;
  s.backgroundColor = 0xFF123456;
  const Settings c = ClampToForm(s);
  EXPECT_EQ(c.thumbWidth, 160u);
  EXPECT_EQ(c.thumbHeight, 32u);
  EXPECT_EQ(c.thumbBorder, 10u);
  EXPECT_EQ(c.cacheCompression, 0u);
  EXPECT_EQ(c.backgroundColor, 0x123456u);
}

TEST(SettingsForm, ColorTexts) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t rgb;
  } cases[] = {
      {"#FF8000", true, 0xFF8000},
      {"ff8000", true, 0xFF8000},
      {" 0x00ff7f ", true, 0x00FF7F},
      {"#FF800", false, 0},
      {"#FF80000", false, 0},
      {"#GG0000", false, 0},
      {"", false, 0},
      {"0x", false, 0},
      {"#-12345", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t rgb = 0xDEADBE;
    EXPECT_EQ(ParseColorText(c.text, rgb), c.ok);
    if (c.ok) {
      EXPECT_EQ(rgb, c.rgb);
    }
  }
  EXPECT_EQ(ColorText(0x0A0B0C), "#0A0B0C");
}

TEST(SettingsForm, VolumeNamesAreCheckedBeforeTheyTakeASlot) {
  Settings s;
  struct Case {
    const char* typed;
    VolumeAddResult result;
    const char* message;
  } cases[] = {
      {"  ram  ", VolumeAddResult::Added, ""},
      {"RAM", VolumeAddResult::Duplicate, "Specified device is already on the list"},
      {"   ", VolumeAddResult::Empty, ""},
      {"123456789012345", VolumeAddResult::Added, ""},
      {"1234567890123456", VolumeAddResult::TooLong, "is too long: a name holds at most 15 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::string name = TrimmedVolumeName(c.typed);
    const VolumeAddResult r = AddDisabledVolume(s, name);
    EXPECT_EQ(r, c.result);
    const std::string message = VolumeAddMessage(r, name);
    if (*c.message) {
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    } else {
      EXPECT_EQ(message, "");
    }
  }
  EXPECT_EQ(s.disabledVolumes, (std::vector<std::string>{"ram", "123456789012345"}));

  // The 65th volume is refused with a message, and the 64 all survive the record.
  for (int i = 0; s.disabledVolumes.size() < kVolumeSlots; ++i)
    ASSERT_EQ(AddDisabledVolume(s, "dev" + std::to_string(i)), VolumeAddResult::Added);
  EXPECT_EQ(AddDisabledVolume(s, "one-more"), VolumeAddResult::Full);
  EXPECT_NE(VolumeAddMessage(VolumeAddResult::Full, "one-more").find("at most 64"), std::string::npos);
  EXPECT_EQ(DecodeSettings(EncodeSettings(s)).disabledVolumes, s.disabledVolumes);
}

TEST(SettingsForm, CachePathChecks) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.file("file"), std::string("x")));
  struct Case {
    std::string path;
    bool ok;
    const char* message;
  } cases[] = {
      {dir.file("new/cache/"), true, ""},
      {"", false, "empty"},
      {"/", false, "cannot be used"},
      {dir.file("file/cache"), false, "Cannot create the cache drawer"},
      {std::string(300, 'a'), false, "too long"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string message;
    EXPECT_EQ(CheckCachePath(c.path, message), c.ok);
    if (!c.ok) {
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
  }
  struct stat st;
  EXPECT_EQ(::stat(dir.file("new/cache").c_str(), &st), 0);
}

TEST(SettingsForm, UseAndSaveTargets) {
  using T = std::vector<std::string>;
  EXPECT_EQ(ConfigTargets(ConfigAction::Use, ""), T{"ENV:Vistaloom.config"});
  EXPECT_EQ(ConfigTargets(ConfigAction::Save, ""), (T{"ENVARC:Vistaloom.config", "ENV:Vistaloom.config"}));
  EXPECT_EQ(ConfigTargets(ConfigAction::Use, "/x/my.config"), T{"/x/my.config"});
  EXPECT_EQ(ConfigTargets(ConfigAction::Save, "/x/my.config"), (T{"ENVARC:Vistaloom.config", "/x/my.config"}));
}

TEST(SettingsForm, AFailedWriteNamesTheFileAndKeepsTheOldOneWhileTheOthersAreWritten) {
  TempDir dir;
  ScopedEnv env("VISTALOOM_ASSIGN_ENVARC", dir.file("envarc"));
  // A directory where the file should be: the rename over it fails whoever runs the test.
  const std::string blocked = dir.file("blocked.config");
  ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
  Settings s;
  s.thumbWidth = 77;
  const auto failures = WriteConfigTargets(ConfigTargets(ConfigAction::Save, blocked), s);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].file, blocked);
  EXPECT_EQ(failures[0].reason, std::strerror(EISDIR));
  const std::string text = WriteFailureText(failures);
  EXPECT_EQ(text, "Cannot write the settings file " + blocked + ": " + std::strerror(EISDIR));
  // The other file was written in full.
  Settings back;
  ASSERT_TRUE(LoadSettingsFile(dir.file("envarc/Vistaloom.config"), back));
  EXPECT_EQ(back.thumbWidth, 77u);
  EXPECT_EQ(ReadFile(dir.file("envarc/Vistaloom.config")).size(), kRecordSize);
}

class CacheRunner : public ::testing::Test {
 protected:
  // Drains the queue until the runner has handed over its result.
  void Wait(thumbs::CacheMaintenanceRunner& runner) {
    for (int i = 0; i < 5000 && runner.running(); ++i) {
      queue_.RunPending();
      ::usleep(1000);
    }
  }
  TempDir dir_;
  platform::SimpleMainThreadQueue queue_;
};

TEST_F(CacheRunner, ReportsEachActionsTextThroughTheQueue) {
  const std::string root = dir_.file("cache");
  ASSERT_TRUE(platform::MakeDirectories(root + "/tmp/x"));
  ASSERT_TRUE(WriteFile(root + "/tmp/x/a.jpg", std::vector<uint8_t>(3000)));
  ASSERT_TRUE(WriteFile(root + "/b.jpg", std::vector<uint8_t>(1000)));
  thumbs::CacheMaintenanceRunner runner(queue_);
  struct Case {
    thumbs::CacheAction action;
    const char* text;
  } cases[] = {
      {thumbs::CacheAction::Size, "4000 bytes"},
      {thumbs::CacheAction::RemoveDead, "0.000 Mbytes"},  // neither /tmp/x/a.jpg nor /b.jpg exists
      {thumbs::CacheAction::Size, "0 bytes"},
  };
  for (const Case& c : cases) {
    std::vector<thumbs::CacheActionResult> got;
    ASSERT_TRUE(runner.Start(c.action, root + "/", [&got](const thumbs::CacheActionResult& r) { got.push_back(r); }));
    EXPECT_FALSE(runner.Start(c.action, root, [](const thumbs::CacheActionResult&) {}));
    Wait(runner);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].ok);
    EXPECT_EQ(got[0].sizeText, c.text);
  }
}

TEST_F(CacheRunner, RefusesARootThatIsNoCacheAndDropsTheResultOfAStoppedJob) {
  thumbs::CacheMaintenanceRunner runner(queue_);
  std::vector<thumbs::CacheActionResult> got;
  auto keep = [&got](const thumbs::CacheActionResult& r) { got.push_back(r); };
  ASSERT_TRUE(runner.Start(thumbs::CacheAction::Clear, "/", keep));
  Wait(runner);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].ok);
  EXPECT_NE(got[0].message.find("cannot be used"), std::string::npos);

  ASSERT_TRUE(platform::MakeDirectories(dir_.file("cache")));
  ASSERT_TRUE(WriteFile(dir_.file("cache/a"), std::vector<uint8_t>(10)));
  ASSERT_TRUE(runner.Start(thumbs::CacheAction::Size, dir_.file("cache"), keep));
  runner.Stop();
  EXPECT_FALSE(runner.running());
  for (int i = 0; i < 50; ++i) {
    queue_.RunPending();
    ::usleep(1000);
  }
  EXPECT_EQ(got.size(), 1u);
}

}  // namespace
}  // namespace vl::settings
