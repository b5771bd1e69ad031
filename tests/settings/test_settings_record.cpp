#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "test_support.h"

namespace vl::settings {
namespace {

void PutBE(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  d[at] = static_cast<uint8_t>(v >> 24);
  d[at + 1] = static_cast<uint8_t>(v >> 16);
  d[at + 2] = static_cast<uint8_t>(v >> 8);
  d[at + 3] = static_cast<uint8_t>(v);
}

uint32_t GetBE(const std::vector<uint8_t>& d, size_t at) {
  return (uint32_t{d[at]} << 24) | (uint32_t{d[at + 1]} << 16) | (uint32_t{d[at + 2]} << 8) | d[at + 3];
}

// Distinct non-default values for every field, each word with all four bytes set so a
// shifted offset or a swapped byte order shows.
Settings Distinct() {
  Settings s;
  s.cacheCompression = 0x01020302;
  s.thumbWidth = 0x11121314;
  s.thumbHeight = 0x21222324;
  s.thumbBorder = 0x31323334;
  s.saveMemory = false;
  s.diskCacheEnabled = false;
  s.word28 = 0x41424344;
  s.cachePath = "/srv/thumbs/cache/";
  s.disabledVolumes = {"ram", "cd0", "Sda1"};
  s.showIconFiles = true;
  s.showNonImageFiles = false;
  s.replaceSuffix = true;
  s.fullScreenOnDoubleClick = true;
  s.useLastPath = true;
  s.showDetails = false;
  s.showColorPicker = false;
  s.correctOrientation = true;
  s.delayedScanning = true;
  s.backgroundColor = 0x00A1B2C3;
  s.view3DBackgroundColor = 0x00D4E5F6;
  s.view3DShadowColor = 0x00102030;
  return s;
}

TEST(SettingsRecord, EveryFieldAtItsOffset) {
  Record r = EncodeSettings(Distinct());
  std::vector<uint8_t> d(r.begin(), r.end());
  EXPECT_EQ(GetBE(d, 0), 5u);
  EXPECT_EQ(GetBE(d, 4), 0x01020302u);
  EXPECT_EQ(GetBE(d, 8), 0x11121314u);
  EXPECT_EQ(GetBE(d, 12), 0x21222324u);
  EXPECT_EQ(GetBE(d, 16), 0x31323334u);
  EXPECT_EQ(GetBE(d, 20), 0u);
  EXPECT_EQ(GetBE(d, 24), 0u);
  EXPECT_EQ(GetBE(d, 28), 0x41424344u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[32])), "/srv/thumbs/cache/");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[288])), "ram");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[304])), "cd0");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[320])), "Sda1");
  EXPECT_EQ(d[336], 0);  // the list ends with an empty slot
  EXPECT_EQ(GetBE(d, 1312), 1u);
  EXPECT_EQ(GetBE(d, 1316), 0u);
  EXPECT_EQ(GetBE(d, 1320), 1u);
  EXPECT_EQ(GetBE(d, 1324), 1u);
  EXPECT_EQ(GetBE(d, 1328), 0u);
  EXPECT_EQ(GetBE(d, 1332), 1u);
  EXPECT_EQ(GetBE(d, 1336), 0u);
  EXPECT_EQ(GetBE(d, 1340), 0u);
  EXPECT_EQ(GetBE(d, 1344), 1u);
  EXPECT_EQ(GetBE(d, 1348), 1u);
  EXPECT_EQ(GetBE(d, 1352), 0x00A1B2C3u);
  EXPECT_EQ(GetBE(d, 1356), 0x00D4E5F6u);
  EXPECT_EQ(GetBE(d, 1360), 0x00102030u);
  for (size_t i = 1364; i < kRecordSize; ++i) ASSERT_EQ(d[i], 0) << i;
}

TEST(SettingsRecord, DecodeReadsEachOffset) {
  std::vector<uint8_t> d(kRecordSize, 0);
  PutBE(d, 0, 5);
  PutBE(d, 4, 2);
  PutBE(d, 8, 160);
  PutBE(d, 12, 32);
  PutBE(d, 16, 10);
  PutBE(d, 20, 0);
  PutBE(d, 24, 1);
  PutBE(d, 28, 77);
  std::memcpy(&d[32], "PROGDIR:other/", 15);
  std::memcpy(&d[288], "cd0", 4);
  std::memcpy(&d[304], "RAM", 4);
  PutBE(d, 1312, 1);
  PutBE(d, 1316, 0);
  PutBE(d, 1320, 1);
  PutBE(d, 1324, 1);
  PutBE(d, 1332, 1);
  PutBE(d, 1336, 0);
  PutBE(d, 1340, 0);
  PutBE(d, 1344, 1);
  PutBE(d, 1348, 1);
  PutBE(d, 1352, 0x123456);
  PutBE(d, 1356, 0x654321);
  PutBE(d, 1360, 0x0F0F0F);
  Record r;
  std::copy(d.begin(), d.end(), r.begin());
  Settings s = DecodeSettings(r);
  EXPECT_EQ(s.cacheCompression, 2u);
  EXPECT_EQ(s.thumbWidth, 160u);
  EXPECT_EQ(s.thumbHeight, 32u);
  EXPECT_EQ(s.thumbBorder, 10u);
  EXPECT_FALSE(s.saveMemory);
  EXPECT_TRUE(s.diskCacheEnabled);
  EXPECT_EQ(s.word28, 77u);
  EXPECT_EQ(s.cachePath, "PROGDIR:other/");
  EXPECT_EQ(s.disabledVolumes, (std::vector<std::string>{"cd0", "RAM"}));
  EXPECT_TRUE(s.showIconFiles);
  EXPECT_FALSE(s.showNonImageFiles);
  EXPECT_TRUE(s.replaceSuffix);
  EXPECT_TRUE(s.fullScreenOnDoubleClick);
  EXPECT_TRUE(s.useLastPath);
  EXPECT_FALSE(s.showDetails);
  EXPECT_FALSE(s.showColorPicker);
  EXPECT_TRUE(s.correctOrientation);
  EXPECT_TRUE(s.delayedScanning);
  EXPECT_EQ(s.backgroundColor, 0x123456u);
  EXPECT_EQ(s.view3DBackgroundColor, 0x654321u);
  EXPECT_EQ(s.view3DShadowColor, 0x0F0F0Fu);
}

