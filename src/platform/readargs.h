// The argument template parser shared by the command line and the scripting port.
//
// A template is a comma-separated list of items; each item is one or more names joined
// by '=' (aliases, the last is the full keyword, "FS=FULLSCREEN") followed by modifiers:
//   /S switch (present or not), /N number, /K keyword required, /A required,
//   /M multiple (collects every positional argument left over), /F rest of the line,
//   /T toggle (treated as a switch).
// Keywords match case-insensitively; a value follows as "KEY=value" or "KEY value".
// Arguments may be quoted with "..." (with *" and *N escapes inside quotes).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl::platform {

struct TemplateItem {
  std::vector<std::string> names;  // aliases in template order
  bool isSwitch = false;           // /S or /T
  bool isNumber = false;           // /N
  bool isKeyword = false;          // /K
  bool isRequired = false;         // /A
  bool isMulti = false;            // /M
  bool isRest = false;             // /F
};

struct ArgSlot {
  bool present = false;            // a value (or the switch) was given
  std::string text;                // plain item's text (the first value for /M)
  std::vector<std::string> multi;  // /M values
  int32_t number = 0;              // /N value
};

struct ParsedArgs {
  bool ok = false;
  std::string error;           // "required argument missing", "bad number", "wrong number of arguments", ...
  std::vector<ArgSlot> slots;  // one per template item

  const ArgSlot& operator[](size_t i) const { return slots[i]; }
};

// Parses a template; nullopt when the template itself is malformed.
std::optional<std::vector<TemplateItem>> ParseTemplate(std::string_view tmpl);

// Parses already split arguments (a shell's argv, without the program name).
ParsedArgs ReadArgs(std::string_view tmpl, const std::vector<std::string>& args);
// Parses one argument line (the scripting port): splits it at blanks, honouring quotes.
ParsedArgs ReadArgsLine(std::string_view tmpl, std::string_view line);

// Splits an argument line into tokens; quoted tokens lose their quotes. Sets quoted[i]
// when token i was quoted (a quoted token is never taken as a keyword).
bool SplitArgLine(std::string_view line, std::vector<std::string>& tokens, std::vector<bool>* quoted = nullptr,
                  std::string* error = nullptr);

}  // namespace vl::platform
