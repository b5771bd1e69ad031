#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "test_support.h"

namespace vl::settings {
namespace {

using vl::test::ReadFile;
using vl::test::ScopedEnv;
using vl::test::TempDir;
using vl::test::WriteFile;

void PutBE(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  d[at] = static_cast<uint8_t>(v >> 24);
  d[at + 1] = static_cast<uint8_t>(v >> 16);
  d[at + 2] = static_cast<uint8_t>(v >> 8);
  d[at + 3] = static_cast<uint8_t>(v);
}

void ExpectDefaults(const Settings& s) {
  Settings d;
  EXPECT_EQ(EncodeSettings(s), EncodeSettings(d));
}

TEST(SettingsFile, SavedFileIsTheWholeRecordBeginningWithVersion5) {
  TempDir dir;
  Settings s;
  s.thumbWidth = 64;
  ASSERT_TRUE(WriteSettingsFile(dir.file("Vistaloom.config"), s));
  std::vector<uint8_t> data = ReadFile(dir.file("Vistaloom.config"));
  ASSERT_EQ(data.size(), 1588u);
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(data[1], 0);
  EXPECT_EQ(data[2], 0);
  EXPECT_EQ(data[3], 5);
  Settings back;
  ASSERT_TRUE(LoadSettingsFile(dir.file("Vistaloom.config"), back));
  EXPECT_EQ(back.thumbWidth, 64u);
  EXPECT_EQ(EncodeSettings(back), EncodeSettings(s));
}

TEST(SettingsFile, Version4FileIsUpgraded) {
  TempDir dir;
  std::vector<uint8_t> d(1320, 0);
  PutBE(d, 0, 4);
  PutBE(d, 8, 100);
  PutBE(d, 24, 1);
  std::memcpy(&d[32], "/data/cache/", 13);
  std::memcpy(&d[288], "ram", 4);
  PutBE(d, 1312, 1);
  PutBE(d, 1316, 1);
  ASSERT_TRUE(WriteFile(dir.file("v4.config"), d));
  Settings s;
  ASSERT_TRUE(LoadSettingsFile(dir.file("v4.config"), s));
  EXPECT_EQ(s.version, 5u);
  EXPECT_EQ(s.thumbWidth, 100u);
  EXPECT_EQ(s.thumbHeight, 0u);
  EXPECT_TRUE(s.diskCacheEnabled);
  EXPECT_FALSE(s.saveMemory);
  EXPECT_EQ(s.cachePath, "/data/cache/");
  EXPECT_EQ(s.disabledVolumes, std::vector<std::string>{"ram"});
  EXPECT_TRUE(s.showIconFiles);
  EXPECT_TRUE(s.showNonImageFiles);
  // Behind offset 1316 everything is zero, but the two 3D colours both zero give a
  // white 3D background.
  EXPECT_FALSE(s.replaceSuffix);
  EXPECT_FALSE(s.showDetails);
  EXPECT_FALSE(s.showColorPicker);
  EXPECT_EQ(s.backgroundColor, 0u);
  EXPECT_EQ(s.view3DBackgroundColor, 0xFFFFFFu);
  EXPECT_EQ(s.view3DShadowColor, 0u);
  // Written back as version 5.
  ASSERT_TRUE(WriteSettingsFile(dir.file("v4.config"), s));
  std::vector<uint8_t> out = ReadFile(dir.file("v4.config"));
  ASSERT_EQ(out.size(), 1588u);
  EXPECT_EQ(out[3], 5);
  EXPECT_EQ(out[11], 100);
}

TEST(SettingsFile, ShortOrForeignFilesGiveTheDefaults) {
  TempDir dir;
  Settings good;
  good.thumbWidth = 33;
  Record encoded = EncodeSettings(good);
  std::vector<uint8_t> rec(encoded.begin(), encoded.end());

  std::vector<uint8_t> v6 = rec;
  PutBE(v6, 0, 6);
  ASSERT_TRUE(WriteFile(dir.file("v6"), v6));
  std::vector<uint8_t> shortV5(rec.begin(), rec.end() - 1);
  ASSERT_TRUE(WriteFile(dir.file("short5"), shortV5));
  std::vector<uint8_t> shortV4(rec.begin(), rec.begin() + 1319);
  PutBE(shortV4, 0, 4);
  ASSERT_TRUE(WriteFile(dir.file("short4"), shortV4));
  ASSERT_TRUE(WriteFile(dir.file("tiny"), std::vector<uint8_t>{0, 0}));
  ASSERT_TRUE(WriteFile(dir.file("empty"), std::vector<uint8_t>{}));

  for (const char* name : {"v6", "short5", "short4", "tiny", "empty", "missing"}) {
    Settings s;
    s.thumbWidth = 1;  // must be replaced by the default
    EXPECT_FALSE(LoadSettingsFile(dir.file(name), s)) << name;
    ExpectDefaults(s);
  }
  // A longer file reads its first 1588 bytes.
  std::vector<uint8_t> longer = rec;
  longer.resize(4000, 0xFF);
  ASSERT_TRUE(WriteFile(dir.file("long"), longer));
  Settings s;
  EXPECT_TRUE(LoadSettingsFile(dir.file("long"), s));
  EXPECT_EQ(s.thumbWidth, 33u);
}

TEST(SettingsFile, ThreeDColourRuleOnlyWhenBothAreZero) {
  TempDir dir;
  Settings s;
  s.view3DBackgroundColor = 0;
  s.view3DShadowColor = 0x010101;
  ASSERT_TRUE(WriteSettingsFile(dir.file("a"), s));
  Settings back;
  ASSERT_TRUE(LoadSettingsFile(dir.file("a"), back));
  EXPECT_EQ(back.view3DBackgroundColor, 0u);
  s.view3DShadowColor = 0;
  ASSERT_TRUE(WriteSettingsFile(dir.file("a"), s));
  ASSERT_TRUE(LoadSettingsFile(dir.file("a"), back));
  EXPECT_EQ(back.view3DBackgroundColor, 0xFFFFFFu);
}

TEST(SettingsFile, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  Settings s;
  s.thumbWidth = 40;
  ASSERT_TRUE(WriteSettingsFile(dir.file("cfg"), s));
  std::vector<uint8_t> before = ReadFile(dir.file("cfg"));
  // The target is a non-empty directory: the rename cannot replace it.
  ASSERT_EQ(::mkdir(dir.file("isdir").c_str(), 0700), 0);
  ASSERT_TRUE(WriteFile(dir.file("isdir/x"), std::string("x")));
  EXPECT_FALSE(WriteSettingsFile(dir.file("isdir"), s));
  EXPECT_EQ(ReadFile(dir.file("isdir/x")).size(), 1u);
  // Nothing else in the directory was disturbed either.
  EXPECT_EQ(ReadFile(dir.file("cfg")), before);
}

TEST(SettingsFile, EnvIsSeededFromEnvarcAndSaveWritesBoth) {
  TempDir dir;
  ScopedEnv env("VISTALOOM_ASSIGN_ENV", dir.file("env"));
  ScopedEnv arc("VISTALOOM_ASSIGN_ENVARC", dir.file("envarc"));
  Settings s;
  EXPECT_FALSE(LoadSettings(s));  // neither exists: defaults
  ExpectDefaults(s);

  Settings saved;
  saved.thumbHeight = 150;
  ASSERT_TRUE(WriteSettingsFile(dir.file("envarc/Vistaloom.config"), saved));
  ASSERT_TRUE(LoadSettings(s));
  EXPECT_EQ(s.thumbHeight, 150u);
  EXPECT_EQ(ReadFile(dir.file("env/Vistaloom.config")).size(), 1588u);  // seeded

  Settings used;
  used.thumbHeight = 77;
  ASSERT_TRUE(UseSettings(used));
  ASSERT_TRUE(LoadSettings(s));
  EXPECT_EQ(s.thumbHeight, 77u);
  Settings permanent;
  ASSERT_TRUE(LoadSettingsFile(dir.file("envarc/Vistaloom.config"), permanent));
  EXPECT_EQ(permanent.thumbHeight, 150u);  // Use leaves ENVARC: alone

  used.thumbHeight = 99;
  ASSERT_TRUE(SaveSettings(used));
  ASSERT_TRUE(LoadSettingsFile(dir.file("envarc/Vistaloom.config"), permanent));
  EXPECT_EQ(permanent.thumbHeight, 99u);
  ASSERT_TRUE(LoadSettings(s));
  EXPECT_EQ(s.thumbHeight, 99u);
}

}  // namespace
}  // namespace vl::settings
