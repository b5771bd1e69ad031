#include "settings/settings_form.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/paths.h"

namespace vl::settings {
namespace {

FormField Number(const char* name, FormPage page, const char* group, const char* label, uint32_t Settings::*field,
                 uint32_t minimum, uint32_t maximum, const char* unit) {
  FormField f{name, page, group, label, FieldKind::Number};
  f.number = field;
  f.minimum = minimum;
  f.maximum = maximum;
  f.unit = unit;
  return f;
}

FormField Switch(const char* name, FormPage page, const char* group, const char* label, bool Settings::*field,
                 const char* help = "") {
  FormField f{name, page, group, label, FieldKind::Switch};
  f.flag = field;
  f.help = help;
  return f;
}

FormField Color(const char* name, const char* label, uint32_t Settings::*field, const char* requester) {
  FormField f{name, FormPage::General, "Display", label, FieldKind::Color};
  f.number = field;
  f.maximum = 0xFFFFFF;
  f.requester = requester;
  return f;
}

std::vector<FormField> MakeFields() {
  using P = FormPage;
  FormField compression{"compression", P::Thumbnails, kCacheGroup, "Compression", FieldKind::Choice};
  compression.number = &Settings::cacheCompression;
  compression.maximum = 2;
  compression.help =
      "Low: JPEG with quite a good quality\nMedium: JPEG with medium quality\nHigh: JPEG with low quality";
  return {
      Number("thumbWidth", P::Thumbnails, "Thumbnail", "Width", &Settings::thumbWidth, 32, 160, "pixels"),
      Number("thumbHeight", P::Thumbnails, "Thumbnail", "Height", &Settings::thumbHeight, 32, 160, "pixels"),
      Number("thumbBorder", P::Thumbnails, "Thumbnail", "Border", &Settings::thumbBorder, 0, 10, "pixels"),
      Switch("saveMemory", P::Thumbnails, "Thumbnail", "Save memory (at small cost of performance)",
             &Settings::saveMemory),
      Switch("diskCache", P::Thumbnails, kCacheGroup, "Enable disk cache", &Settings::diskCacheEnabled),
      compression,
      Switch("showIconFiles", P::Browser, "Display", "Show .info files:", &Settings::showIconFiles),
      Switch("showNonImageFiles", P::Browser, "Display", "Show non-image files:", &Settings::showNonImageFiles),
      Switch("delayedScanning", P::Browser, "Display", "Delayed scanning:", &Settings::delayedScanning),
      Switch("doubleClickFullScreen", P::General, "Display",
             "Change full screen/window on doubleclick:", &Settings::fullScreenOnDoubleClick),
      Switch("correctOrientation", P::General, "Display",
             "Correct image orientation (if possible):", &Settings::correctOrientation,
             "Corrects image orientation if needed information is available in EXIF tags"),
      Color("backgroundColor", "Background color:", &Settings::backgroundColor, "Background color..."),
      Color("view3DBackgroundColor", "3DView background color:", &Settings::view3DBackgroundColor,
            "Background color..."),
      Color("view3DShadowColor", "3DView shadow color:", &Settings::view3DShadowColor, "Shadow color..."),
      Switch("replaceSuffix", P::General, "Save", "Replace file suffix:", &Settings::replaceSuffix),
      Switch("useLastPath", P::General, "Save", "Use last selected path:", &Settings::useLastPath),
      Switch("showDetails", P::General, "Groups", "Details:", &Settings::showDetails),
      Switch("showColorPicker", P::General, "Groups", "Color picker:", &Settings::showColorPicker),
  };
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

const std::vector<FormField>& FormFields() {
  static const std::vector<FormField> fields = MakeFields();
  return fields;
}

const char* PageTitle(FormPage page) {
  switch (page) {
    case FormPage::Thumbnails: return "Thumbnails";
    case FormPage::Browser: return "Browser";
    case FormPage::General: return "General";
  }
  return "";
}

const std::vector<std::string>& CompressionNames() {
  static const std::vector<std::string> names = {"Low", "Medium", "High"};
  return names;
}

Settings ClampToForm(Settings s) {
  for (const FormField& f : FormFields()) {
    if (!f.number) continue;
    uint32_t& v = s.*f.number;
    if (f.kind == FieldKind::Color)
      v &= 0xFFFFFF;
    else if (v < f.minimum)
      v = f.minimum;
    else if (v > f.maximum)
      v = f.kind == FieldKind::Choice ? f.minimum : f.maximum;
  }
  return s;
}

std::string ColorText(uint32_t rgb) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
  return buf;
}

bool ParseColorText(std::string_view text, uint32_t& rgb) {
  text = Trim(text);
  if (!text.empty() && text.front() == '#')
    text.remove_prefix(1);
  else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.size() != 6) return false;
  uint32_t v = 0;
  for (char c : text) {
    const int d = HexValue(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  rgb = v;
  return true;
}

std::string TrimmedVolumeName(std::string_view typed) {
  return std::string(Trim(typed));
}

std::string VolumeAddMessage(VolumeAddResult result, const std::string& name) {
  switch (result) {
    case VolumeAddResult::Added:
    case VolumeAddResult::Empty: return {};
    case VolumeAddResult::Duplicate: return "Specified device is already on the list";
    case VolumeAddResult::TooLong:
      return "The device name \"" + name + "\" is too long: a name holds at most " +
             std::to_string(kVolumeSlotBytes - 1) + " characters";
    case VolumeAddResult::Full:
      return "The list is full: at most " + std::to_string(kVolumeSlots) + " devices can be listed";
  }
  return {};
}

bool CheckCachePath(const std::string& path, std::string& message) {
  if (Trim(path).empty()) {
    message = "The cache path is empty";
    return false;
  }
  if (path.size() > kCachePathBytes - 1 || path.find('\0') != std::string::npos) {
    message = "The cache path is too long: it holds at most " + std::to_string(kCachePathBytes - 1) + " characters";
    return false;
  }
  const std::string resolved = platform::ResolvePath(path);
  if (resolved.empty() || resolved.find_first_not_of('/') == std::string::npos) {
    message = "The cache path \"" + path + "\" cannot be used";
    return false;
  }
  errno = 0;
  if (!platform::MakeDirectories(resolved, 0755)) {
    const int e = errno ? errno : ENOTDIR;
    message = "Cannot create the cache drawer \"" + path + "\": " + std::strerror(e);
    return false;
  }
  return true;
}

std::vector<std::string> ConfigTargets(ConfigAction action, const std::string& configFile) {
  const std::string inUse = configFile.empty() ? std::string(kEnvConfig) : configFile;
  if (action == ConfigAction::Use) return {inUse};
  return {kEnvArcConfig, inUse};
}

std::vector<WriteFailure> WriteConfigTargets(const std::vector<std::string>& targets, const Settings& settings) {
  std::vector<WriteFailure> failures;
  for (const std::string& target : targets) {
    const std::string path = platform::ResolvePath(target);
    int error = 0;
    if (!WriteSettingsFile(path, settings, &error)) failures.push_back({target, path, std::strerror(error)});
  }
  return failures;
}

std::string WriteFailureText(const std::vector<WriteFailure>& failures) {
  std::string text;
  for (const WriteFailure& f : failures) {
    if (!text.empty()) text += "\n";
    text += "Cannot write the settings file " + f.file;
    if (f.path != f.file) text += " (" + f.path + ")";
    text += ": " + f.reason;
  }
  return text;
}

}  // namespace vl::settings
