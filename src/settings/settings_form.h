// What the settings window edits, apart from its widgets: the fields with their pages,
// groups, labels and ranges; the checks on what a user types (volume names, colours, the
// cache path); the files "Use" and "Save" write and the texts of their failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace vl::settings {

enum class FormPage { Thumbnails, Browser, General };
enum class FieldKind { Number, Switch, Choice, Color };

// One field the window shows with a widget of its kind. Exactly one of number and flag is
// set: number for Number, Choice and Color, flag for Switch.
struct FormField {
  const char* name;  // the widget's object name
  FormPage page;
  const char* group;  // the title of the group box holding it
  const char* label;
  FieldKind kind;
  uint32_t Settings::*number = nullptr;
  bool Settings::*flag = nullptr;
  uint32_t minimum = 0;  // Number: the range; Choice: 0 to the number of choices - 1
  uint32_t maximum = 0;
  const char* unit = "";       // shown after a number
  const char* help = "";       // the widget's help text
  const char* requester = "";  // Color: the title of the colour requester
};

// The fields in the order the pages show them (pages, then groups, then fields). The cache
// path, the maintenance and the disabled volumes have widgets of their own and follow the
// fields of the "Cache" group.
const std::vector<FormField>& FormFields();
const char* PageTitle(FormPage page);
// The names of the compression cycle, by type.
const std::vector<std::string>& CompressionNames();
inline constexpr const char* kCacheGroup = "Cache";

// The record as the window can show it: numbers outside a field's range are brought into it
// (a file from elsewhere may hold anything).
Settings ClampToForm(Settings settings);

// Colours as a user types them: "#RRGGBB" (also "RRGGBB" or "0xRRGGBB", either case).
std::string ColorText(uint32_t rgb);
bool ParseColorText(std::string_view text, uint32_t& rgb);

// The disabled volumes. The typed name loses surrounding blanks before it is added; the
// message is what the user is told when the name is not added (empty for Added and Empty).
std::string TrimmedVolumeName(std::string_view typed);
std::string VolumeAddMessage(VolumeAddResult result, const std::string& name);
inline constexpr const char* kVolumeMessageTitle = "Message";

// The cache path typed in the window: empty, longer than its slot or a directory that cannot
// be created gives false and the reason. The directory is created when it is missing.
bool CheckCachePath(const std::string& path, std::string& message);

// The files the window writes. Use: the settings in use ("ENV:Vistaloom.config", or the file
// of --config). Save: "ENVARC:Vistaloom.config" and then the file Use writes.
enum class ConfigAction { Use, Save };
std::vector<std::string> ConfigTargets(ConfigAction action, const std::string& configFile);

struct WriteFailure {
  std::string file;    // as named in the targets (it may carry an assign)
  std::string path;    // the file actually written
  std::string reason;  // the system's text for the error
};
// Writes the record to every target in turn; a failed one does not keep the next from being
// written, and leaves its previous file as it was.
std::vector<WriteFailure> WriteConfigTargets(const std::vector<std::string>& targets, const Settings& settings);
// One line per failure, naming the file and the reason.
std::string WriteFailureText(const std::vector<WriteFailure>& failures);

}  // namespace vl::settings
