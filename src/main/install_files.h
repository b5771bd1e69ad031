// The texts an installation needs besides the programs, made from the program's own tables so
// that they follow every change: the desktop entry's MIME types (the decoder table), the bash
// completion (the options of --help and the scripting command table), and the check that the
// shipped data is where the installed program looks for it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vl::main {

// The options a help text names ("--word"), each once, in the order they first appear.
std::vector<std::string> HelpOptions(std::string_view helpText);

// The switch keywords of a command template ("FILE/M,FS=FULLSCREEN/S" gives FS, FULLSCREEN).
std::vector<std::string> TemplateSwitches(std::string_view tmpl);

// The keyword names of a command template, every item and its aliases ("FILE/K,X=LEFT/N"
// gives FILE, X, LEFT).
std::vector<std::string> TemplateKeywords(std::string_view tmpl);

// The desktop entry: tmpl with "@MIME_TYPES@" replaced by the decoder table's MIME types,
// each followed by ';'. False (with the reason) when the template has no such place.
bool FillDesktopEntry(std::string_view tmpl, std::string& out, std::string& error);

// The bash completion script for vistaloom and vistaloom-cmd.
std::string BashCompletion();

// Empty when the shipped data folder dataDir exists; else the message that names it.
std::string MissingDataMessageFor(const std::string& dataDir);
// MissingDataMessageFor the running program; empty as well when PROGDIR: is set by the user.
std::string MissingDataMessage();

}  // namespace vl::main
