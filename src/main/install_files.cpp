#include "main/install_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "formats/decoders.h"
#include "main/options.h"
#include "platform/paths.h"
#include "script/commands.h"

namespace vl::main {
namespace {

void AddOnce(std::vector<std::string>& list, std::string word) {
  if (!word.empty() && std::find(list.begin(), list.end(), word) == list.end()) list.push_back(std::move(word));
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// Calls f(names, modifiers) for each item of a template: names are the '='-separated aliases,
// modifiers what follows the first '/' ("S", "K", "N", "A", "M", possibly several).
template <typename F>
void ForEachItem(std::string_view tmpl, F f) {
  while (!tmpl.empty()) {
    size_t comma = tmpl.find(',');
    std::string item = Trim(tmpl.substr(0, comma));
    tmpl = comma == std::string_view::npos ? std::string_view() : tmpl.substr(comma + 1);
    size_t slash = item.find('/');
    std::string mods = slash == std::string::npos ? std::string() : item.substr(slash);
    std::string names = item.substr(0, slash);
    std::vector<std::string> aliases;
    size_t start = 0;
    while (start <= names.size()) {
      size_t eq = names.find('=', start);
      if (eq == std::string::npos) eq = names.size();
      AddOnce(aliases, Trim(std::string_view(names).substr(start, eq - start)));
      start = eq + 1;
    }
    f(aliases, mods);
  }
}

std::string Words(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) {
    if (!out.empty()) out += ' ';
    out += w;
  }
  return out;
}

// The template line of the usage text ("Template: ...").
std::string UsageTemplate() {
  const std::string usage = UsageText();
  const std::string key = "Template: ";
  size_t at = usage.find(key);
  if (at == std::string::npos) return {};
  size_t end = usage.find('\n', at);
  return usage.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
}

// Options after which the next word is a file name.
bool TakesFile(const std::string& option) {
  static const char* const kFileOptions[] = {"--script", "--config", "--exif", "--template", "--output"};
  return std::find(std::begin(kFileOptions), std::end(kFileOptions), option) != std::end(kFileOptions);
}

}  // namespace

std::vector<std::string> HelpOptions(std::string_view text) {
  std::vector<std::string> out;
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] != '-' || text[i + 1] != '-') continue;
    if (i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '-')) continue;
    size_t end = i + 2;
    while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) ||
                                 std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-'))
      ++end;
    if (end > i + 2 && text[i + 2] != '-') AddOnce(out, std::string(text.substr(i, end - i)));
    i = end - 1;
  }
  return out;
}

std::vector<std::string> TemplateSwitches(std::string_view tmpl) {
  std::vector<std::string> out;
  ForEachItem(tmpl, [&](const std::vector<std::string>& names, const std::string& mods) {
    if (mods.find("/S") != std::string::npos)
      for (const std::string& n : names) AddOnce(out, n);
  });
  return out;
}

std::vector<std::string> TemplateKeywords(std::string_view tmpl) {
  std::vector<std::string> out;
  ForEachItem(tmpl, [&](const std::vector<std::string>& names, const std::string&) {
    for (const std::string& n : names) AddOnce(out, n);
  });
  return out;
}

bool FillDesktopEntry(std::string_view tmpl, std::string& out, std::string& error) {
  const std::string_view key = "@MIME_TYPES@";
  size_t at = tmpl.find(key);
  if (at == std::string_view::npos) {
    error = "the desktop entry template has no @MIME_TYPES@";
    return false;
  }
  std::string types;
  for (const std::string& t : formats::DecoderMimeTypes()) types += t + ";";
  if (types.empty()) {
    error = "the decoder table names no MIME types";
    return false;
  }
  out = std::string(tmpl.substr(0, at)) + types + std::string(tmpl.substr(at + key.size()));
  return true;
}

