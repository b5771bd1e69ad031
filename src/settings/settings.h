// The settings record and its configuration file.
//
// The file is the raw 1588-byte record: big-endian 32-bit words, the version word 5
// first. "ENV:Vistaloom.config" holds the settings in use, "ENVARC:Vistaloom.config"
// the permanent copy.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::settings {

inline constexpr size_t kRecordSize = 1588;
inline constexpr uint32_t kRecordVersion = 5;
inline constexpr size_t kVersion4BodySize = 1316;
inline constexpr size_t kCachePathBytes = 256;
inline constexpr size_t kVolumeSlots = 64;
inline constexpr size_t kVolumeSlotBytes = 16;

inline constexpr const char* kEnvConfig = "ENV:Vistaloom.config";
inline constexpr const char* kEnvArcConfig = "ENVARC:Vistaloom.config";

// Byte offsets of the fields in the record.
namespace offset {
inline constexpr size_t version = 0;
inline constexpr size_t cacheCompression = 4;
inline constexpr size_t thumbWidth = 8;
inline constexpr size_t thumbHeight = 12;
inline constexpr size_t thumbBorder = 16;
inline constexpr size_t saveMemory = 20;
inline constexpr size_t diskCacheEnabled = 24;
inline constexpr size_t word28 = 28;
inline constexpr size_t cachePath = 32;
inline constexpr size_t disabledVolumes = 288;
inline constexpr size_t showIconFiles = 1312;
inline constexpr size_t showNonImageFiles = 1316;
inline constexpr size_t replaceSuffix = 1320;
inline constexpr size_t fullScreenOnDoubleClick = 1324;
inline constexpr size_t useLastPath = 1332;
inline constexpr size_t showDetails = 1336;
inline constexpr size_t showColorPicker = 1340;
inline constexpr size_t correctOrientation = 1344;
inline constexpr size_t delayedScanning = 1348;
inline constexpr size_t backgroundColor = 1352;
inline constexpr size_t view3DBackgroundColor = 1356;
inline constexpr size_t view3DShadowColor = 1360;
}  // namespace offset

struct Settings {
  uint32_t version = kRecordVersion;
  uint32_t cacheCompression = 0;  // 0 Low, 1 Medium, 2 High (JPEG quality 80, 60, 40)
  uint32_t thumbWidth = 120;
  uint32_t thumbHeight = 90;
  uint32_t thumbBorder = 5;
  bool saveMemory = true;
  bool diskCacheEnabled = true;
  uint32_t word28 = 10;                      // not shown in the window; kept as read
  std::string cachePath = "PROGDIR:cache/";  // at most 255 bytes in the record
  std::vector<std::string> disabledVolumes;  // at most 64 names of at most 15 bytes
  bool showIconFiles = false;
  bool showNonImageFiles = true;
  bool replaceSuffix = false;
  bool fullScreenOnDoubleClick = false;
  bool useLastPath = false;
  bool showDetails = true;
  bool showColorPicker = true;
  bool correctOrientation = false;
  bool delayedScanning = false;
  uint32_t backgroundColor = 0x000000;
  uint32_t view3DBackgroundColor = 0xFFFFFF;
  uint32_t view3DShadowColor = 0x000000;
  // Bytes of the record at offsets no field above covers, kept as read so that a save
  // does not lose them.
  std::array<uint8_t, kRecordSize> other{};
};

using Record = std::array<uint8_t, kRecordSize>;

// The defaults of every field.
Settings DefaultSettings();

// Record <-> fields. Decode takes texts only up to their slot's terminator (and never
// more than the slot minus one byte); the volume list ends at the first empty slot.
Record EncodeSettings(const Settings& settings);
Settings DecodeSettings(const Record& record);

// Reads a configuration file. Version 5 files are read whole; version 4 files give their
// 1316-byte body with the rest zero and become version 5. A missing file, a short read or
// another version leaves the defaults and returns false.
bool LoadSettingsFile(const std::string& path, Settings& settings);
// Loads "ENV:Vistaloom.config" (seeded from ENVARC: when missing there); defaults
// otherwise. Returns true when a file was read.
bool LoadSettings(Settings& settings);

// Writes the 1588 bytes in one piece, replacing the file atomically. False (and the old
// file kept) on failure, with the errno of the failed step in error when given.
bool WriteSettingsFile(const std::string& path, const Settings& settings, int* error = nullptr);
// "Use": writes ENV:. "Save": writes ENVARC: and then ENV:.
bool UseSettings(const Settings& settings);
bool SaveSettings(const Settings& settings);

enum class VolumeAddResult { Added, Empty, Duplicate, TooLong, Full };
// Adds a name to the disabled-volume list. Empty names are ignored, names already on the
// list (compared without regard to case) refused, as are names longer than a slot holds
// and additions beyond the 64 slots.
VolumeAddResult AddDisabledVolume(Settings& settings, const std::string& name);
// Removes the name (compared without regard to case); false when it is not on the list.
bool RemoveDisabledVolume(Settings& settings, const std::string& name);

}  // namespace vl::settings
