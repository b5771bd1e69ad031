#include "settings/settings.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/paths.h"
#include "platform/safe_file.h"

namespace vl::settings {
namespace {

uint32_t GetU32(const Record& r, size_t at) {
  return (uint32_t{r[at]} << 24) | (uint32_t{r[at + 1]} << 16) | (uint32_t{r[at + 2]} << 8) | uint32_t{r[at + 3]};
}

void PutU32(Record& r, size_t at, uint32_t v) {
  r[at] = static_cast<uint8_t>(v >> 24);
  r[at + 1] = static_cast<uint8_t>(v >> 16);
  r[at + 2] = static_cast<uint8_t>(v >> 8);
  r[at + 3] = static_cast<uint8_t>(v);
}

// A zero-terminated text in a slot of size bytes; at most size - 1 bytes are taken.
std::string GetText(const Record& r, size_t at, size_t size) {
  const char* p = reinterpret_cast<const char*>(r.data() + at);
  size_t n = strnlen(p, size - 1);
  return std::string(p, n);
}

void PutText(Record& r, size_t at, size_t size, const std::string& text) {
  std::memset(r.data() + at, 0, size);
  size_t n = std::min(text.size(), size - 1);
  n = strnlen(text.c_str(), n);  // an embedded zero ends the text
  std::memcpy(r.data() + at, text.data(), n);
}

// Whether byte i belongs to a listed field.
bool IsFieldByte(size_t i) {
  if (i < offset::disabledVolumes + kVolumeSlots * kVolumeSlotBytes) return true;  // 0..1311
  if (i >= offset::showIconFiles && i < offset::fullScreenOnDoubleClick + 4) return true;
  if (i >= offset::useLastPath && i < offset::view3DShadowColor + 4) return true;
  return false;
}

FILE* OpenForRead(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};

}  // namespace

Settings DefaultSettings() {
  return Settings();
}

Record EncodeSettings(const Settings& s) {
  Record r{};
  for (size_t i = 0; i < kRecordSize; ++i)
    if (!IsFieldByte(i)) r[i] = s.other[i];
  PutU32(r, offset::version, s.version);
  PutU32(r, offset::cacheCompression, s.cacheCompression);
  PutU32(r, offset::thumbWidth, s.thumbWidth);
  PutU32(r, offset::thumbHeight, s.thumbHeight);
  PutU32(r, offset::thumbBorder, s.thumbBorder);
  PutU32(r, offset::saveMemory, s.saveMemory ? 1 : 0);
  PutU32(r, offset::diskCacheEnabled, s.diskCacheEnabled ? 1 : 0);
  PutU32(r, offset::word28, s.word28);
  PutText(r, offset::cachePath, kCachePathBytes, s.cachePath);
  size_t slot = 0;
  for (const std::string& name : s.disabledVolumes) {
    if (slot == kVolumeSlots) break;
    if (name.empty() || name[0] == '\0') continue;  // an empty slot would end the list
    PutText(r, offset::disabledVolumes + slot * kVolumeSlotBytes, kVolumeSlotBytes, name);
    ++slot;
  }
  PutU32(r, offset::showIconFiles, s.showIconFiles ? 1 : 0);
  PutU32(r, offset::showNonImageFiles, s.showNonImageFiles ? 1 : 0);
  PutU32(r, offset::replaceSuffix, s.replaceSuffix ? 1 : 0);
  PutU32(r, offset::fullScreenOnDoubleClick, s.fullScreenOnDoubleClick ? 1 : 0);
  PutU32(r, offset::useLastPath, s.useLastPath ? 1 : 0);
  PutU32(r, offset::showDetails, s.showDetails ? 1 : 0);
  PutU32(r, offset::showColorPicker, s.showColorPicker ? 1 : 0);
  PutU32(r, offset::correctOrientation, s.correctOrientation ? 1 : 0);
  PutU32(r, offset::delayedScanning, s.delayedScanning ? 1 : 0);
  PutU32(r, offset::backgroundColor, s.backgroundColor);
  PutU32(r, offset::view3DBackgroundColor, s.view3DBackgroundColor);
  PutU32(r, offset::view3DShadowColor, s.view3DShadowColor);
  return r;
}

Settings DecodeSettings(const Record& r) {
  Settings s;
  for (size_t i = 0; i < kRecordSize; ++i) s.other[i] = IsFieldByte(i) ? 0 : r[i];
  s.version = GetU32(r, offset::version);
  s.cacheCompression = GetU32(r, offset::cacheCompression);
  s.thumbWidth = GetU32(r, offset::thumbWidth);
  s.thumbHeight = GetU32(r, offset::thumbHeight);
  s.thumbBorder = GetU32(r, offset::thumbBorder);
  s.saveMemory = GetU32(r, offset::saveMemory) != 0;
  s.diskCacheEnabled = GetU32(r, offset::diskCacheEnabled) != 0;
  s.word28 = GetU32(r, offset::word28);
  s.cachePath = GetText(r, offset::cachePath, kCachePathBytes);
  s.disabledVolumes.clear();
  for (size_t slot = 0; slot < kVolumeSlots; ++slot) {
    std::string name = GetText(r, offset::disabledVolumes + slot * kVolumeSlotBytes, kVolumeSlotBytes);
    if (name.empty()) break;
    s.disabledVolumes.push_back(name);
  }
  s.showIconFiles = GetU32(r, offset::showIconFiles) != 0;
  s.showNonImageFiles = GetU32(r, offset::showNonImageFiles) != 0;
  s.replaceSuffix = GetU32(r, offset::replaceSuffix) != 0;
  s.fullScreenOnDoubleClick = GetU32(r, offset::fullScreenOnDoubleClick) != 0;
  s.useLastPath = GetU32(r, offset::useLastPath) != 0;
  s.showDetails = GetU32(r, offset::showDetails) != 0;
  s.showColorPicker = GetU32(r, offset::showColorPicker) != 0;
  s.correctOrientation = GetU32(r, offset::correctOrientation) != 0;
  s.delayedScanning = GetU32(r, offset::delayedScanning) != 0;
  s.backgroundColor = GetU32(r, offset::backgroundColor);
  s.view3DBackgroundColor = GetU32(r, offset::view3DBackgroundColor);
  s.view3DShadowColor = GetU32(r, offset::view3DShadowColor);
  return s;
}

bool LoadSettingsFile(const std::string& path, Settings& settings) {
  settings = DefaultSettings();
  std::unique_ptr<FILE, FileCloser> f(OpenForRead(path));
  if (!f) return false;
  Record r{};
  if (std::fread(r.data(), 1, 4, f.get()) != 4) return false;
  uint32_t version = GetU32(r, offset::version);
  if (version == kRecordVersion) {
    if (std::fread(r.data() + 4, 1, kRecordSize - 4, f.get()) != kRecordSize - 4) return false;
  } else if (version == 4) {
    if (std::fread(r.data() + 4, 1, kVersion4BodySize, f.get()) != kVersion4BodySize) return false;
    PutU32(r, offset::version, kRecordVersion);
  } else {
    return false;
  }
  settings = DecodeSettings(r);
  if (settings.view3DBackgroundColor == 0 && settings.view3DShadowColor == 0) settings.view3DBackgroundColor = 0xFFFFFF;
  return true;
}

bool LoadSettings(Settings& settings) {
  // ResolveForRead seeds ENV: from ENVARC: when the file is missing in ENV:.
  return LoadSettingsFile(platform::ResolveForRead(kEnvConfig), settings);
}

bool WriteSettingsFile(const std::string& path, const Settings& settings, int* error) {
  Record r = EncodeSettings(settings);
  std::string parent(platform::PathPart(path));
  if (!parent.empty()) platform::MakeDirectories(parent, 0700);
  return platform::WriteFileAtomically(path, r.data(), r.size(), error);
}

bool UseSettings(const Settings& settings) {
  return WriteSettingsFile(platform::ResolvePath(kEnvConfig), settings);
}

bool SaveSettings(const Settings& settings) {
  bool arc = WriteSettingsFile(platform::ResolvePath(kEnvArcConfig), settings);
  bool env = WriteSettingsFile(platform::ResolvePath(kEnvConfig), settings);
  return arc && env;
}

VolumeAddResult AddDisabledVolume(Settings& settings, const std::string& name) {
  if (name.empty()) return VolumeAddResult::Empty;
  if (name.size() > kVolumeSlotBytes - 1 || name.find('\0') != std::string::npos) return VolumeAddResult::TooLong;
  for (const std::string& v : settings.disabledVolumes)
    if (strcasecmp(v.c_str(), name.c_str()) == 0) return VolumeAddResult::Duplicate;
  if (settings.disabledVolumes.size() >= kVolumeSlots) return VolumeAddResult::Full;
  settings.disabledVolumes.push_back(name);
  return VolumeAddResult::Added;
}

bool RemoveDisabledVolume(Settings& settings, const std::string& name) {
  for (auto it = settings.disabledVolumes.begin(); it != settings.disabledVolumes.end(); ++it) {
    if (strcasecmp(it->c_str(), name.c_str()) == 0) {
      settings.disabledVolumes.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace vl::settings