TEST(SettingsRecord, UnlistedBytesSurviveARoundTrip) {
  Record r = EncodeSettings(Settings());
  r[1328] = 0xAB;
  r[1500] = 0xCD;
  r[kRecordSize - 1] = 0xEF;
  Record again = EncodeSettings(DecodeSettings(r));
  EXPECT_EQ(again, r);
}

TEST(SettingsRecord, UnterminatedTextsStayInsideTheirSlots) {
  Record r = EncodeSettings(Settings());
  std::memset(&r[32], 'p', 256);       // cache path without a terminator
  std::memset(&r[288], 'v', 16 * 64);  // every volume slot full
  Settings s = DecodeSettings(r);
  EXPECT_EQ(s.cachePath, std::string(255, 'p'));
  ASSERT_EQ(s.disabledVolumes.size(), 64u);
  for (const auto& v : s.disabledVolumes) EXPECT_EQ(v, std::string(15, 'v'));
  // Written back, every text is terminated inside its slot.
  Record w = EncodeSettings(s);
  EXPECT_EQ(w[32 + 255], 0);
  for (size_t slot = 0; slot < 64; ++slot) EXPECT_EQ(w[288 + slot * 16 + 15], 0);
}

TEST(SettingsRecord, DefaultsMatchTheTable) {
  Settings s = DefaultSettings();
  Record r = EncodeSettings(s);
  std::vector<uint8_t> d(r.begin(), r.end());
  EXPECT_EQ(GetBE(d, 0), 5u);
  EXPECT_EQ(GetBE(d, 4), 0u);
  EXPECT_EQ(GetBE(d, 8), 120u);
  EXPECT_EQ(GetBE(d, 12), 90u);
  EXPECT_EQ(GetBE(d, 16), 5u);
  EXPECT_EQ(GetBE(d, 20), 1u);
  EXPECT_EQ(GetBE(d, 24), 1u);
  EXPECT_EQ(GetBE(d, 28), 10u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d[32])), "PROGDIR:cache/");
  EXPECT_EQ(d[288], 0);
  EXPECT_EQ(GetBE(d, 1312), 0u);
  EXPECT_EQ(GetBE(d, 1316), 1u);
  EXPECT_EQ(GetBE(d, 1336), 1u);
  EXPECT_EQ(GetBE(d, 1340), 1u);
  EXPECT_EQ(GetBE(d, 1352), 0u);
  EXPECT_EQ(GetBE(d, 1356), 0xFFFFFFu);
  EXPECT_EQ(GetBE(d, 1360), 0u);
}

TEST(SettingsVolumes, AddRefusesDuplicatesOverlongNamesAndOverflow) {
  Settings s;
  EXPECT_EQ(AddDisabledVolume(s, ""), VolumeAddResult::Empty);
  EXPECT_EQ(AddDisabledVolume(s, "cd0"), VolumeAddResult::Added);
  EXPECT_EQ(AddDisabledVolume(s, "CD0"), VolumeAddResult::Duplicate);
  EXPECT_EQ(AddDisabledVolume(s, std::string(16, 'x')), VolumeAddResult::TooLong);
  EXPECT_EQ(AddDisabledVolume(s, std::string(15, 'x')), VolumeAddResult::Added);
  for (int i = 2; i < 64; ++i) ASSERT_EQ(AddDisabledVolume(s, "v" + std::to_string(i)), VolumeAddResult::Added);
  EXPECT_EQ(AddDisabledVolume(s, "one-more"), VolumeAddResult::Full);
  EXPECT_EQ(s.disabledVolumes.size(), 64u);
  Settings back = DecodeSettings(EncodeSettings(s));
  EXPECT_EQ(back.disabledVolumes, s.disabledVolumes);
  EXPECT_TRUE(RemoveDisabledVolume(s, "Cd0"));
  EXPECT_FALSE(RemoveDisabledVolume(s, "cd0"));
  EXPECT_EQ(s.disabledVolumes.size(), 63u);
}

}  // namespace
}  // namespace vl::settings