std::string BashCompletion() {
  std::vector<std::string> options = HelpOptions(FullHelpText());
  std::vector<std::string> fileOptions;
  for (const std::string& o : options)
    if (TakesFile(o)) fileOptions.push_back(o);
  std::vector<std::string> commands;
  std::string keywordCases;
  auto addCommand = [&](const script::Command& c) {
    AddOnce(commands, c.name);
    std::vector<std::string> keys = TemplateKeywords(c.tmpl);
    if (keys.empty()) return;
    std::string label = c.name;  // the port takes command words in any case
    for (char& ch : label) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    keywordCases += "    " + label + ") words=\"" + Words(keys) + "\" ;;\n";
  };
  for (const script::Command& c : script::kCommands) addCommand(c);
  for (const script::Command& c : script::kStandardCommands) addCommand(c);

  std::string s;
  s += "# bash completion for vistaloom and vistaloom-cmd (made by vistaloom-gen from the programs' tables)\n";
  s += "_vistaloom_commands=\"" + Words(commands) + "\"\n\n";
  s += "# The keywords of a scripting command's template.\n";
  s += "_vistaloom_keywords()\n{\n  local words=\"\"\n  case ${1,,} in\n";
  s += keywordCases;
  s += "  esac\n  printf '%s' \"$words\"\n}\n\n";
  s += "_vistaloom()\n{\n  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n";
  s += "  case $prev in\n";
  s += "    --exec) COMPREPLY=($(compgen -W \"$_vistaloom_commands\" -- \"$cur\")); return ;;\n";
  if (!fileOptions.empty()) {
    std::string alts;
    for (const std::string& o : fileOptions) alts += (alts.empty() ? "" : "|") + o;
    s += "    " + alts + ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
  }
  s += "  esac\n";
  s += "  if [[ $cur == -* ]]; then\n";
  s += "    COMPREPLY=($(compgen -W \"" + Words(options) + "\" -- \"$cur\"))\n";
  s += "  else\n";
  s += "    COMPREPLY=($(compgen -f -- \"$cur\") $(compgen -W \"" + Words(TemplateSwitches(UsageTemplate())) +
       "\" -- \"$cur\"))\n";
  s += "  fi\n}\n";
  s += "complete -o filenames -F _vistaloom vistaloom\n\n";
  s += "_vistaloom_cmd()\n{\n  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} i word=\"\"\n";
  s += "  [[ $prev == --port ]] && return\n";
  s += "  for ((i = 1; i < COMP_CWORD; i++)); do\n";
  s += "    case ${COMP_WORDS[i]} in\n      --port) ((i++)) ;;\n      -*) ;;\n";
  s += "      *) word=${COMP_WORDS[i]}; break ;;\n    esac\n  done\n";
  s += "  if [[ -n $word ]]; then\n";
  s += "    COMPREPLY=($(compgen -W \"$(_vistaloom_keywords \"$word\")\" -- \"$cur\"))\n";
  s += "  elif [[ $cur == -* ]]; then\n";
  s += "    COMPREPLY=($(compgen -W \"" + Words(HelpOptions(CmdUsageText())) + "\" -- \"$cur\"))\n";
  s += "  else\n";
  s += "    COMPREPLY=($(compgen -W \"$_vistaloom_commands\" -- \"$cur\"))\n";
  s += "  fi\n}\n";
  s += "complete -F _vistaloom_cmd vistaloom-cmd\n";
  return s;
}

std::string MissingDataMessageFor(const std::string& dataDir) {
  if (dataDir.empty())
    return "vistaloom: cannot tell where the program lies (/proc/self/exe), so its data folder "
           "(../share/vistaloom) cannot be found\n";
  struct stat st;
  if (::stat(dataDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
  return "vistaloom: the data folder " + dataDir +
         " is missing; shipped icons and samples cannot be read (reinstall the program)\n";
}

std::string MissingDataMessage() {
  const char* own = std::getenv("VISTALOOM_ASSIGN_PROGDIR");
  if (own && *own) return {};
  return MissingDataMessageFor(platform::ShippedDataDirectory());
}

}  // namespace vl::main
